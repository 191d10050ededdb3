#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/LineDrawing.h"
#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// How a scene is looked at for a drawing. Top looks down the z axis, front
// along +y, side along -x (from the right); iso looks from the front-right-top
// corner with z up. In every view the page's horizontal axis runs right and
// its vertical axis up.
enum class View { Top, Front, Side, Iso };
const std::map<std::string, View>& viewsByName();

struct PageSize {
    int32_t width = 210;
    int32_t height = 297;
};
// "WxH" in whole millimetres, both positive ("210x297"); nullopt otherwise.
std::optional<PageSize> parsePageSize(std::string_view text);

// Row-major 4x4 matrix applied to row vectors from the left (p * M).
using Projection = std::array<float, 16>;
Projection viewProjection(View view);

struct ProjectedBounds {
    float minX = 0.0f;
    float minY = 0.0f;
    float maxX = 0.0f;
    float maxY = 0.0f;
    bool empty = true;

    void include(ProjectedPoint point);
};

// Drops, from every polyline of a drawing, the segments that project to a
// single point and those that project onto a segment drawn before (either
// way round), so that the page shows each stroke once. Lines get index
// buffers of their own; those of the original scene stay untouched. One walk
// also finds the bounds of what is left.
struct VisibleSegments {
    size_t dropped = 0;
    ProjectedBounds bounds;
};
VisibleSegments dropHiddenAndRepeatedSegments(ovSpatial& root, const Projection& projection);

// Projected point to page: u = scale X + offsetU, v = scale Y + offsetV, in
// millimetres with v growing upward.
struct PageMapping {
    double scale = 1.0;
    double offsetU = 0.0;
    double offsetV = 0.0;
};
// Scales the drawing uniformly to fill the page inside the margin, centred.
// A drawing without extent keeps scale 1 and is centred. ToolError when the
// margin leaves no room on the page.
PageMapping fitToPage(const ProjectedBounds& bounds, PageSize page, double margin);

struct DrawingOptions {
    PageSize page;
    View view = View::Top;
    double margin = 10.0;
    // Without fit: scale 1, the projected origin at the page's lower-left corner.
    bool fit = true;
    std::string title;
    std::string description;
};

// The page description a drawing writer reads from the scene's root, fitted
// (when asked) to the bounds of what the view shows.
ovPointer<ovVectorialMetadata> makePageDescription(const ProjectedBounds& bounds,
                                                   const DrawingOptions& options);

}  // namespace ov::ovmesh
