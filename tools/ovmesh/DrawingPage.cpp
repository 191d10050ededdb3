#include "ovmesh/DrawingPage.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

#include "ovmesh/SceneVariants.h"
#include "ovmesh/ToolError.h"
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

void includeLineVertices(const ovLine& line, const Projection& projection, ProjectedBounds& bounds) {
    ovVertexBuffer* vertices = line.getVertexBuffer();
    ovIndexBuffer* indices = line.getIndexBuffer();
    if (vertices == nullptr || indices == nullptr) {
        return;
    }
    ovDataLoader vertexData(vertices);
    ovDataLoader indexData(indices);
    if (!vertices->hasCPUData() || !indices->hasCPUData()) {
        return;
    }
    const int used = indices->GetIndexQuantity() / 2 * 2;
    for (int i = 0; i < used; ++i) {
        const int k = indices->getData()[i];
        if (k >= 0 && k < vertices->GetVertexQuantity()) {
            const Wm4::Vector3f world = line.getWorldTransform().ApplyForward(vertices->Position3(k), true);
            bounds.include(project(projection, world));
        }
    }
}

}  // namespace

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
    root.UpdateGS_Flags();
    ProjectedBounds bounds;
    forEachSpatial(root, [&](const ovSpatial& spatial) {
        if (spatial.IsDerived(ovLine::TYPE)) {
            includeLineVertices(static_cast<const ovLine&>(spatial), projection, bounds);
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
