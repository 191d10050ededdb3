#include "gltf/GltfBinary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "core/DriverLog.h"
#include "gltf/VertexPatch.h"

namespace ov::gltf {
namespace {

static_assert(std::endian::native == std::endian::little, "glTF data is little-endian, written as held");

constexpr uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr uint32_t kGlbVersion = 2;
constexpr uint32_t kJsonChunk = 0x4E4F534A;  // "JSON"
constexpr uint32_t kBinChunk = 0x004E4942;   // "BIN\0"
constexpr uint64_t kGlbHeaderBytes = 12;
constexpr uint64_t kChunkHeaderBytes = 8;

bool put(ovIoDevice& device, const void* data, uint64_t length) {
    return device.write(static_cast<const char*>(data), static_cast<int64_t>(length)) ==
           static_cast<int64_t>(length);
}

bool putWord(ovIoDevice& device, uint32_t word) {
    return put(device, &word, sizeof word);
}

bool padTo(ovIoDevice& device, uint64_t& written, uint64_t offset, char filler) {
    const std::string padding(offset - written, filler);
    written = offset;
    return put(device, padding.data(), padding.size());
}

// The vertices as the buffer holds them, piece by piece; a piece that needs
// mending or turned texture coordinates goes through a copy.
bool writeVertices(const VertexSource& source, bool flipV, ovIoDevice& device, uint64_t& patched) {
    ovVertexBuffer& buffer = *source.buffer;
    ovDataLoader loaded(&buffer);
    if (!buffer.hasCPUData()) {
        logError("GltfMeshDriver, a vertex buffer could not be loaded");
        return false;
    }
    VertexLayout layout = VertexLayout::of(buffer.GetAttributes(), source.texCoordUnits);
    layout.flipV = flipV && !layout.texCoordOffsets.empty();
    const auto stride = static_cast<size_t>(layout.stride);
    const auto count = static_cast<size_t>(buffer.GetVertexQuantity());
    const size_t perPiece = verticesPerPiece(layout);
    std::vector<char> copy;
    for (size_t first = 0; first < count; first += perPiece) {
        const size_t n = std::min(perPiece, count - first);
        const char* piece = buffer.getDataByte() + first * stride;
        if (layout.flipV || source.unsoundPieces[first / perPiece]) {
            copy.assign(piece, piece + n * stride);
            patched += mendVertices(copy.data(), n, layout);
            piece = copy.data();
        }
        if (!put(device, piece, n * stride)) {
            return false;
        }
    }
    return true;
}

bool writeIndices(const IndexSource& source, ovIoDevice& device) {
    ovIndexBuffer& buffer = *source.buffer;
    ovDataLoader loaded(&buffer);
    if (!buffer.hasCPUData()) {
        logError("GltfMeshDriver, an index buffer could not be loaded");
        return false;
    }
    // Checked to lie in [0, vertex count): the same bytes as unsigned.
    return put(device, buffer.getData(), static_cast<uint64_t>(source.count) * sizeof(int));
}

}  // namespace

bool writeBinary(const Document& document, ovIoDevice& device, ovProgressNotifierInterface* progress,
                 uint64_t& patched) {
    uint64_t written = 0;
    const auto place = [&](int view) {
        const BufferView& at = document.bufferViews[static_cast<size_t>(view)];
        const bool placed = padTo(device, written, at.byteOffset, '\0');
        written += at.byteLength;
        return placed;
    };
    for (const VertexSource& source : document.vertexSources) {
        if (!place(source.bufferView) || !writeVertices(source, document.imagesFromTop, device, patched) ||
            (source.tangentView >= 0 &&
             (!place(source.tangentView) ||
              !put(device, source.tangents.data(), source.tangents.size() * sizeof(float)))) ||
            advanceAndCheckCancel(progress)) {
            return false;
        }
    }
    for (const IndexSource& source : document.indexSources) {
        if (!place(source.bufferView) || !writeIndices(source, device) || advanceAndCheckCancel(progress)) {
            return false;
        }
    }
    for (const Image& image : document.images) {
        if (image.bufferView >= 0 &&
            (!place(image.bufferView) || !put(device, image.bytes().data(), image.bytes().size()))) {
            return false;
        }
    }
    return padTo(device, written, document.binaryLength, '\0') && device.good();
}

bool writeGlb(const Document& document, const std::string& json, ovIoDevice& device,
              ovProgressNotifierInterface* progress, uint64_t& patched) {
    const uint64_t jsonLength = (json.size() + 3) & ~uint64_t{3};
    const bool hasBinary = document.binaryLength > 0;
    const uint64_t total = kGlbHeaderBytes + kChunkHeaderBytes + jsonLength +
                           (hasBinary ? kChunkHeaderBytes + document.binaryLength : 0);
    if (total > UINT32_MAX) {
        logError("GltfMeshDriver, the scene needs ", total,
                 " bytes, more than a .glb file can hold (4 GiB); "
                 "a .gltf document with its .bin file holds it");
        return false;
    }
    uint64_t jsonWritten = json.size();
    if (!putWord(device, kGlbMagic) || !putWord(device, kGlbVersion) ||
        !putWord(device, static_cast<uint32_t>(total)) ||
        !putWord(device, static_cast<uint32_t>(jsonLength)) || !putWord(device, kJsonChunk) ||
        !put(device, json.data(), json.size()) || !padTo(device, jsonWritten, jsonLength, ' ')) {
        return false;
    }
    if (!hasBinary) {
        return device.good();
    }
    return putWord(device, static_cast<uint32_t>(document.binaryLength)) && putWord(device, kBinChunk) &&
           writeBinary(document, device, progress, patched);
}

}  // namespace ov::gltf
