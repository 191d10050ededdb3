#pragma once

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "obj/BlockArray.h"
#include "wm4/Wm4Foundation.h"

namespace ov::obj {

// One corner of a face or line: 0-based indices into the model's positions,
// texture coordinates and normals, -1 where the corner has none. Points that
// triangulation added count down from -2 into the model's added points.
struct ObjCorner {
    int position = -1;
    int texcoord = -1;
    int normal = -1;

    bool operator==(const ObjCorner&) const = default;
};

constexpr int addedPointNumber(int index) {
    return -2 - index;
}

// The faces (as triangles) or the lines (as segments) that one group draws
// with one material, with each distinct corner once as a vertex.
class ObjPart {
public:
    explicit ObjPart(std::string materialName) : material(std::move(materialName)) {}

    // The vertex of a corner, made when the corner is new.
    int vertexOf(const ObjCorner& corner);
    // A vertex of its own, for a point triangulation added: no corner names
    // it again, so the lookup does not hold it.
    int addVertex(const ObjCorner& corner);
    // Frees the lookup once no more corners come.
    void dropLookup();
    // Slots the lookup has now.
    size_t lookupCapacity() const { return mSlots.size(); }

    std::string material;
    BlockArray<ObjCorner> vertices;
    // 3 vertices per triangle or 2 per segment.
    BlockArray<int> indices;

private:
    size_t slotOf(const ObjCorner& corner) const;
    bool canSpread() const;
    void spread();
    void spreadShape(size_t& slots, bool& scattered) const;
    void rebuildLookup(size_t slots, bool scattered);
    bool refill(const std::vector<int>& old);

    // Open addressing over the vertices vertexOf made: vertex numbers, -1
    // for a free slot.
    std::vector<int> mSlots;
    size_t mEntries = 0;
    bool mScattered = false;
};

struct ObjGroup {
    std::string name;
    std::vector<ObjPart> meshes;
    std::vector<ObjPart> lines;
};

struct ObjNameAt {
    std::string name;
    size_t line;
};

using ObjVector = std::array<float, 3>;
using ObjTexcoord = std::array<float, 2>;

// The colour entry of a vertex without a colour.
constexpr ObjVector kNoColour{std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f};

// What an OBJ file holds, checked: every corner names data that exists.
struct ObjModel {
    BlockArray<ObjVector> positions;
    BlockArray<ObjTexcoord> texcoords;
    BlockArray<ObjVector> normals;
    BlockArray<ObjVector> addedPositions;
    BlockArray<ObjTexcoord> addedTexcoords;
    BlockArray<ObjVector> addedNormals;
    // Red, green and blue of each position from the first coloured one on,
    // and of each added point; kNoColour where there is none.
    BlockArray<ObjVector> colours;
    BlockArray<ObjVector> addedColours;
    // Groups and objects that hold a face or a line, in order of their first.
    std::vector<ObjGroup> groups;
    // The rest of each "mtllib" statement.
    std::vector<ObjNameAt> materialLibraries;
    // Each material named by "usemtl", at its first use.
    std::vector<ObjNameAt> materialsUsed;
    // Conditions the reading survived, with their line numbers.
    std::vector<std::string> warnings;

    Wm4::Vector3f position(int number) const { return vectorAt(positions, addedPositions, number); }
    Wm4::Vector3f normal(int number) const { return vectorAt(normals, addedNormals, number); }
    ObjTexcoord texcoord(int number) const { return elementAt(texcoords, addedTexcoords, number); }
    std::optional<ObjVector> colour(int number) const {
        const bool listed = number >= 0 ? static_cast<size_t>(number) < colours.size()
                                        : static_cast<size_t>(addedPointNumber(number)) < addedColours.size();
        const ObjVector* found = listed ? &elementAt(colours, addedColours, number) : nullptr;
        return found && !std::isnan((*found)[0]) ? std::optional(*found) : std::nullopt;
    }

private:
    static Wm4::Vector3f vectorAt(const BlockArray<ObjVector>& values, const BlockArray<ObjVector>& added,
                                  int number) {
        const ObjVector& vector = elementAt(values, added, number);
        return {vector[0], vector[1], vector[2]};
    }

    template <typename T>
    static const T& elementAt(const BlockArray<T>& values, const BlockArray<T>& added, int number) {
        return number >= 0 ? values[static_cast<size_t>(number)]
                           : added[static_cast<size_t>(addedPointNumber(number))];
    }
};

}  // namespace ov::obj
