#include "ovmesh/output/DrawingPage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "ovmesh/ToolError.h"
#include "ovmesh/output/SceneVariants.h"
#include "scenegraph/ovGeometry.h"

namespace ov::ovmesh {

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

// Calls visit(line) for every polyline below root whose buffers are in
// memory for the visit, with its world transformation brought up to date.
template <typename Visit>
void forEachLineWithData(ovSpatial& root, Visit visit) {
    root.UpdateGS_Flags();
    forEachSpatial(root, [&visit](const ovSpatial& spatial) {
        if (!spatial.IsDerived(ovLine::TYPE)) {
            return;
        }
        // The walk hands out the spatials of root, which the caller may change.
        auto& line = const_cast<ovLine&>(static_cast<const ovLine&>(spatial));
        ovVertexBuffer* vertices = line.getVertexBuffer();
        ovIndexBuffer* indices = line.getIndexBuffer();
        if (vertices == nullptr || indices == nullptr) {
            return;
        }
        ovDataLoader vertexData(vertices);
        ovDataLoader indexData(indices);
        if (vertices->hasCPUData() && indices->hasCPUData()) {
            visit(line);
        }
    });
}

ProjectedPoint projectedVertex(const ovLine& line, const Projection& projection, int vertex) {
    return project(projection,
                   line.getWorldTransform().ApplyForward(line.getVertexBuffer()->Position3(vertex), true));
}

using ProjectedKey = std::pair<float, float>;

ProjectedKey keyOf(ProjectedPoint point) {
    return {point.x, point.y};
}

// The segments of one line that are neither a point nor already in seen.
std::vector<int> visibleSegments(const ovLine& line, const Projection& projection,
                                 std::set<std::pair<ProjectedKey, ProjectedKey>>& seen) {
    const ovVertexBuffer& vertices = *line.getVertexBuffer();
    const ovIndexBuffer& indices = *line.getIndexBuffer();
    std::vector<int> kept;
    for (int i = 0; i + 1 < indices.GetIndexQuantity(); i += 2) {
        const int a = indices.getData()[i];
        const int b = indices.getData()[i + 1];
        if (a < 0 || b < 0 || a >= vertices.GetVertexQuantity() || b >= vertices.GetVertexQuantity()) {
            continue;
        }
        const ProjectedKey from = keyOf(projectedVertex(line, projection, a));
        const ProjectedKey to = keyOf(projectedVertex(line, projection, b));
        if (from != to && seen.insert(std::minmax(from, to)).second) {
            kept.insert(kept.end(), {a, b});
        }
    }
    return kept;
}

}  // namespace

size_t dropHiddenAndRepeatedSegments(ovSpatial& root, const Projection& projection) {
    std::set<std::pair<ProjectedKey, ProjectedKey>> seen;
    size_t dropped = 0;
    forEachLineWithData(root, [&](ovLine& line) {
        const std::vector<int> kept = visibleSegments(line, projection, seen);
        dropped += static_cast<size_t>(line.getIndexBuffer()->GetIndexQuantity() / 2) - kept.size() / 2;
        ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(static_cast<int>(kept.size())));
        std::copy(kept.begin(), kept.end(), indices->getData());
        line.setBuffers(line.getVertexBuffer(), indices.get());
    });
    return dropped;
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

Projection viewProjection(View view) {
    const ViewAxes axes = axesOf(view);
    Projection m{};
    for (size_t row = 0; row < 3; ++row) {
        m[row * 4 + 0] = axes.right[row];
        m[row * 4 + 1] = axes.up[row];
        m[row * 4 + 2] = axes.toViewer[row];
    }
    m[15] = 1.0f;
    return m;
}

ProjectedPoint project(const Projection& m, const Wm4::Vector3f& p) {
    const float w = p.X() * m[3] + p.Y() * m[7] + p.Z() * m[11] + m[15];
    const float x = (p.X() * m[0] + p.Y() * m[4] + p.Z() * m[8] + m[12]) / w;
    const float y = (p.X() * m[1] + p.Y() * m[5] + p.Z() * m[9] + m[13]) / w;
    return {x, y};
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

ProjectedBounds projectedLineBounds(ovSpatial& root, const Projection& projection) {
    ProjectedBounds bounds;
    forEachLineWithData(root, [&](const ovLine& line) {
        const int used = line.getIndexBuffer()->GetIndexQuantity() / 2 * 2;
        for (int i = 0; i < used; ++i) {
            const int k = line.getIndexBuffer()->getData()[i];
            if (k >= 0 && k < line.getVertexBuffer()->GetVertexQuantity()) {
                bounds.include(projectedVertex(line, projection, k));
            }
        }
    });
    return bounds;
}

PageMapping fitToPage(const ProjectedBounds& bounds, PageSize page, double margin) {
    const double usableWidth = page.width - 2.0 * margin;
    const double usableHeight = page.height - 2.0 * margin;
    if (!(usableWidth > 0.0 && usableHeight > 0.0)) {
        std::ostringstream message;
        message << "a margin of " << margin << " mm leaves no room on a " << page.width << "x" << page.height
                << " mm page";
        throw ToolError(message.str());
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

ovPointer<ovVectorialMetadata> makePageDescription(ovSpatial& root, const DrawingOptions& options) {
    ovPointer<ovVectorialMetadata> page(new ovVectorialMetadata);
    page->title = options.title;
    page->description = options.description;
    page->pageWidth = options.page.width;
    page->pageHeight = options.page.height;
    const Projection projection = viewProjection(options.view);
    std::copy(projection.begin(), projection.end(), page->projection);
    const PageMapping mapping =
        options.fit ? fitToPage(projectedLineBounds(root, projection), options.page, options.margin)
                    : PageMapping{};
    const auto scale = static_cast<float>(mapping.scale);
    page->pageMatrix[0] = scale;
    page->pageMatrix[1] = 0.0f;
    page->pageMatrix[2] = 0.0f;
    page->pageMatrix[3] = scale;
    page->pageOffset[0] = static_cast<float>(mapping.offsetU);
    page->pageOffset[1] = static_cast<float>(mapping.offsetV);
    return page;
}

}  // namespace ov::ovmesh
