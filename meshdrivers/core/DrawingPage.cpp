#include "core/DrawingPage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "core/ServiceError.h"
#include "scenegraph/ovGeometry.h"

namespace ov {

const std::map<std::string, View>& viewsByName() {
    static const std::map<std::string, View> names{
        {"top", View::Top}, {"front", View::Front}, {"side", View::Side}, {"iso", View::Iso}};
    return names;
}

namespace {

std::optional<int32_t> parsePositiveWholeNumber(std::string_view text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// A view as its three unit axes in world coordinates: page right, page up and
// towards the viewer.
struct ViewAxes {
    Wm4::Vector3f right;
    Wm4::Vector3f up;
    Wm4::Vector3f toViewer;
};

ViewAxes axesOf(View view) {
    switch (view) {
        case View::Top:
            return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        case View::Front:
            return {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}};
        case View::Side:
            return {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}};
        case View::Iso:
            break;
    }
    const float r = 1.0f / std::sqrt(2.0f);
    const float u = 1.0f / std::sqrt(6.0f);
    const float t = 1.0f / std::sqrt(3.0f);
    return {{r, r, 0}, {-u, u, 2 * u}, {t, -t, t}};
}

// The axes of a view of a Z-up scene in the coordinates of the same scene
// made Y-up, whose front (+z) stands where a Z-up scene's (-y) does.
ViewAxes turnedToYUp(const ViewAxes& axes) {
    const auto turned = [](const Wm4::Vector3f& v) { return Wm4::Vector3f(v[0], v[2], -v[1]); };
    return {turned(axes.right), turned(axes.up), turned(axes.toViewer)};
}

using ProjectedKey = std::pair<float, float>;

ProjectedKey keyOf(ProjectedPoint point) {
    return {point.x, point.y};
}

// Keeps the segments of one line that are neither a point nor already seen,
// and takes their ends into the bounds.
class SegmentFilter {
public:
    explicit SegmentFilter(const Projection& projection) : mProjection(projection) {}

    std::vector<int> visibleSegments(const ovTransformation& world, const LineData& data) {
        const int* indices = data.indices();
        const int vertexCount = data.vertices().GetVertexQuantity();
        std::vector<int> kept;
        for (int segment = 0; segment < data.segmentCount(); ++segment) {
            const int a = indices[2 * segment];
            const int b = indices[2 * segment + 1];
            if (a < 0 || b < 0 || a >= vertexCount || b >= vertexCount) {
                continue;
            }
            const ProjectedPoint from = projected(world, data, a);
            const ProjectedPoint to = projected(world, data, b);
            if (keyOf(from) != keyOf(to) && mSeen.insert(std::minmax(keyOf(from), keyOf(to))).second) {
                kept.insert(kept.end(), {a, b});
                mVisible.bounds.include(from);
                mVisible.bounds.include(to);
            }
        }
        mVisible.dropped += static_cast<size_t>(data.segmentCount()) - kept.size() / 2;
        return kept;
    }

    const VisibleSegments& visible() const { return mVisible; }

private:
    ProjectedPoint projected(const ovTransformation& world, const LineData& data, int vertex) const {
        return project(mProjection.data(), world.ApplyForward(data.vertices().Position3(vertex), true));
    }

    const Projection& mProjection;
    std::set<std::pair<ProjectedKey, ProjectedKey>> mSeen;
    VisibleSegments mVisible;
};

}  // namespace

VisibleSegments dropHiddenAndRepeatedSegments(ovSpatial& root, const Projection& projection) {
    SegmentFilter filter(projection);
    forEachLine(root, nullptr, [&filter](ovLine& line, const ovTransformation& world, const LineData& data) {
        if (!data.present()) {
            return;
        }
        const std::vector<int> kept = filter.visibleSegments(world, data);
        ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(static_cast<int>(kept.size())));
        std::copy(kept.begin(), kept.end(), indices->getData());
        line.setBuffers(line.getVertexBuffer(), indices.get());
    });
    return filter.visible();
}

std::optional<PageSize> parsePageSize(std::string_view text) {
    const size_t separator = text.find_first_of("xX");
    if (separator == std::string_view::npos) {
        return std::nullopt;
    }
    const auto width = parsePositiveWholeNumber(text.substr(0, separator));
    const auto height = parsePositiveWholeNumber(text.substr(separator + 1));
    if (!width || !height) {
        return std::nullopt;
    }
    return PageSize{*width, *height};
}

