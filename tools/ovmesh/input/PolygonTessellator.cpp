#include "ovmesh/input/PolygonTessellator.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdint>
#include <new>

namespace ov::ovmesh {

namespace {

using Point = std::array<GLdouble, 3>;

// The normal of a polygon's best-fit plane (Newell's method): the sum of the
// cross products of consecutive corners, which follows the polygon's winding.
Point newellNormal(const std::vector<Wm4::Vector3f>& corners) {
    Point normal{0, 0, 0};
    for (size_t i = 0; i < corners.size(); ++i) {
        const Wm4::Vector3f& a = corners[i];
        const Wm4::Vector3f& b = corners[(i + 1) % corners.size()];
        normal[0] += (static_cast<double>(a.Y()) - b.Y()) * (static_cast<double>(a.Z()) + b.Z());
        normal[1] += (static_cast<double>(a.Z()) - b.Z()) * (static_cast<double>(a.X()) + b.X());
        normal[2] += (static_cast<double>(a.X()) - b.X()) * (static_cast<double>(a.Y()) + b.Y());
    }
    return normal;
}

// GLU hands point numbers back as the opaque pointers it was given; 0 would
// read as "no data", so numbers travel shifted by one.
void* pointData(int number) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(number) + 1);
}

int pointNumber(void* data) {
    return static_cast<int>(reinterpret_cast<intptr_t>(data) - 1);
}

// One polygon's tessellation as the GLU callbacks see it.
struct Run {
    Tessellation& result;
    size_t cornerCount;
    bool failed = false;

    static void GLAPIENTRY vertex(void* data, void* run) {
        static_cast<Run*>(run)->result.triangles.push_back(pointNumber(data));
    }

    // Only triangles are asked for (see the edge flag), so begin needs no work.
    static void GLAPIENTRY begin(GLenum, void*) {}
    static void GLAPIENTRY edgeFlag(GLboolean, void*) {}

    static void GLAPIENTRY error(GLenum, void* run) { static_cast<Run*>(run)->failed = true; }

    static void GLAPIENTRY combine(GLdouble coordinates[3], void* data[4], GLfloat weights[4], void** out,
                                   void* runData) {
        auto& run = *static_cast<Run*>(runData);
        BlendedPoint point;
        point.position = {static_cast<float>(coordinates[0]), static_cast<float>(coordinates[1]),
                          static_cast<float>(coordinates[2])};
        for (size_t i = 0; i < 4; ++i) {
            // Unused slots come as null with weight 0; they borrow slot 0.
            point.sources[i] = data[i] != nullptr ? pointNumber(data[i]) : pointNumber(data[0]);
            point.weights[i] = data[i] != nullptr ? weights[i] : 0.0f;
        }
        run.result.added.push_back(point);
        *out = pointData(static_cast<int>(run.cornerCount + run.result.added.size() - 1));
    }
};

}  // namespace

struct PolygonTessellator::Glu {
    GLUtesselator* tess = gluNewTess();
    // Coordinates must stay where they are until the polygon ends.
    std::vector<Point> coordinates;

    ~Glu() {
        if (tess != nullptr) {
            gluDeleteTess(tess);
        }
    }
};

PolygonTessellator::PolygonTessellator() : mGlu(std::make_unique<Glu>()) {
    GLUtesselator* tess = mGlu->tess;
    if (tess == nullptr) {
        throw std::bad_alloc();
    }
    using Callback = void(GLAPIENTRY*)();
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<Callback>(&Run::vertex));
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<Callback>(&Run::begin));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<Callback>(&Run::edgeFlag));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<Callback>(&Run::error));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<Callback>(&Run::combine));
    // Every covered region is kept, so an overlapping polygon loses no area.
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
}

PolygonTessellator::~PolygonTessellator() = default;

void PolygonTessellator::tessellate(const std::vector<Wm4::Vector3f>& corners, Tessellation& result) {
    result.triangles.clear();
    result.added.clear();
    Run run{result, corners.size()};
    const Point normal = newellNormal(corners);
    // Without area the normal is zero, and GLU then finds none either: the
    // polygon gives no triangle, as it covers nothing.
    gluTessNormal(mGlu->tess, normal[0], normal[1], normal[2]);
    mGlu->coordinates.assign(corners.size(), Point{});
    gluTessBeginPolygon(mGlu->tess, &run);
    gluTessBeginContour(mGlu->tess);
    for (size_t i = 0; i < corners.size(); ++i) {
        Point& point = mGlu->coordinates[i];
        point = {corners[i].X(), corners[i].Y(), corners[i].Z()};
        gluTessVertex(mGlu->tess, point.data(), pointData(static_cast<int>(i)));
    }
    gluTessEndContour(mGlu->tess);
    gluTessEndPolygon(mGlu->tess);
    if (run.failed || result.triangles.size() % 3 != 0) {
        result.triangles.clear();
        result.added.clear();
    }
}

}  // namespace ov::ovmesh
