#include "stl/StlWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "core/DriverLog.h"
#include "core/DriverSupport.h"
#include "core/SceneWalk.h"
#include "system/ovDataStream.h"

namespace ov {
namespace {

constexpr char kHeaderText[] = "Stl binary file, Ombre Vian exporter";
constexpr size_t kHeaderSize = 80;
static_assert(sizeof kHeaderText - 1 <= kHeaderSize);
constexpr size_t kRecordSize = 50;
// Records reach the stream in blocks: few device calls, and a save holds one
// block whatever the size of the scene.
constexpr size_t kRecordsPerBlock = 1024;
constexpr float kNoMinimum = 3.4028235e38f;

using Point = Wm4::Vector3f;

// Beyond the range of int (and for NaN) the level is what a truncating
// conversion of the processor gives there, the lowest int.
int colourLevel(float component) {
    const double scaled = static_cast<double>(component) * 31.0;
    if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(scaled);
}

// Row vector times the homogeneous matrix, with w = 1.
Point transformPoint(const Wm4::Matrix4f& m, const Point& p) {
    return {p.X() * m(0, 0) + p.Y() * m(1, 0) + p.Z() * m(2, 0) + m(3, 0),
            p.X() * m(0, 1) + p.Y() * m(1, 1) + p.Z() * m(2, 1) + m(3, 1),
            p.X() * m(0, 2) + p.Y() * m(1, 2) + p.Z() * m(2, 2) + m(3, 2)};
}

Wm4::Matrix4f homogeneous(const ovTransformation& world) {
    Wm4::Matrix4f matrix;
    world.GetHomogeneous(matrix);
    return matrix;
}

// Unit normal of the corners' winding, in single precision; (0, 0, 0) when
// the triangle has no area or its normal cannot be scaled to unit length.
Point facetNormal(const Point& p0, const Point& p1, const Point& p2) {
    const Point normal = (p1 - p0).Cross(p2 - p0);
    const float length = std::sqrt(normal.Dot(normal));
    if (length == 0.0f || std::isnan(length)) {
        return {};
    }
    const float inverse = 1.0f / length;
    if (static_cast<double>(inverse) > std::numeric_limits<double>::max()) {
        return {};
    }
    return normal * inverse;
}

unsigned char* putUInt16(unsigned char* out, uint16_t value) {
    out[0] = static_cast<unsigned char>(value & 0xFFu);
    out[1] = static_cast<unsigned char>(value >> 8);
    return out + 2;
}

unsigned char* putFloat(unsigned char* out, float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    out[0] = static_cast<unsigned char>(bits & 0xFFu);
    out[1] = static_cast<unsigned char>((bits >> 8) & 0xFFu);
    out[2] = static_cast<unsigned char>((bits >> 16) & 0xFFu);
    out[3] = static_cast<unsigned char>(bits >> 24);
    return out + 4;
}

unsigned char* putPoint(unsigned char* out, const Point& point) {
    out = putFloat(out, point.X());
    out = putFloat(out, point.Y());
    return putFloat(out, point.Z());
}

// Little-endian triangle records gathered into blocks for the stream.
class RecordBlock {
public:
    explicit RecordBlock(ovDataStream& stream) : mStream(stream), mBytes(kRecordsPerBlock * kRecordSize) {}

    void add(const Point& normal, const Point (&corners)[3], uint16_t colour) {
        if (mUsed == mBytes.size()) {
            flush();
        }
        unsigned char* out = putPoint(mBytes.data() + mUsed, normal);
        for (const Point& corner : corners) {
            out = putPoint(out, corner);
        }
        putUInt16(out, colour);
        mUsed += kRecordSize;
    }

    void flush() {
        if (mUsed > 0) {
            mStream.writeRawData(reinterpret_cast<const char*>(mBytes.data()), static_cast<int64_t>(mUsed));
            mUsed = 0;
        }
    }

private:
    ovDataStream& mStream;
    std::vector<unsigned char> mBytes;
    size_t mUsed = 0;
};

// Makes a buffer's data present for the time a mesh is read, loading what was
// not resident and dropping it again afterwards.
class PresentData {
public:
    explicit PresentData(ovBufferResource* buffer) {
        if (buffer) {
            mLoader.emplace(buffer);
        }
    }

private:
    std::optional<ovDataLoader> mLoader;
};

// Vertex positions of a buffer, read where they lie in its interleaved data.
class Positions {
public:
    // Empty when the buffer or its data is missing.
    explicit Positions(const ovVertexBuffer* vertices) {
        if (vertices && vertices->hasCPUData()) {
            mBytes = vertices->getDataByte() + vertices->GetAttributes().GetPositionOffsetByte();
            mStride = static_cast<size_t>(vertices->GetAttributes().GetChannelQuantityByte());
            mCount = std::max(vertices->GetVertexQuantity(), 0);
        }
    }

