#pragma once

// What the line-drawing writers share: finding the page of a scene, placing a
// vertex on it, keeping a line's data present while it is drawn, and the walk
// over the lines of a subtree.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "core/SceneWalk.h"
#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovDataStream.h"
#include "system/ovLog.h"
#include "system/ovProgressNotifier.h"

namespace ov {

// The page the root carries, or null.
inline const ovVectorialMetadata* findPage(const ovSpatial& root) {
    return root.findMetadata<ovVectorialMetadata>();
}

struct PagePoint {
    float u;
    float v;
};

// World point to page point: the page's projection (row vector times a
// row-major 4x4 matrix, divided by W) followed by its 2-D mapping. All in
// single precision, and W is not checked: a point at W = 0 lands on an
// infinite or undefined page position, which the writers print as such.
class PageProjection {
public:
    explicit PageProjection(const ovVectorialMetadata& page) {
        std::copy(std::begin(page.projection), std::end(page.projection), mProjection);
        std::copy(std::begin(page.pageMatrix), std::end(page.pageMatrix), mPageMatrix);
        std::copy(std::begin(page.pageOffset), std::end(page.pageOffset), mPageOffset);
    }

    PagePoint toPage(const Wm4::Vector3f& world) const {
        const float x = world.X();
        const float y = world.Y();
        const float z = world.Z();
        const float* m = mProjection;
        const float w = x * m[3] + y * m[7] + z * m[11] + m[15];
        const float projectedX = (x * m[0] + y * m[4] + z * m[8] + m[12]) / w;
        const float projectedY = (x * m[1] + y * m[5] + z * m[9] + m[13]) / w;
        return {mPageMatrix[0] * projectedX + mPageMatrix[1] * projectedY + mPageOffset[0],
                mPageMatrix[2] * projectedX + mPageMatrix[3] * projectedY + mPageOffset[1]};
    }

    // The page position of vertex `index` of a line.
    PagePoint vertexOnPage(const ovLine& line, int index) const {
        return toPage(line.getWorldTransform().ApplyForward(line.getVertexBuffer()->Position3(index), true));
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

    State state() const {
        if (!mVertices->hasCPUData() || !mIndices->hasCPUData()) {
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

private:
    ovVertexBuffer* mVertices;
    ovIndexBuffer* mIndices;
    ovDataLoader mVertexLoader;
    ovDataLoader mIndexLoader;
};

// Logs why a line is left out of the drawing; driverName starts the text
// ("Svg", "Dxf").
inline void reportUndrawableLine(const char* driverName, LineData::State state) {
    ovLogObject log(ovLogError, nullptr, ovLog::msInstance, nullptr, true);
    if (state == LineData::NotPresent) {
        log << driverName << " driver failed to load line data. The output will likely be corrupt.";
    } else {
        log << driverName << " driver found a line index outside its vertex buffer. The line is left out.";
    }
}

inline bool hasLineBuffers(const ovLine& line) {
    return line.getVertexBuffer() && line.getIndexBuffer();
}

// Calls drawLine for every line of the subtree under root that has both of its
// buffers, in the order and with the cancellation of forEachSpatial.
template <typename DrawLine>
void forEachLine(const ovSpatial& root, ovProgressNotifierInterface* progress, DrawLine&& drawLine) {
    forEachSpatial(root, progress, [&](const ovSpatial& object) {
        if (object.IsDerived(ovLine::TYPE)) {
            const auto& line = static_cast<const ovLine&>(object);
            if (hasLineBuffers(line)) {
                drawLine(line);
            }
        }
    });
}

// As forEachLine, with the line's data made present for the call and checked:
// a line that cannot be drawn is reported under driverName and left out.
template <typename DrawLine>
void forEachDrawableLine(const ovSpatial& root, ovProgressNotifierInterface* progress, const char* driverName,
                         DrawLine&& drawLine) {
    forEachLine(root, progress, [&](const ovLine& line) {
        const LineData data(line);
        const LineData::State state = data.state();
        if (state == LineData::Drawable) {
            drawLine(line, data);
        } else {
            reportUndrawableLine(driverName, state);
        }
    });
}

// The first pass of a drawing: how many segments the second will write, for
// the progress notifier.
inline uint32_t countSegments(const ovSpatial& root, ovProgressNotifierInterface* progress,
                              const char* driverName) {
    uint32_t segments = 0;
    forEachDrawableLine(root, progress, driverName, [&segments](const ovLine&, const LineData& data) {
        segments += static_cast<uint32_t>(data.segmentCount());
    });
    return segments;
}

// The second pass: writeLine(line, data) for every drawable line that has at
// least one segment.
template <typename WriteLine>
void writeLines(const ovSpatial& root, ovProgressNotifierInterface* progress, const char* driverName,
                WriteLine&& writeLine) {
    forEachDrawableLine(root, progress, driverName, [&](const ovLine& line, const LineData& data) {
        if (data.segmentCount() > 0) {
            writeLine(line, data);
        }
    });
}

inline void writeText(ovDataStream& stream, const std::string& text) {
    stream.writeRawData(text.data(), static_cast<int64_t>(text.size()));
}

}  // namespace ov
