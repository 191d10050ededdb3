// Meshes saved as STEP geometry in the interop profile: what each form holds
// read back out of the file, the checker's verdict, Open CASCADE's reading of
// the faceted form, and the meshes that cannot be written.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "StepTestSupport.h"
#include "step/Part21Checker.h"
#include "step/Part21Reader.h"

namespace ov::step {
namespace {

// A unit-high rectangle 2 long in two triangles, then a triangle with no
// area; normals of length 2 straight up; red at half opacity.
ovPointer<ovTriMesh> rectangle() {
    ovAttributes attributes;
    attributes.SetNormal(true);
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(attributes, 4));
    const Wm4::Vector3f corners[] = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        vertices->Position3(i) = corners[i];
        vertices->Normal3(i) = {0, 0, 2};
    }
    const int triangles[] = {0, 1, 2, 0, 2, 3, 0, 0, 1};
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(9));
    std::copy(std::begin(triangles), std::end(triangles), indices->getData());
    ovPointer<ovTriMesh> mesh(new ovTriMesh(vertices.get(), indices.get()));
    mesh->SetName("m");
    ovPointer<ovMaterialState> red(new ovMaterialState);
    red->diffuse = {1, 0, 0, 1};
    red->alpha = 0.5f;
    mesh->setMaterialState(red.get());
    return mesh;
}

// P holds the rectangle, Q (moved) another mesh on its buffers, S one raised
// by 3 in its own placement; the scene is in millimetres.
ovPointer<ovNode> rectangleScene(ovPointer<ovTriMesh> mesh = rectangle()) {
    ovPointer<ovTriMesh> shared(new ovTriMesh(mesh->getVertexBuffer(), mesh->getIndexBuffer()));
    shared->setMaterialState(mesh->getMaterialState());
    ovPointer<ovTriMesh> raised(new ovTriMesh(mesh->getVertexBuffer(), mesh->getIndexBuffer()));
    raised->setMaterialState(mesh->getMaterialState());
    raised->editLocalTransform(true).SetTranslate({0, 0, 3});
    shared->SetName("m");
    raised->SetName("m");
    ovPointer<ovNode> root = namedNode(
        "R", {namedNode("P", {mesh.get()}).get(), translated(namedNode("Q", {shared.get()}), {5, 0, 0}).get(),
              namedNode("S", {raised.get()}).get()});
    root->setMetadata(new ovWorldUnitsMetaData(0.001));
    return root;
}

// The numbers of each record of one entity, in file order: its reals and its
// integers.
struct RecordNumbers {
    std::vector<double> reals;
    std::vector<long long> integers;
};

class NumbersOf : public Part21Handler {
public:
    explicit NumbersOf(std::string_view entity) : mEntity(entity) {}
    void headerRecord(const Part21Record&) override {}
    void dataRecord(const Part21Record& record) override {
        if (record.parts.size() != 1 || record.parts[0].name != mEntity) {
            return;
        }
        RecordNumbers& numbers = records.emplace_back();
        for (const Part21Item& item : record.items) {
            if (item.kind == Part21Item::Kind::Real) {
                numbers.reals.push_back(std::stod(std::string(item.text)));
            } else if (item.kind == Part21Item::Kind::Integer) {
                numbers.integers.push_back(std::stoll(std::string(item.text)));
            }
        }
    }
    void syntaxError(uint64_t line, const std::string& message) override {
        ADD_FAILURE() << line << ": " << message;
    }
    void unreadableInstance(uint64_t, uint64_t) override {}

    std::vector<RecordNumbers> records;

private:
    std::string_view mEntity;
};

std::vector<RecordNumbers> numbersOf(const std::string& file, std::string_view entity) {
    NumbersOf numbers(entity);
    Part21Reader(file, numbers).read();
    return numbers.records;
}

size_t count(const std::string& text, const std::string& what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++found;
    }
    return found;
}

class StepGeometryTest : public ::testing::Test {
protected:
    void SetUp() override { driver.setProfile(StepProfile::Interop); }

    std::string save(ovSpatial* root, bool saves = true) {
        return test::saveToMemory(driver, {root}, saves, nullptr,
                                  SaveMeshOptions{"geometry.stp", "", false, false});
    }

    void expectChecksClean(const std::string& file) {
        Part21Checker checker;
        std::string error;
        ASSERT_TRUE(checker.loadSchema(schemaPath(), error)) << error;
        const Part21CheckReport report = checker.checkText(file);
        EXPECT_EQ(report.errors + report.warnings, 0u)
            << (report.findings.empty() ? "" : report.findings[0].message);
    }

    test::FixedClock clock;
    test::LogCapture log;
    StepMeshDriver driver{schemaPath()};
};

