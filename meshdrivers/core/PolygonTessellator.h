#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wm4/Wm4Foundation.h"

namespace ov {

// A point the tessellator adds where edges of a self-intersecting polygon
// cross: a blend of up to four earlier points (corners, or points added
// before it), numbered after the corners in the order they are added.
struct BlendedPoint {
    Wm4::Vector3f position;
    std::array<int, 4> sources{};
    std::array<float, 4> weights{};
};

struct Tessellation {
    // Three point numbers per triangle, wound as the polygon is.
    std::vector<int> triangles;
    std::vector<BlendedPoint> added;
};

// Cuts polygons into triangles that cover exactly the area they enclose
// (nonzero winding), concave ones included, on the GLU tessellator. A polygon
// that is not planar is projected onto its best-fit plane, the one of its
// Newell normal. Reuse one object for many polygons.
class PolygonTessellator {
public:
    PolygonTessellator();
    ~PolygonTessellator();
    PolygonTessellator(const PolygonTessellator&) = delete;
    PolygonTessellator& operator=(const PolygonTessellator&) = delete;

    // Why the polygon is not tessellated, or nothing. GLU's sweep slows with
    // the square of the edges a line across the polygon meets and adds a point
    // at every crossing, so a large concave or much self-crossing polygon
    // would cost time and memory far beyond its size: a polygon of more than
    // 4096 corners must be convex, a smaller one may cross itself 4096 times.
    static std::optional<std::string> refusal(const std::vector<Wm4::Vector3f>& corners);

    // Corners in order around the polygon; the result is overwritten.
    void tessellate(const std::vector<Wm4::Vector3f>& corners, Tessellation& result);

private:
    struct Glu;
    std::unique_ptr<Glu> mGlu;
};

}  // namespace ov