    int count() const { return mCount; }
    bool contains(int index) const { return index >= 0 && index < mCount; }
    Point operator[](int index) const {
        float xyz[3];
        std::memcpy(xyz, mBytes + static_cast<size_t>(index) * mStride, sizeof xyz);
        return {xyz[0], xyz[1], xyz[2]};
    }

private:
    const char* mBytes = nullptr;
    size_t mStride = 0;
    int mCount = 0;
};

int triangleQuantity(const ovTriMesh& mesh) {
    return std::max(mesh.GetTriangleQuantity(), 0);
}

int vertexQuantity(const ovTriMesh& mesh) {
    const ovVertexBuffer* vertices = mesh.getVertexBuffer();
    return vertices ? std::max(vertices->GetVertexQuantity(), 0) : 0;
}

void reportEmptyTriangles(const ovTriMesh& mesh, int emptyTriangles, int triangles) {
    logLine(ovLogWarning)
        << "Stl driver wrote " << emptyTriangles << " of the " << triangles << " triangles of mesh \""
        << mesh.GetName()
        << "\" as empty triangles: their vertex data is missing or their indices lie outside "
        << "the vertex buffer.";
}

// The three walks of a save over the same subtree: totals, the minimum corner
// of the world positions, then the records shifted by that corner.
class StlWalk {
public:
    explicit StlWalk(ovProgressNotifierInterface* progress) : mProgress(progress) {}

    void countTotals(const ovSpatial& root) {
        forEachMesh(root, [this](const ovTriMesh& mesh, const ovTransformation&) {
            mTriangleTotal += static_cast<uint64_t>(triangleQuantity(mesh));
            mVertexTotal += static_cast<uint64_t>(vertexQuantity(mesh));
        });
    }

    void findMinimum(const ovSpatial& root) {
        forEachMesh(root, [this](const ovTriMesh& mesh, const ovTransformation& world) {
            lowerMinimum(mesh, world);
        });
    }

    void writeRecords(const ovSpatial& root, RecordBlock& records) {
        forEachMesh(root, [this, &records](const ovTriMesh& mesh, const ovTransformation& world) {
            writeMesh(mesh, world, records);
        });
    }

    uint64_t triangleTotal() const { return mTriangleTotal; }
    const Point& minimum() const { return mMinimum; }
    uint64_t vertexTotal() const { return mVertexTotal; }

private:
    template <typename VisitMesh>
    void forEachMesh(const ovSpatial& root, VisitMesh&& visitMesh) {
        walkScene(root, mProgress, [&visitMesh](const WalkStep<const ovSpatial>& step) {
            if (step.object.IsDerived(ovTriMesh::TYPE)) {
                visitMesh(static_cast<const ovTriMesh&>(step.object), step.world);
            }
        });
    }

    void lowerMinimum(const ovTriMesh& mesh, const ovTransformation& meshWorld) {
        if (vertexQuantity(mesh) == 0) {
            return;
        }
        const PresentData present(mesh.getVertexBuffer());
        const Positions positions(mesh.getVertexBuffer());
        const Wm4::Matrix4f world = homogeneous(meshWorld);
        for (int i = 0; i < positions.count(); ++i) {
            const Point point = transformPoint(world, positions[i]);
            mMinimum = {std::min(mMinimum.X(), point.X()), std::min(mMinimum.Y(), point.Y()),
                        std::min(mMinimum.Z(), point.Z())};
            advance();
        }
    }

