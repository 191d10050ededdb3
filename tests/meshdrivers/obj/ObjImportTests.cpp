#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/SceneWalk.h"
#include "obj/ObjImport.h"
#include "obj/ObjMeshDriver.h"
#include "obj/ObjReader.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

// An OBJ file read into a scene: one reader, its triangulation, materials and
// encodings, and the driver that hands it to a host with each load's settings.
namespace ov::test {
namespace {

using namespace obj;
using testing::ThrowsMessage;

const Wm4::ColorRGBA kNoMaterial(-1, -1, -1, -1);

Wm4::ColorRGBA diffuse(const ovBaseGeometry& mesh) {
    return mesh.getMaterialState() != nullptr ? mesh.getMaterialState()->diffuse : kNoMaterial;
}

const std::string kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

ObjImport importText(const std::string& text, const std::filesystem::path& folder = "/nonexistent") {
    return importObjText(text, "model.obj", folder);
}

const ovTriMesh& firstMesh(const ObjImport& imported) {
    return child<ovTriMesh>(child(*imported.root, 0), 0);
}

// An OBJ of one face through the given corners.
std::string polygonObj(const std::vector<Wm4::Vector3f>& points) {
    std::string text;
    std::string face = "f";
    for (size_t i = 0; i < points.size(); ++i) {
        text += "v " + std::to_string(points[i].X()) + " " + std::to_string(points[i].Y()) + " " +
                std::to_string(points[i].Z()) + "\n";
        face += ' ' + std::to_string(i + 1);
    }
    return text + face + "\n";
}

Wm4::Vector3f newell(const std::vector<Wm4::Vector3f>& points) {
    Wm4::Vector3f normal(0, 0, 0);
    for (size_t i = 0; i < points.size(); ++i) {
        normal = normal + points[i].Cross(points[(i + 1) % points.size()]);
    }
    return normal;
}

struct Cover {
    size_t triangles;
    double area;         // summed, each triangle's own
    double alignedArea;  // summed, projected on the polygon's normal: less when one is reversed
};

Cover coverOf(const ovTriMesh& mesh, const Wm4::Vector3f& polygonNormal) {
    const std::vector<Wm4::Vector3f> points = corners(mesh);
    const float length = polygonNormal.Length();
    const Wm4::Vector3f unit = length > 0 ? polygonNormal * (1 / length) : polygonNormal;
    Cover cover{points.size() / 3, 0, 0};
    for (size_t t = 0; t + 2 < points.size(); t += 3) {
        const Wm4::Vector3f cross = (points[t + 1] - points[t]).Cross(points[t + 2] - points[t]);
        cover.area += cross.Length() / 2;
        cover.alignedArea += cross.Dot(unit) / 2;
    }
    return cover;
}

std::vector<Wm4::Vector3f> comb(int teeth) {  // 4 * teeth + 2 corners, concave
    std::vector<Wm4::Vector3f> points{{0, 0, 0}, {float(2 * teeth), 0, 0}};
    for (int k = teeth - 1; k >= 0; --k) {
        points.insert(points.end(), {{float(2 * k + 2), 3, 0},
                                     {float(2 * k + 1), 3, 0},
                                     {float(2 * k + 1), 1, 0},
                                     {float(2 * k), 1, 0}});
    }
    return points;
}

// Corners i * step of n around a circle of radius 1000, every odd one pulled in by notch and lifted by lift.
std::vector<Wm4::Vector3f> ring(int n, int step, float notch, float lift = 0) {
    std::vector<Wm4::Vector3f> points;
    for (int i = 0; i < n; ++i) {
        const double angle = 2 * std::numbers::pi * i * step / n;
        const double radius = 1000.0 * (i % 2 == 1 ? 1.0 - notch : 1.0);
        points.emplace_back(radius * std::cos(angle), radius * std::sin(angle), float(i % 2) * lift);
    }
    return points;
}

TEST(ObjImportTest, PolygonsBecomeTrianglesThatCoverTheirAreaWoundAsTheyAre) {
    std::vector<Wm4::Vector3f> clockwise = comb(16);
    std::reverse(clockwise.begin(), clockwise.end());
    const Wm4::Vector3f repeated[] = {{0, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}, {0, 0, 0}};
    const struct {
        const char* name;
        std::vector<Wm4::Vector3f> polygon;
        size_t triangles;
        double area;
    } cases[] = {{"concave comb of 66 corners", comb(16), 64, 2 * 16 + 16 * 2},
                 {"the same clockwise", clockwise, 64, 64},
                 {"star of 936 corners", ring(936, 1, 0.4f), 934, 0},
                 {"star of 36 corners off its plane", ring(36, 1, 0.4f, 50), 34, 0},
                 {"repeated corners", {std::begin(repeated), std::end(repeated)}, 2, 2},
                 {"collinear corners", {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}, {2, 0, 0}}, 0, 0}};
    for (const auto& [name, polygon, triangles, area] : cases) {
        SCOPED_TRACE(name);
        const Wm4::Vector3f normal = newell(polygon);
        const Cover cover = coverOf(firstMesh(importText(polygonObj(polygon))), normal);
        // The polygon's own area, on its best-fit plane.
        const double expected = area > 0 ? area : normal.Length() / 2;
        EXPECT_EQ(cover.triangles, triangles);
        EXPECT_NEAR(cover.alignedArea, expected, 1e-4 * std::max(expected, 1.0));
        if (std::string(name).find("off its plane") == std::string::npos) {
            EXPECT_NEAR(cover.area, expected, 1e-4 * std::max(expected, 1.0));
        }
    }
    // A bow tie crosses itself: both loops are kept, through a point where
    // the edges cross, which takes its texture coordinate from theirs.
    const ObjImport bowTie =
        importText("v 0 0 0\nv 2 2 0\nv 2 0 0\nv 0 2 0\nvt 0 0\nvt 1 1\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3 4/4\n");
    const ovTriMesh& mesh = firstMesh(bowTie);
    EXPECT_NEAR(coverOf(mesh, {0, 0, 1}).area, 2, 1e-6);
    ASSERT_EQ(mesh.getVertexBuffer()->GetVertexQuantity(), 5);
    EXPECT_EQ(mesh.getVertexBuffer()->Position3(4), Wm4::Vector3f(1, 1, 0));
    EXPECT_FLOAT_EQ(mesh.getVertexBuffer()->TCoord(0, 4)[0], 0.5f);
}

TEST(ObjImportTest, GroupsMergeByNameAndSplitByMaterialWhateverTheLineEnds) {
    TempDir folder;
    writeFile(folder.path() / "colours.mtl",
              "newmtl a\nKd 1 0 0\nd 0.5\nnewmtl  Hard Shiny Plastic \nKd 0 0 1\n");
    const ObjImport imported = importObjText(
        "mtllib colours.mtl\r\nv 0 0 0\r\nv +1 0 0 # signed\r\nv 0 1 0\r\nv 1 1 -.5\r\nvn 0 0 1\r\n"
        "g   left side  \r\nusemtl c\nf 1//1 2//1 4//1 # c is not defined\r\n"
        "usemtl a\nf 2 4 3\ng right\nl 1 2 3\no left side\nusemtl  Hard Shiny Plastic\t\nf 1 4 3\n",
        "model.obj", folder.path());
    EXPECT_EQ(imported.warnings, std::vector<std::string>{
                                     "model.obj:8: material 'c' is not defined: its meshes get no material"});
    ASSERT_EQ(imported.root->getNbChildren(), 2);
    EXPECT_EQ(child(*imported.root, 1).GetName(), "right");
    const ovNode& left = child(*imported.root, 0);
    EXPECT_EQ(left.GetName(), "left side");
    ASSERT_EQ(left.getNbChildren(), 3);
    EXPECT_EQ(corners(child<ovTriMesh>(left, 0)),
              (std::vector<Wm4::Vector3f>{{0, 0, 0}, {1, 0, 0}, {1, 1, -0.5f}}));
    EXPECT_EQ(diffuse(child<ovTriMesh>(left, 0)), kNoMaterial);
    EXPECT_EQ(diffuse(child<ovTriMesh>(left, 1)), Wm4::ColorRGBA(1, 0, 0, 0.5f));
    EXPECT_EQ(diffuse(child<ovTriMesh>(left, 2)), Wm4::ColorRGBA(0, 0, 1, 1));
    EXPECT_EQ(corners(child<ovLine>(child(*imported.root, 1), 0)).size(), 4u);
}

TEST(ObjImportTest, LibrariesResolveFromOtherFoldersAndCarryTheirTextures) {
    TempDir folder;
    std::filesystem::create_directories(folder.path() / "models");
    std::filesystem::create_directories(folder.path() / "materials" / "maps");
    const ovPointer<ovImage> picture(new ovImage(ovImage::RGB8, 2, 1));
    std::fill(picture->editData(), picture->editData() + 6, uint8_t{200});
    ovImageIOManager().saveImage(picture.get(), (folder.path() / "materials" / "maps" / "wood.png").string(),
                                 nullptr, {});
    // A grey (90) JPEG of 3 x 2 pixels.
    std::filesystem::copy_file(testDataDir() / "obj" / "grain.jpg",
                               folder.path() / "materials" / "grain.jpg");
    writeFile(folder.path() / "materials" / "broken.jpg", "\xFF\xD8\xFF\xE0 not a picture");
    writeFile(folder.path() / "materials" / "wood.mtl",
              "newmtl wood\nKd 0.5\nmap_Kd -o 0.5 0.5 -bm 1 maps/wood.png\nbump maps\\wood.png\n"
              "map_Ks absent.png\nKs spectral x.rfl\nrefl -type sphere grain.jpg\nmap_Ke broken.jpg\n");
    const ObjImport imported =
        importObjText("mtllib ../materials/wood.mtl absent.mtl\n" + kTriangle + "usemtl wood\nf 1 2 3\n",
                      "model.obj", folder.path() / "models");
    const std::string library = (folder.path() / "models" / "../materials/wood.mtl").string();
    EXPECT_THAT(imported.warnings,
                testing::UnorderedElementsAre(
                    "model.obj:1: material library 'absent.mtl' not found: meshes get no material",
                    library + ":6: 'Ks' needs one grey value or three RGB numbers, not 'spectral': skipped",
                    library + ":3: 'map_Kd' -o (texture scale or offset) is not carried: the image is mapped "
                              "as it stands",
                    library + ":5: texture image 'absent.png' not found: left out",
                    testing::StartsWith(library + ":8: texture image 'broken.jpg' cannot be read (")));
    const ovTriMesh& mesh = firstMesh(imported);
    EXPECT_EQ(diffuse(mesh), Wm4::ColorRGBA(0.5f, 0.5f, 0.5f, 1));
    const ovTextureState* textures = const_cast<ovTriMesh&>(mesh).editTextureState(false);
    ASSERT_NE(textures, nullptr);
    ASSERT_EQ(textures->getNbTexture(), 3);
    EXPECT_EQ((std::vector{textures->editTexture(0)->getTexType(), textures->editTexture(1)->getTexType(),
                           textures->editTexture(2)->getTexType()}),
              (std::vector{ovTexture::Diffuse, ovTexture::Bump, ovTexture::Reflective}));
    const ovImage& grain = *textures->editTexture(2)->getImage();
    EXPECT_EQ(std::tuple(grain.getFormat(), grain.getWidth(), grain.getHeight()),
              std::tuple(ovImage::Luminance8, 3, 2));
    EXPECT_NEAR(grain.getData()[5], 90, 2);
    // One image, read once, for both maps.
    EXPECT_EQ(textures->editTexture(0)->getImage(), textures->editTexture(1)->getImage());
    EXPECT_EQ(textures->editTexture(0)->getImage()->getData()[5], 200);
}

std::string utf16(const std::string& ascii, bool littleEndian, bool mark) {
    std::string bytes = mark ? (littleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
    for (const char c : ascii) {
        bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return bytes;
}

// Every way of writing the same triangle reads the same, the fuzzer's form
// feeds before a statement included.
TEST(ObjImportTest, MarksUtf16AndOddWhiteSpaceReadAlike) {
    const std::string face = "f 1 2 3\n";
    const std::string longComment = "# " + std::string(5 << 20, 'x') + "\n";
    const std::string cases[] = {
        "\xEF\xBB\xBF" + kTriangle + face, utf16(kTriangle + face, true, true),
        utf16(kTriangle + face, false, true), utf16(kTriangle + face, true, false),
        "\f\fv 0 0 0\n\vv\f1 0 0\r\nv 0\t1 0\n\f f -3 -2 -1",
        // Numbers in forms beyond the plain ones: leading zeros past any long, a sign, an underflow.
        "v 1e-60 -0 0\nv +1 0 0\nv 0 1. 0\nf 000000000000000000000001 2 3\n",
        longComment + kTriangle + longComment + "f 1" + std::string(1 << 20, ' ') + "2 3\n"};
    TempDir folder;
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 30));
        writeFile(folder.path() / "model.obj", text);
        const ObjImport imported = importObj(folder.file("model.obj"));
        EXPECT_EQ(corners(firstMesh(imported)),
                  (std::vector<Wm4::Vector3f>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    }
}

TEST(ObjImportTest, BadDataIsRefusedWithTheLineAndTheReason) {
    const std::pair<std::string, std::string> cases[] = {
        // An index may name a vertex defined further down; the largest one is reported.
        {kTriangle + "f 1 2 4\nv 1 1 1\nf 1 2 5\n",
         ":6: vertex index 5 is out of range: 4 vertices defined in the file"},
        {kTriangle + "f -1 -2 -4\nv 1 1 1\n",
         ":4: vertex index -4 is out of range: 3 vertices defined before it"},
        {kTriangle + "vn 0 0 1\nf 1//1 2//2 3//1\n",
         ":5: normal index 2 is out of range: 1 normal defined in the file"},
        // The fuzzer's finding: form feeds before a vertex, then a polyline past the vertices.
        {"v 0 0 0\n\f\fv 1 0 0\nl 1 2 3\n",
         ":3: vertex index 3 is out of range: 2 vertices defined in the file"},
        {kTriangle + "f 0 1 2\n", ":4: vertex index 0 is not allowed: indices count from 1"},
        {kTriangle + "f 1// 2// 3//\n", ":4: '1//' lacks its normal index"},
        {kTriangle + "f 1/1/1/1 2 3\n", ":4: '1/1/1/1' has too many parts"},
        {kTriangle + "f 1 2 3a\n", ":4: '3a' is not a vertex index"},
        {kTriangle + "f 1 2\n", ":4: a face needs at least 3 vertices"},
        {kTriangle + "l 1\n", ":4: a line needs at least 2 vertices"},
        {"v 0 0 0\nv 1 0,5 0\n", ":2: '0,5' is not a finite decimal number"},
        {"v 0 0 1e39\n", ":1: '1e39' is not a finite decimal number"},
        {"v 0 0\n", ":1: 'v' needs at least 3 numbers"},
        {std::string("\x7F"
                     "ELF\x02\x01\x01\0\0",
                     9),
         ":1: '\\x7FELF\\x02\\x01\\x01\\x00\\x00' is not an OBJ statement"},
        {kTriangle + "g caf\x01\nf 1 2 3\n", ":4: the name 'caf\\x01' holds a control character"},
        {std::string("\xFF\xFE"
                     "v\0 ",
                     5),
         ": cannot read this UTF-16LE text: it ends in half a character"},
        {"# nothing\n\n",
         ": no faces or lines (f or l elements) to convert: the file holds nothing else either"}};
    for (const auto& [text, message] : cases) {
        EXPECT_THAT([&] { importText(text); }, ThrowsMessage<ReadError>("model.obj" + message)) << text;
    }
    // Statements without geometry for the driver are skipped, free-form ones with a word.
    const ObjImport skipped =
        importText(kTriangle + "s 1\nvp 0.5\ncstype bspline\ncurv 0 1 1 2\ncstype bezier\nf 1 2 3\n");
    EXPECT_EQ(skipped.warnings,
              (std::vector<std::string>{"model.obj:6: 'cstype' statements are not supported: skipped",
                                        "model.obj:7: 'curv' statements are not supported: skipped"}));
}

// What peers read, read with a warning: names in Latin-1 (matched with the
// library's), files of points alone, vertex colours (kept by the meshes whose
// corners all have one, blended where a polygon crosses itself).
TEST(ObjImportTest, LatinOneNamesPointsAndVertexColoursAreReadWithWarnings) {
    TempDir folder;
    writeFile(folder.path() / "m.mtl", "newmtl r\xF6t\nKd 1 0 0\n");
    const ObjImport latin = importText(
        "mtllib m.mtl\n" + kTriangle + "g caf\xE9\nusemtl r\xF6t\nf 1 2 3\nusemtl r\xF6t\n", folder.path());
    EXPECT_EQ(child(*latin.root, 0).GetName(), "caf\xC3\xA9");
    EXPECT_EQ(diffuse(firstMesh(latin)), Wm4::ColorRGBA(1, 0, 0, 1));
    ASSERT_EQ(latin.warnings.size(), 3u) << "one for each name";
    EXPECT_EQ(latin.warnings[0],
              "model.obj:5: the name 'caf\\xE9' is not UTF-8 text: read as Windows-1252, 'caf\xC3\xA9'");

    const ObjImport points = importText(kTriangle + "vn 0 0 1\np 1 2\n");
    EXPECT_EQ(points.root->getNbChildren(), 0);
    EXPECT_EQ(points.warnings, std::vector<std::string>{"model.obj: no faces or lines (f or l elements) to "
                                                        "convert: the file holds only 3 vertices, 1 normals, "
                                                        "2 points; the scene is empty"});

    const ObjImport coloured = importText(
        "v 0 0 0\nv 2 2 0 0 1 0\nv 2 0 0 1 0 0\nv 0 2 0 1 0 0\nv 0 0 0 0 1 0\nf 1 2 3\ng bow\nf 2 4 3 5\n");
    EXPECT_FALSE(firstMesh(coloured).getVertexBuffer()->GetAttributes().HasColor()) << "vertex 1 has none";
    const ovTriMesh& bow = child<ovTriMesh>(child(*coloured.root, 1), 0);
    ASSERT_TRUE(bow.getVertexBuffer()->GetAttributes().HasColor());
    EXPECT_EQ(bow.getVertexBuffer()->Color4(0), Wm4::ColorRGBA(0, 1, 0, 1));
    EXPECT_EQ(bow.getVertexBuffer()->Color4(4), Wm4::ColorRGBA(0.5f, 0.5f, 0, 1)) << "where the edges cross";
}

int triangleCount(const ovNode& root) {
    int triangles = 0;
    walkScene(root, nullptr, [&triangles](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovTriMesh::TYPE)) {
            triangles += static_cast<const ovTriMesh&>(step.object).GetTriangleQuantity();
        }
    });
    return triangles;
}

