// Saves, as glTF (a .gltf document with its files beside it, or one .glb),
// a small scene built from the bytes (see SceneFromBytes.h) with an external
// reference whose name and file are any bytes, the scene's units, an up
// axis, a companion file stem of any bytes, and a save that may be
// cancelled. Besides crashes and sanitizer reports it checks the driver's
// promises: the files a save leaves are the document and the files it
// reports, all in the document's folder; a failed save leaves none; a .glb
// is whole (its length and its chunks' add up to the file's size).
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "../SceneFromBytes.h"
#include "gltf/GltfMeshDriver.h"
#include "scenegraph/ovMetadata.h"

namespace {

using namespace ov;
using namespace ov::fuzz;

constexpr uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr size_t kGlbHeaderBytes = 12;
constexpr size_t kChunkHeaderBytes = 8;

uint32_t littleEndianAt(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 4; i-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// The header's magic and length, then chunks of 4-byte-aligned lengths that
// end exactly at the file's end.
bool isWholeGlb(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (bytes.size() < kGlbHeaderBytes || littleEndianAt(bytes, 0) != kGlbMagic ||
        littleEndianAt(bytes, 8) != bytes.size()) {
        return false;
    }
    size_t at = kGlbHeaderBytes;
    while (at + kChunkHeaderBytes <= bytes.size()) {
        const uint32_t length = littleEndianAt(bytes, at);
        if (length % 4 != 0 || length > bytes.size() - at - kChunkHeaderBytes) {
            return false;
        }
        at += kChunkHeaderBytes + length;
    }
    return at == bytes.size();
}

void addReferenceAndUnits(ovNode& root, Bytes& bytes) {
    if (bytes.next() % 2 == 1) {
        ovPointer<ovXRefNode> reference(named(new ovXRefNode, bytes));
        reference->setUtf8FilePath(bytes.text());
        root.attachChild(reference.get());
    }
    const uint8_t units = bytes.next();
    if (units % 3 == 0) {
        root.setMetadata(new ovWorldUnitsMetaData(units == 0 ? 0.0 : 1.0 / units));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Sandbox sandbox("gltf_save");
    Bytes bytes{data, size};
    const ovPointer<ovNode> scene = makeScene(bytes);
    addReferenceAndUnits(*scene, bytes);
    GltfSaveSettings settings;
    settings.companionFileStem = bytes.text();
    const uint8_t choices = bytes.next();
    settings.upAxis = choices & 1 ? GltfSaveSettings::UpAxis::Y : GltfSaveSettings::UpAxis::Z;
    const bool binary = (choices & 2) != 0;
    CancelAt progress(choices & 4 ? bytes.next() % 16 : 0);
    SaveMeshOptions options;
    options.drivers.set(settings);
    std::vector<std::string> written;
    options.companionFiles = &written;
    const fs::path document = sandbox.out / (binary ? "doc.glb" : "doc.gltf");
    const bool saved = GltfMeshDriver().saveMeshes({scene}, document.string(), &progress, options);
    const bool whole = !saved || !binary || isWholeGlb(document);
    if (!holdsWhatWasReported(sandbox, document, saved, written) || !whole) {
        std::abort();
    }
    return 0;
}