    void writeMesh(const ovTriMesh& mesh, const ovTransformation& meshWorld, RecordBlock& records) {
        const int triangles = triangleQuantity(mesh);
        if (triangles == 0) {
            return;
        }
        const uint16_t colour = stlColourWord(mesh.getMaterialState());
        const PresentData presentVertices(mesh.getVertexBuffer());
        const PresentData presentIndices(mesh.getIndexBuffer());
        const Positions positions(mesh.getVertexBuffer());
        const ovIndexBuffer* indexBuffer = mesh.getIndexBuffer();
        const int* indices = indexBuffer ? indexBuffer->getData() : nullptr;
        const int readableTriangles = indices ? std::min(triangles, indexBuffer->GetIndexQuantity() / 3) : 0;
        const Wm4::Matrix4f world = homogeneous(meshWorld);

        int emptyTriangles = 0;
        for (int t = 0; t < triangles; ++t) {
            Point corners[3] = {};
            if (t < readableTriangles &&
                readCorners(positions, indices + 3 * static_cast<size_t>(t), world, corners)) {
                records.add(facetNormal(corners[0], corners[1], corners[2]), corners, colour);
            } else {
                records.add(Point{}, corners, colour);
                ++emptyTriangles;
            }
            advance();
        }
        if (emptyTriangles > 0) {
            reportEmptyTriangles(mesh, emptyTriangles, triangles);
        }
    }

    // The corners of one triangle in world coordinates relative to the
    // minimum corner; false when an index lies outside the vertex buffer.
    bool readCorners(const Positions& positions, const int* triangle, const Wm4::Matrix4f& world,
                     Point (&corners)[3]) const {
        for (int k = 0; k < 3; ++k) {
            if (!positions.contains(triangle[k])) {
                return false;
            }
        }
        for (int k = 0; k < 3; ++k) {
            corners[k] = transformPoint(world, positions[triangle[k]]) - mMinimum;
        }
        return true;
    }

    void advance() {
        if (mProgress) {
            mProgress->advanceStep(1.0);
        }
    }

    ovProgressNotifierInterface* mProgress;
    Point mMinimum{kNoMinimum, kNoMinimum, kNoMinimum};
    uint64_t mVertexTotal = 0;
    uint64_t mTriangleTotal = 0;
};

void writeHeader(ovDataStream& stream, uint32_t triangleCount) {
    char header[kHeaderSize];
    std::memset(header, ' ', kHeaderSize);
    std::memcpy(header, kHeaderText, sizeof kHeaderText - 1);
    stream.writeRawData(header, kHeaderSize);
    stream << triangleCount;
}

}  // namespace

uint16_t stlColourWord(const ovMaterialState* material) {
    if (!material) {
        return 0;
    }
    const unsigned red = static_cast<unsigned>(colourLevel(material->diffuse.R()));
    const unsigned green = static_cast<unsigned>(colourLevel(material->diffuse.G()));
    const unsigned blue = static_cast<unsigned>(colourLevel(material->diffuse.B()));
    return static_cast<uint16_t>(((blue & 0x1Fu) << 10) | ((green & 0x1Fu) << 5) | ((red | 0x0Eu) & 0x1Fu));
}

Wm4::Vector3f stlFileOrigin(const ovSpatial& root) {
    StlWalk walk(nullptr);
    walk.findMinimum(root);
    return walk.minimum().X() == kNoMinimum ? Point(0, 0, 0) : walk.minimum();
}

bool writeBinaryStl(const ovObjectList& objects, ovIoDevice& device, ovProgressNotifierInterface* progress) {
    ovSpatial* root = singleSpatialRoot(objects);
    if (!root) {
        return false;
    }
    root->UpdateGS_Flags();

    StlWalk walk(progress);
    walk.countTotals(*root);
    if (walk.triangleTotal() > std::numeric_limits<uint32_t>::max()) {
        logLine(ovLogError) << "Stl driver cannot save " << walk.triangleTotal()
                            << " triangles: a binary STL file counts at most 4294967295.";
        return false;
    }
    const auto triangleTotal = static_cast<uint32_t>(walk.triangleTotal());

    ovProgressNotifierGroupCloser closer;
    if (progress) {
        progress->beginStepGroup(2, triangleTotal, closer);
        progress->beginStep(static_cast<double>(walk.vertexTotal()), 0);
    }
    walk.findMinimum(*root);

    ovDataStream stream(device, LittleEndian);
    writeHeader(stream, triangleTotal);
    if (progress) {
        progress->beginStep(triangleTotal, 1);
    }
    RecordBlock records(stream);
    walk.writeRecords(*root, records);
    records.flush();
    reportShortWrite("Stl", "file", stream);
    return true;
}

}  // namespace ov