// A file cut anywhere is read as the statements it still holds: a statement
// the cut left unfinished is refused with its line like any bad data, or read
// as the shorter statement it became. Cut at a line's end after the first
// face, it always loads.
TEST(ObjImportTest, AFileCutAtAnyOffsetLoadsWhatItHoldsOrIsRefusedWithItsLine) {
    const std::filesystem::path folder = testDataDir() / "obj";
    const std::string whole = readFile(folder / "steps.obj");
    const size_t firstFaceEnd = whole.find('\n', whole.find("\nf ") + 1) + 1;
    const int wholeTriangles = triangleCount(*importObjText(whole, "steps.obj", folder).root);
    for (const size_t cut : sweepOffsets(whole.size())) {
        try {
            const ObjImport imported =
                importObjText(std::string_view(whole).substr(0, cut), "steps.obj", folder);
            EXPECT_LE(triangleCount(*imported.root), wholeTriangles) << cut;
        } catch (const ReadError& error) {
            EXPECT_TRUE(std::string_view(error.what()).starts_with("steps.obj:"))
                << cut << ": " << error.what();
            EXPECT_FALSE(cut >= firstFaceEnd && whole[cut - 1] == '\n') << cut << ": " << error.what();
        }
    }
}

// The lookup that makes each distinct corner one vertex ends and stays in
// proportion to the corners it holds, whatever they are: points the
// tessellator added (not in it), repeats, corners whose numbers cluster.
TEST(ObjImportTest, CornerLookupAnswersEachCornerOnceAndStaysInProportion) {
    // Numbered alike, the first corners fill a dense run that the others hash into.
    const auto intoRun = [](int k) { return k < 20000 ? ObjCorner{k, k, k} : ObjCorner{k % 20000, 0, 1}; };
    const auto farApart = [](int k) { return ObjCorner{k << 12, k << 16, k << 8}; };
    const struct {
        const char* name;
        int corners;
        ObjCorner (*cornerAt)(int);
        size_t distinct;
    } cases[] = {{"a dense run, then corners into it", 40000, intoRun, 40000},
                 {"corners numbered far apart", 20000, farApart, 20000}};
    for (const auto& [name, count, cornerAt, distinct] : cases) {
        SCOPED_TRACE(name);
        ObjPart part("");
        std::vector<int> first;
        for (int k = 0; k < count; ++k) {
            if (k == 4) {  // as the tessellator adds them
                for (int added = 0; added < 1000; ++added) {
                    part.addVertex({addedPointNumber(added), -1, -1});
                }
            }
            first.push_back(part.vertexOf(cornerAt(k)));
            ASSERT_EQ(part.vertices[static_cast<size_t>(first.back())], cornerAt(k));
        }
        EXPECT_EQ(part.vertices.size(), distinct + 1000);
        EXPECT_LE(part.lookupCapacity(), std::max<size_t>(16, 32 * distinct));
        // Asked again, each corner has the vertex it got first.
        for (int k = 0; k < count; ++k) {
            ASSERT_EQ(part.vertexOf(cornerAt(k)), first[static_cast<size_t>(k)]) << k;
        }
    }
    // A face that walks a bow tie 35 times, then another face: 2 triangles each.
    std::string text = "v 0 0 0\nv 0 1 0\nv 1 0 0\nv 1 1 0\nv 0 0 1\nv 0 1 1\nv 1 0 1\nv 1 1 1\nf";
    for (int walk = 0; walk < 35; ++walk) {
        text += " 1 2 3 4";
    }
    EXPECT_EQ(triangleCount(*importText(text + "\nf 2 6 5 1\n").root), 4);
}