// The tessellated form read back: one coordinate list and triangle set per
// distinct buffers and placement (the shared mesh written once), in
// millimetres, the raised copy 3 higher; triangles by 1-based index, no-area
// ones kept; unit normals per point; one colour, half transparent, for all.
TEST_F(StepGeometryTest, TessellatedMeshesReadBackAsTheScene) {
    driver.setGeometry(StepGeometry::Tessellated);
    const ovPointer<ovNode> scene = rectangleScene();
    const std::string file = save(scene.get());
    expectChecksClean(file);

    const std::vector<RecordNumbers> coordinates = numbersOf(file, "COORDINATES_LIST");
    ASSERT_EQ(coordinates.size(), 2u);
    for (const size_t copy : {0u, 1u}) {
        const double z = copy == 0 ? 0.0 : 3.0;
        EXPECT_EQ(coordinates[copy].integers, std::vector<long long>{4});
        EXPECT_EQ(coordinates[copy].reals, (std::vector<double>{0, 0, z, 2, 0, z, 2, 1, z, 0, 1, z}));
    }
    const std::vector<RecordNumbers> sets = numbersOf(file, "TRIANGULATED_SURFACE_SET");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].integers, (std::vector<long long>{4, 1, 2, 3, 1, 3, 4, 1, 1, 2}));
    EXPECT_EQ(sets[0].reals, (std::vector<double>{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(count(file, "=SHAPE_REPRESENTATION_RELATIONSHIP("), 3u);
    EXPECT_EQ(count(file, "=TESSELLATED_SHAPE_REPRESENTATION('m',"), 2u);
    EXPECT_EQ(count(file, "=COLOUR_RGB('',1.,0.,0.);"), 1u);
    EXPECT_EQ(count(file, "=SURFACE_STYLE_TRANSPARENT(0.5);"), 1u);
    EXPECT_EQ(count(file, "=STYLED_ITEM('color',"), 2u);
}

// The faceted form: a face per triangle with area, which Open CASCADE meshes
// back into the two triangles of each part, in place and in colour (P and Q
// share one shape, which it names after the last).
TEST_F(StepGeometryTest, FacetedMeshesOpenInOpenCascade) {
    driver.setGeometry(StepGeometry::Faceted);
    const ovPointer<ovNode> scene = rectangleScene();
    const std::string file = save(scene.get());
    expectChecksClean(file);
    EXPECT_EQ(count(file, "=FACE_SURFACE("), 4u);
    EXPECT_EQ(count(file, "=CARTESIAN_POINT('',(0.,1.,3.));"), 1u);
    EXPECT_EQ(
        log.texts(ovLogWarning),
        (std::vector<std::string>{
            "Step driver : 1 of the 3 triangles of mesh 'm' of node 'P' have no area and are left out",
            "Step driver : 1 of the 3 triangles of mesh 'm' of node 'S' have no area and are left out"}));
#ifdef OV_OCCT_STEP_READER
    test::TempDir folder;
    test::writeFile(folder.file("faceted.stp"), file);
    EXPECT_EQ(
        test::runCommand("\"" OV_OCCT_STEP_READER "\" --native --shapes " + folder.file("faceted.stp")),
        "Q: 2 triangles in 0.000000 0.000000 0.000000 2.000000 1.000000 0.000000, colour 1.000000 0.000000 "
        "0.000000 0.500000\n"
        "S: 2 triangles in 0.000000 0.000000 3.000000 2.000000 1.000000 3.000000, colour 1.000000 0.000000 "
        "0.000000 0.500000\n");
#endif
}

// Meshes whose data cannot be written fail the save with the reason; the
// exact profile refuses meshes whatever the geometry form.
TEST_F(StepGeometryTest, MeshesThatCannotBeWrittenFailTheSaveWithTheReason) {
    const auto withIndex = [](int index) {
        ovPointer<ovTriMesh> mesh = rectangle();
        mesh->getIndexBuffer()->getData()[4] = index;
        return mesh;
    };
    ovPointer<ovTriMesh> notFinite = rectangle();
    notFinite->getVertexBuffer()->Position3(3) = {0, std::numeric_limits<float>::infinity(), 0};
    const struct {
        ovPointer<ovTriMesh> mesh;
        StepProfile profile;
        std::string error;
    } cases[] = {
        {withIndex(4), StepProfile::Interop,
         "Step driver : mesh 'm' of node 'P' has a vertex index out of its 4 vertices"},
        {withIndex(-1), StepProfile::Interop,
         "Step driver : mesh 'm' of node 'P' has a vertex index out of its 4 vertices"},
        {notFinite, StepProfile::Interop,
         "Step driver : mesh 'm' of node 'P' has a vertex 3 that is not finite"},
        {rectangle(), StepProfile::Exact, "Fail to save spatial tree in step ovNode"},
    };
    for (const auto& [mesh, profile, error] : cases) {
        SCOPED_TRACE(error);
        log.clear();
        driver.setProfile(profile);
        driver.setGeometry(StepGeometry::Faceted);
        const ovPointer<ovNode> scene = rectangleScene(mesh);
        save(scene.get(), false);
        EXPECT_EQ(log.texts(ovLogError).front(), error);
    }
}

}  // namespace
}  // namespace ov::step
