#include "occt/MeshWire.h"

#include <cmath>
#include <cstring>

#include "core/InputFiles.h"

namespace ov::occt {

namespace {

enum class Status : uint8_t { Meshed = 0, Failed = 1 };

template <typename Value>
void put(std::string& bytes, Value value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename Value>
void putAll(std::string& bytes, const std::vector<Value>& values) {
    put(bytes, static_cast<uint64_t>(values.size()));
    bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(Value));
}

// Reads what the child wrote, refusing a count that the bytes left cannot hold.
class WireReader {
public:
    WireReader(std::string_view bytes, const std::string& source) : mBytes(bytes), mSource(source) {}

    template <typename Value>
    Value take() {
        Value value;
        std::memcpy(&value, span(sizeof value), sizeof value);
        return value;
    }

    template <typename Value>
    std::vector<Value> takeAll(size_t perElement) {
        const uint64_t count = take<uint64_t>();
        if (count % perElement != 0 || count > (mBytes.size() - mAt) / sizeof(Value)) {
            broken();
        }
        std::vector<Value> values(static_cast<size_t>(count));
        std::memcpy(values.data(), span(values.size() * sizeof(Value)), values.size() * sizeof(Value));
        return values;
    }

    std::string_view rest() {
        const std::string_view text = mBytes.substr(mAt);
        mAt = mBytes.size();
        return text;
    }

    bool atEnd() const { return mAt == mBytes.size(); }

    [[noreturn]] void broken() const {
        throw ReadError(mSource +
                        ": the meshes of its B-rep shapes came back broken from Open CASCADE's process");
    }

private:
    const char* span(size_t size) {
        if (size > mBytes.size() - mAt) {
            broken();
        }
        const char* at = mBytes.data() + mAt;
        mAt += size;
        return at;
    }

    std::string_view mBytes;
    const std::string& mSource;
    size_t mAt = 0;
};

step::BrepFaceMesh takeFace(WireReader& wire) {
    step::BrepFaceMesh face;
    face.face = wire.take<uint64_t>();
    face.positions = wire.takeAll<float>(3);
    face.triangles = wire.takeAll<uint32_t>(3);
    const size_t corners = face.positions.size() / 3;
    for (const float coordinate : face.positions) {
        if (!std::isfinite(coordinate)) {
            wire.broken();
        }
    }
    for (const uint32_t corner : face.triangles) {
        if (corner >= corners) {
            wire.broken();
        }
    }
    return face;
}

}  // namespace

std::string encodeMeshes(const step::BrepMeshes& meshes) {
    std::string bytes;
    put(bytes, Status::Meshed);
    put(bytes, static_cast<uint64_t>(meshes.size()));
    for (const auto& [shape, faces] : meshes) {
        put(bytes, shape);
        put(bytes, static_cast<uint64_t>(faces.size()));
        for (const step::BrepFaceMesh& face : faces) {
            put(bytes, face.face);
            putAll(bytes, face.positions);
            putAll(bytes, face.triangles);
        }
    }
    return bytes;
}

std::string encodeFailure(const std::string& reason) {
    std::string bytes;
    put(bytes, Status::Failed);
    return bytes + reason;
}

step::BrepMeshes decodeMeshes(std::string_view bytes, const std::string& source) {
    WireReader wire(bytes, source);
    const auto status = static_cast<Status>(wire.take<uint8_t>());
    if (status == Status::Failed) {
        throw ReadError(source + ": " + std::string(wire.rest()));
    }
    if (status != Status::Meshed) {
        wire.broken();
    }
    step::BrepMeshes meshes;
    for (uint64_t shapes = wire.take<uint64_t>(); shapes > 0; --shapes) {
        const uint64_t shape = wire.take<uint64_t>();
        std::vector<step::BrepFaceMesh>& faces = meshes[shape];
        for (uint64_t count = wire.take<uint64_t>(); count > 0; --count) {
            faces.push_back(takeFace(wire));
        }
    }
    if (!wire.atEnd()) {
        wire.broken();
    }
    return meshes;
}

}  // namespace ov::occt
