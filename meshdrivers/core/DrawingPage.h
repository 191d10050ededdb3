#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/LineDrawing.h"
#include "core/SceneCopy.h"
#include "core/UpAxes.h"
#include "core/ovMeshDriversExport.h"
#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov {

// How a scene is looked at for a drawing. Top looks down the z axis, front
// along +y, side along -x (from the right); iso looks from the front-right-top
// corner with z up. In every view the page's horizontal axis runs right and
// its vertical axis up.
enum class View { Top, Front, Side, Iso };
OVMESHDRIVERS_API const std::map<std::string, View>& viewsByName();

struct PageSize {
    int32_t width = 210;
    int32_t height = 297;
};
// "WxH" in whole millimetres, both positive ("210x297"); nullopt otherwise.
OVMESHDRIVERS_API std::optional<PageSize> parsePageSize(std::string_view text);

// Row-major 4x4 matrix applied to row vectors from the left (p * M).
using Projection = std::array<float, 16>;
// The view of a scene whose up axis is up: a Y-up scene is looked at as
// though it had been turned to stand on z.
OVMESHDRIVERS_API Projection viewProjection(View view, SceneUp up = SceneUp::Z);

struct OVMESHDRIVERS_API ProjectedBounds {
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
OVMESHDRIVERS_API VisibleSegments dropHiddenAndRepeatedSegments(ovSpatial& root,
                                                                const Projection& projection);

// Projected point to page: u = scale X + offsetU, v = scale Y + offsetV, in
// millimetres with v growing upward.
struct PageMapping {
    double scale = 1.0;
    double offsetU = 0.0;
    double offsetV = 0.0;
};
// Scales the drawing uniformly to fill the page inside the margin, centred.
// A drawing without extent keeps scale 1 and is centred. ServiceError when
// the margin leaves no room on the page.
OVMESHDRIVERS_API PageMapping fitToPage(const ProjectedBounds& bounds, PageSize page, double margin);

struct DrawingOptions {
    PageSize page;
    View view = View::Top;
    double margin = 10.0;
    // Without fit: scale 1, the projected origin at the page's lower-left corner.
    bool fit = true;
    std::string title;
    std::string description;
    // The scene's up axis, which every view keeps pointing up the page.
    SceneUp up = SceneUp::Z;
    // Meshes are drawn by their feature edges, where faces fold by more than
    // this many degrees, and their borders; without it only polylines are.
    std::optional<double> meshEdgeDegrees = kDefaultCreaseDegrees;
};

// The page description a drawing writer reads from the scene's root, fitted
// (when asked) to the bounds of what the view shows.
OVMESHDRIVERS_API ovPointer<ovVectorialMetadata> makePageDescription(const ProjectedBounds& bounds,
                                                                     const DrawingOptions& options);

// The page a drawing save (SVG, DXF) puts its lines on, given in its options
// (SaveMeshOptions::drivers); without one the drawing writers read the page
// from the vectorial metadata of the scene's root. One scene can so be saved
// on several pages at once.
struct OVMESHDRIVERS_API DrawingSaveSettings : ovDriverSettings {
    ~DrawingSaveSettings() override;

    ovPointer<ovVectorialMetadata> page;
};

// The drawing of a scene that a drawing writer saves: a copy of its tree with
// its polylines (and its meshes' feature edges), each stroke once, whose page
// goes to the save's options. The scene stays untouched.
OVMESHDRIVERS_API ovPointer<ovNode> makeDrawing(const ovSpatial& scene, const DrawingOptions& drawing,
                                                SaveMeshOptions& options);

// The page of a drawing save with these options of the scene under root:
// the settings' page, or else the root's; null without either.
const ovVectorialMetadata* drawingPage(const ovSpatial& root, const SaveMeshOptions& options);

}  // namespace ov
