#pragma once

// What the line-drawing writers and the tool share: finding the page of a
// scene, the one projection that places a world point on it, keeping a line's
// data present while it is read, and the segments of a drawing gathered in
// one walk.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/SceneWalk.h"
#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovLog.h"
#include "system/ovProgressNotifier.h"

namespace ov {

// The page the root carries, or null.
inline const ovVectorialMetadata* findPage(const ovSpatial& root) {
    return root.findMetadata<ovVectorialMetadata>();
}

// A point after the page's projection, before its 2-D mapping.
struct ProjectedPoint {
    float x;
    float y;
};

struct PagePoint {
    float u;
    float v;
};

// A world point through a projection: the row vector (x, y, z, 1) times the
// row-major 4x4 matrix m, divided by W. All in single precision, and W is not
// checked: a point at W = 0 lands on an infinite or undefined position, which
// the writers print as such.
inline ProjectedPoint project(const float* m, const Wm4::Vector3f& world) {
    const float x = world.X();
    const float y = world.Y();
    const float z = world.Z();
    const float w = x * m[3] + y * m[7] + z * m[11] + m[15];
    return {(x * m[0] + y * m[4] + z * m[8] + m[12]) / w, (x * m[1] + y * m[5] + z * m[9] + m[13]) / w};
}

// World point to page point: the page's projection followed by its 2-D
// mapping.
class PageProjection {
public:
    explicit PageProjection(const ovVectorialMetadata& page) {
        std::copy(std::begin(page.projection), std::end(page.projection), mProjection);
        std::copy(std::begin(page.pageMatrix), std::end(page.pageMatrix), mPageMatrix);
        std::copy(std::begin(page.pageOffset), std::end(page.pageOffset), mPageOffset);
    }

    PagePoint toPage(const Wm4::Vector3f& world) const {
        const ProjectedPoint p = project(mProjection, world);
        return {mPageMatrix[0] * p.x + mPageMatrix[1] * p.y + mPageOffset[0],
                mPageMatrix[2] * p.x + mPageMatrix[3] * p.y + mPageOffset[1]};
    }

private:
    float mProjection[16];
    float mPageMatrix[4];
    float mPageOffset[2];
};

// Makes both buffers of a line present for its lifetime (loading what was not
// resident and dropping it again afterwards) and tells whether the line can
// be drawn from them.
class LineData {
public:
    enum State { Drawable, NotPresent, IndexOutsideVertices };

    explicit LineData(const ovLine& line)
        : mVertices(line.getVertexBuffer()),
          mIndices(line.getIndexBuffer()),
          mVertexLoader(mVertices),
          mIndexLoader(mIndices) {}

    bool present() const { return mVertices->hasCPUData() && mIndices->hasCPUData(); }

    State state() const {
        if (!present()) {
            return NotPresent;
        }
        const int* indices = mIndices->getData();
        const int vertexCount = mVertices->GetVertexQuantity();
        for (int i = 0; i < 2 * segmentCount(); ++i) {
            if (indices[i] < 0 || indices[i] >= vertexCount) {
                return IndexOutsideVertices;
            }
        }
        return Drawable;
    }

    // Two indices per segment; an odd last index belongs to no segment.
    int segmentCount() const {
        return mIndices->GetIndexQuantity() > 0 ? mIndices->GetIndexQuantity() / 2 : 0;
    }
    const int* indices() const { return mIndices->getData(); }
    const ovVertexBuffer& vertices() const { return *mVertices; }

private:
    ovVertexBuffer* mVertices;
    ovIndexBuffer* mIndices;
    ovDataLoader mVertexLoader;
    ovDataLoader mIndexLoader;
};

// Calls visit(line, world, data) for every line of the subtree under root
// that has both of its buffers, with its data made present for the call, in
// the order and with the cancellation of walkScene.
template <typename Root, typename Visit>
void forEachLine(Root& root, ovProgressNotifierInterface* progress, Visit&& visit) {
    walkScene(root, progress, [&visit](const auto& step) {
        if (!step.object.IsDerived(ovLine::TYPE)) {
            return;
        }
        auto& line =
            static_cast<std::conditional_t<std::is_const_v<Root>, const ovLine&, ovLine&>>(step.object);
        if (line.getVertexBuffer() && line.getIndexBuffer()) {
            const LineData data(line);
            visit(line, step.world, data);
        }
    });
}

// The segments of a drawing on its page, gathered in one walk so that a
// writer needs no second one and its progress knows the total up front. Per
// segment it holds its two page points and whether it continues the path of
// the one before (it starts at that one's end index); per line that has
// segments, the line and where its segments end.
class PageDrawing {
public:
    struct Segment {
        PagePoint start;
        PagePoint end;
    };

    // Gathers the segments of the lines under root that can be drawn; the
    // others are logged under driverName ("Svg", "Dxf") and left out.
    // Without a page the lines are only checked and counted.
    PageDrawing(const ovSpatial& root, const ovVectorialMetadata* page, ovProgressNotifierInterface* progress,
                const char* driverName) {
        const std::optional<PageProjection> projection =
            page ? std::optional<PageProjection>(*page) : std::nullopt;
        forEachLine(root, progress,
                    [&](const ovLine& line, const ovTransformation& world, const LineData& data) {
                        const LineData::State state = data.state();
                        if (state != LineData::Drawable) {
                            reportUndrawableLine(driverName, state);
                        } else if (projection) {
                            gather(line, world, data, *projection);
                        } else {
                            mSegmentCount += static_cast<size_t>(data.segmentCount());
                        }
                    });
    }

    uint32_t segmentCount() const { return static_cast<uint32_t>(mSegmentCount); }
    const Segment& segment(size_t index) const { return mSegments[index]; }
    bool continuesPath(size_t index) const { return mContinues[index]; }

    // writeLine(line, begin, end) for every line with segments, which are
    // those from begin up to end.
    template <typename WriteLine>
    void forEachDrawnLine(WriteLine&& writeLine) const {
        size_t begin = 0;
        for (const auto& [line, end] : mLines) {
            writeLine(*line, begin, end);
            begin = end;
        }
    }

private:
    static void reportUndrawableLine(const char* driverName, LineData::State state) {
        ovLogObject log(ovLogError, nullptr, ovLog::msInstance, nullptr, true);
        if (state == LineData::NotPresent) {
            log << driverName << " driver failed to load line data. The output will likely be corrupt.";
        } else {
            log << driverName
                << " driver found a line index outside its vertex buffer. The line is left out.";
        }
    }

    // A point shared with the segment before is placed once.
    void gather(const ovLine& line, const ovTransformation& world, const LineData& data,
                const PageProjection& projection) {
        const auto place = [&](int index) {
            return projection.toPage(world.ApplyForward(data.vertices().Position3(index), true));
        };
        const int* indices = data.indices();
        for (int segment = 0; segment < data.segmentCount(); ++segment) {
            const bool continues = segment > 0 && indices[2 * segment] == indices[2 * segment - 1];
            const PagePoint start = continues ? mSegments.back().end : place(indices[2 * segment]);
            mSegments.push_back({start, place(indices[2 * segment + 1])});
            mContinues.push_back(continues);
        }
        mSegmentCount = mSegments.size();
        if (data.segmentCount() > 0) {
            mLines.emplace_back(&line, mSegments.size());
        }
    }

    // In blocks, not one array: growing never copies what was gathered nor
    // holds it twice.
    std::deque<Segment> mSegments;
    std::vector<bool> mContinues;
    std::vector<std::pair<const ovLine*, size_t>> mLines;
    size_t mSegmentCount = 0;
};

}  // namespace ov