// Parts start small: a group of one triangle holds little more than it.
TEST(ObjImportTest, EachGroupCostsLittleBeyondItsData) {
    std::string text = kTriangle;
    for (int group = 0; group < 1000; ++group) {
        text += "g part" + std::to_string(group) + "\nf 1 2 3\n";
    }
    ObjReader reader("groups.obj");
    reader.read(text);
    const ObjModel model = reader.finish();
    for (const ObjGroup& group : model.groups) {
        const ObjPart& part = group.meshes.at(0);
        EXPECT_LE(part.vertices.capacity() * sizeof(ObjCorner) + part.indices.capacity() * sizeof(int), 256u);
    }
}

// Faces that would cost the tessellator far beyond their size are refused;
// convex ones load at any size.
TEST(ObjImportTest, FacesTooCostlyToTessellateAreRefusedConvexOnesOfAnySizeLoad) {
    EXPECT_EQ(triangleCount(*importText(polygonObj(ring(5000, 1, 0.0f))).root), 4998);
    EXPECT_EQ(triangleCount(*importText(polygonObj(ring(4000, 1, 0.5f))).root), 3998);
    EXPECT_THAT([] { importText(polygonObj(ring(5000, 1, 0.5f))); },
                ThrowsMessage<ReadError>(
                    "model.obj:5001: a face of 5000 corners that is not convex: such a face may have at most "
                    "4096 corners"));
    EXPECT_THAT(
        [] { importText(polygonObj(ring(801, 400, 0.0f))); },
        ThrowsMessage<ReadError>("model.obj:802: a face of 801 corners whose edges cross more than 4096 "
                                 "times"));
}

