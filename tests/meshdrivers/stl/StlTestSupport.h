#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenegraph/ovGeometry.h"
#include "system/ovProgressNotifier.h"

namespace ov::test {

using Point = Wm4::Vector3f;

// A mesh of the given positions and indices; attributes may add normals and
// texture coordinates between the positions (filled with values that must
// never show up as positions).
ovTriMesh* makeMesh(const std::vector<Point>& positions, const std::vector<int>& indices,
                    const ovAttributes& attributes = {});
void setDiffuse(ovTriMesh& mesh, float red, float green, float blue);
// A node attached to parent with the given local placement.
ovNode* attachPlacedNode(ovNode& parent, const Wm4::Matrix3f& rotate, const Point& translate);

// Two placed parts under one root: a red tetrahedron at (10, 0, 0) and a
// blue-green quad (vertices with normals and texture coordinates) turned a
// quarter about z and moved to (0, 5, -2).
ovPointer<ovNode> buildTwoPartScene();

// One decoded binary STL file.
struct StlFacet {
    Point normal;
    Point corners[3];
    uint16_t colour;
};
struct StlFile {
    std::string header;
    uint32_t count = 0;
    std::vector<StlFacet> facets;
    size_t trailingBytes = 0;
};
StlFile decodeStl(const std::string& bytes);

// The bytes StlMeshDriver writes for the subtree (null progress by default).
std::string saveStl(ovSpatial* root, ovProgressNotifierInterface* progress = nullptr);

// Compares a whole file with tests/data/stl/<name>. With OV_UPDATE_GOLDEN set
// in the environment the golden file is rewritten instead.
void expectMatchesGolden(const std::string& actual, const std::string& goldenName);

// A notifier that records what it is told and answers "cancelled" from the
// (allowed + 1)-th question on.
class RecordingNotifier : public ovProgressNotifierInterface {
public:
    explicit RecordingNotifier(int allowedQuestions = INT32_MAX) : mAllowed(allowedQuestions) {}

    bool isCanceled() override { return ++questions > mAllowed; }
    void beginStep(double amount, uint32_t stepIndex) override { steps.push_back({amount, stepIndex}); }
    void advanceStep(double amount) override { advanced += amount; }

    struct Step {
        double amount;
        uint32_t index;
        bool operator==(const Step&) const = default;
    };
    int questions = 0;
    std::vector<Step> steps;
    double advanced = 0.0;
    std::vector<std::pair<uint32_t, double>> groups;
    int groupsEnded = 0;

protected:
    void onStepGroupBegin(uint32_t stepCount, double totalAmount) override {
        groups.emplace_back(stepCount, totalAmount);
    }
    void onStepGroupEnd() override { ++groupsEnded; }

private:
    int mAllowed;
};

}  // namespace ov::test