Projection viewProjection(View view, SceneUp up) {
    const ViewAxes axes = up == SceneUp::Z ? axesOf(view) : turnedToYUp(axesOf(view));
    Projection m{};
    for (size_t row = 0; row < 3; ++row) {
        m[row * 4 + 0] = axes.right[row];
        m[row * 4 + 1] = axes.up[row];
        m[row * 4 + 2] = axes.toViewer[row];
    }
    m[15] = 1.0f;
    return m;
}

void ProjectedBounds::include(ProjectedPoint point) {
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
        return;
    }
    if (empty) {
        minX = maxX = point.x;
        minY = maxY = point.y;
        empty = false;
        return;
    }
    minX = std::min(minX, point.x);
    maxX = std::max(maxX, point.x);
    minY = std::min(minY, point.y);
    maxY = std::max(maxY, point.y);
}

PageMapping fitToPage(const ProjectedBounds& bounds, PageSize page, double margin) {
    const double usableWidth = page.width - 2.0 * margin;
    const double usableHeight = page.height - 2.0 * margin;
    if (!(usableWidth > 0.0 && usableHeight > 0.0)) {
        std::ostringstream message;
        message << "a margin of " << margin << " mm leaves no room on a " << page.width << "x" << page.height
                << " mm page";
        throw ServiceError(message.str());
    }
    PageMapping mapping;
    if (bounds.empty) {
        mapping.offsetU = page.width / 2.0;
        mapping.offsetV = page.height / 2.0;
        return mapping;
    }
    const double width = static_cast<double>(bounds.maxX) - bounds.minX;
    const double height = static_cast<double>(bounds.maxY) - bounds.minY;
    double scale = std::numeric_limits<double>::infinity();
    if (width > 0.0) {
        scale = usableWidth / width;
    }
    if (height > 0.0) {
        scale = std::min(scale, usableHeight / height);
    }
    mapping.scale = std::isfinite(scale) ? scale : 1.0;
    const double centreX = (static_cast<double>(bounds.minX) + bounds.maxX) / 2.0;
    const double centreY = (static_cast<double>(bounds.minY) + bounds.maxY) / 2.0;
    mapping.offsetU = page.width / 2.0 - mapping.scale * centreX;
    mapping.offsetV = page.height / 2.0 - mapping.scale * centreY;
    return mapping;
}

ovPointer<ovVectorialMetadata> makePageDescription(const ProjectedBounds& bounds,
                                                   const DrawingOptions& options) {
    ovPointer<ovVectorialMetadata> page(new ovVectorialMetadata);
    page->title = options.title;
    page->description = options.description;
    page->pageWidth = options.page.width;
    page->pageHeight = options.page.height;
    const Projection projection = viewProjection(options.view, options.up);
    std::copy(projection.begin(), projection.end(), page->projection);
    const PageMapping mapping = options.fit ? fitToPage(bounds, options.page, options.margin) : PageMapping{};
    const auto scale = static_cast<float>(mapping.scale);
    page->pageMatrix[0] = scale;
    page->pageMatrix[1] = 0.0f;
    page->pageMatrix[2] = 0.0f;
    page->pageMatrix[3] = scale;
    page->pageOffset[0] = static_cast<float>(mapping.offsetU);
    page->pageOffset[1] = static_cast<float>(mapping.offsetV);
    return page;
}

DrawingSaveSettings::~DrawingSaveSettings() = default;

ovPointer<ovNode> makeDrawing(const ovSpatial& scene, const DrawingOptions& drawing,
                              SaveMeshOptions& options) {
    const ovPointer<ovNode> copy =
        drawing.meshEdgeDegrees ? copyScene(scene, SceneContent::LinesAndMeshEdges, *drawing.meshEdgeDegrees)
                                : copyScene(scene, SceneContent::Lines);
    const VisibleSegments visible =
        dropHiddenAndRepeatedSegments(*copy, viewProjection(drawing.view, drawing.up));
    DrawingSaveSettings page;
    page.page = makePageDescription(visible.bounds, drawing);
    options.drivers.set(page);
    return copy;
}

const ovVectorialMetadata* drawingPage(const ovSpatial& root, const SaveMeshOptions& options) {
    const auto* settings = options.drivers.find<DrawingSaveSettings>();
    return settings != nullptr && settings->page ? settings->page.get() : findPage(root);
}

}  // namespace ov