// The driver takes its settings from each load, reads a device in pieces as
// it reads a file, and hands a refusal on as its message, appending nothing.
TEST(ObjMeshDriverTest, EachLoadReadsWithItsOwnSettingsFromAFileOrADevice) {
    TempDir folder;
    std::filesystem::create_directories(folder.path() / "in");
    std::filesystem::copy_file(testDataDir() / "obj" / "grain.jpg", folder.path() / "in" / "grain.jpg");
    writeFile(folder.path() / "in" / "m.mtl", "newmtl m\nmap_Kd grain.jpg\n");
    writeFile(folder.path() / "outside.mtl", "newmtl m\n");
    const std::string model = "mtllib m.mtl\n" + kTriangle + "usemtl m\nf 1 2 3\n";
    writeFile(folder.path() / "in" / "model.obj", model);
    writeFile(folder.path() / "in" / "escape.obj", "mtllib ../outside.mtl\n" + kTriangle + "f 1 2 3\n");
    ObjMeshDriver driver;
    const auto textured = [&](const std::string& file, const LoadMeshOptions& options) {
        ovObjectList objects;
        EXPECT_TRUE(driver.loadMeshes(objects, folder.file("in/" + file), nullptr, options));
        const auto& root = dynamic_cast<const ovNode&>(*objects.at(0));
        EXPECT_EQ(root.GetName(), "model");
        return const_cast<ovTriMesh&>(child<ovTriMesh>(child(root, 0), 0)).editTextureState(false) != nullptr;
    };
    LoadMeshOptions withoutTextures;
    ObjLoadSettings settings;
    settings.textures = false;
    withoutTextures.drivers.set(settings);
    EXPECT_TRUE(textured("model.obj", {}));
    EXPECT_FALSE(textured("model.obj", withoutTextures));
    // Budgets and confinement are the load's too, not the driver's.
    settings.textures = true;
    settings.texturePixels = 5;
    LoadMeshOptions smallBudget;
    smallBudget.drivers.set(settings);
    EXPECT_FALSE(textured("model.obj", smallBudget));
    EXPECT_THAT(driver.getErrorMessages().back().first, testing::HasSubstr("more than 5 pixels"));
    EXPECT_TRUE(textured("model.obj", {}));

    ovIoDeviceMemory device(model);
    ovObjectList objects;
    ASSERT_TRUE(driver.loadMeshes(objects, device, folder.file("in/model.obj"), nullptr, {}));
    EXPECT_EQ(triangleCount(dynamic_cast<const ovNode&>(*objects.at(0))), 1);

    settings.confine = true;
    LoadMeshOptions confined;
    confined.drivers.set(settings);
    driver.clearErrorMessages();
    objects.clear();
    EXPECT_FALSE(driver.loadMeshes(objects, folder.file("in/escape.obj"), nullptr, confined));
    EXPECT_TRUE(objects.empty());
    ASSERT_EQ(driver.getErrorMessages().size(), 1u);
    EXPECT_THAT(driver.getErrorMessages()[0].first, testing::AllOf(testing::StartsWith("E: cannot read '"),
                                                                   testing::HasSubstr("outside its folder")));
}

}  // namespace
}  // namespace ov::test
