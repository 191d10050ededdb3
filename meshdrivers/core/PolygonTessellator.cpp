#include "core/PolygonTessellator.h"

// Windows' GL headers need its own declarations first, and name the calling
// convention of callbacks APIENTRY where Mesa's name it GLAPIENTRY.
#if defined(_WIN32)
#include <windows.h>
#define GLAPIENTRY APIENTRY
#endif
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <numbers>

namespace ov {

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

constexpr size_t kMostCornersOfAnyShape = 4096;
constexpr size_t kMostCrossings = 4096;

// A corner in the plane the polygon is seen in.
struct FlatPoint {
    double u;
    double v;
};

// The corners seen along the normal's largest axis, which keeps the
// polygon's shape and its crossings.
std::vector<FlatPoint> flattened(const std::vector<Wm4::Vector3f>& corners, const Point& normal) {
    const auto largest =
        static_cast<int>(std::max_element(normal.begin(), normal.end(),
                                          [](double a, double b) { return std::abs(a) < std::abs(b); }) -
                         normal.begin());
    const int u = (largest + 1) % 3;
    const int v = (largest + 2) % 3;
    std::vector<FlatPoint> flat;
    flat.reserve(corners.size());
    for (const Wm4::Vector3f& corner : corners) {
        flat.push_back({corner[u], corner[v]});
    }
    return flat;
}

// Twice the signed area of the triangle a, b, c: which side of ab c lies on.
double orientation(const FlatPoint& a, const FlatPoint& b, const FlatPoint& c) {
    return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

// Convex: every corner turns the same way, and all of them once around.
bool isConvex(const std::vector<FlatPoint>& flat) {
    double turning = 0.0;
    int side = 0;
    for (size_t i = 0; i < flat.size(); ++i) {
        const FlatPoint& a = flat[i];
        const FlatPoint& b = flat[(i + 1) % flat.size()];
        const FlatPoint& c = flat[(i + 2) % flat.size()];
        const double cross = orientation(a, b, c);
        const int turn = (cross > 0) - (cross < 0);
        if (turn != 0 && side != 0 && turn != side) {
            return false;
        }
        side = turn != 0 ? turn : side;
        const double dot = (b.u - a.u) * (c.u - b.u) + (b.v - a.v) * (c.v - b.v);
        turning += std::atan2(cross, dot);
    }
    return std::abs(std::abs(turning) - 2 * std::numbers::pi) < 1e-3;
}

bool edgesCross(const FlatPoint& a, const FlatPoint& b, const FlatPoint& c, const FlatPoint& d) {
    const double c1 = orientation(c, d, a);
    const double c2 = orientation(c, d, b);
    const double c3 = orientation(a, b, c);
    const double c4 = orientation(a, b, d);
    return c1 * c2 < 0 && c3 * c4 < 0;
}

// How often edges that do not meet at a corner cross, counted up to limit + 1.
size_t crossingsUpTo(const std::vector<FlatPoint>& flat, size_t limit) {
    const size_t n = flat.size();
    size_t crossings = 0;
    for (size_t i = 0; i + 2 < n; ++i) {
        for (size_t j = i + 2; j < n && crossings <= limit; ++j) {
            if ((i != 0 || j != n - 1) && edgesCross(flat[i], flat[i + 1], flat[j], flat[(j + 1) % n])) {
                ++crossings;
            }
        }
    }
    return crossings;
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

std::optional<std::string> PolygonTessellator::refusal(const std::vector<Wm4::Vector3f>& corners) {
    if (corners.size() <= 3) {
        return std::nullopt;
    }
    const std::vector<FlatPoint> flat = flattened(corners, newellNormal(corners));
    const std::string face = "a face of " + std::to_string(corners.size()) + " corners";
    if (corners.size() > kMostCornersOfAnyShape) {
        if (isConvex(flat)) {
            return std::nullopt;
        }
        return face + " that is not convex: such a face may have at most " +
               std::to_string(kMostCornersOfAnyShape) + " corners";
    }
    if (crossingsUpTo(flat, kMostCrossings) > kMostCrossings) {
        return face + " whose edges cross more than " + std::to_string(kMostCrossings) + " times";
    }
    return std::nullopt;
}

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

}  // namespace ov
