#include "ovmesh/commands/DemoScene.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovMetadata.h"

namespace ov::ovmesh {

namespace {

struct Size {
    float x;
    float y;
    float z;
};

// Corner k of the box is at x = bit 0, y = bit 1, z = bit 2 of k; each face is
// two triangles wound counter-clockwise seen from outside.
constexpr int kBoxTriangles[] = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                                 2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};

// A box standing on z = 0, centred on the z axis. With textures, each corner
// gets the texture coordinates (x bit, y bit).
ovPointer<ovTriMesh> makeBox(const std::string& name, Size size, ovMaterialState* material,
                             ovTextureState* textures = nullptr) {
    ovAttributes attributes;
    if (textures) {
        attributes.SetTCoordChannels(0, 2);
    }
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(attributes, 8));
    for (int k = 0; k < 8; ++k) {
        vertices->Position3(k) = {(k & 1) ? size.x / 2 : -size.x / 2, (k & 2) ? size.y / 2 : -size.y / 2,
                                  (k & 4) ? size.z : 0.0f};
        if (textures) {
            vertices->TCoord(0, k)[0] = (k & 1) ? 1.0f : 0.0f;
            vertices->TCoord(0, k)[1] = (k & 2) ? 1.0f : 0.0f;
        }
    }
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(static_cast<int>(std::size(kBoxTriangles))));
    std::copy(std::begin(kBoxTriangles), std::end(kBoxTriangles), indices->getData());
    ovPointer<ovTriMesh> mesh(new ovTriMesh(vertices.get(), indices.get()));
    mesh->SetName(name);
    mesh->setMaterialState(material);
    mesh->setTextureState(textures);
    return mesh;
}

// A generated oak grain: rings about a centre off the picture, as the diffuse
// texture of the table top.
ovPointer<ovTextureState> makeWoodGrain() {
    constexpr int kSize = 64;
    ovPointer<ovImage> image(new ovImage(ovImage::RGB8, kSize, kSize));
    uint8_t* pixel = image->editData();
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const float ring =
                std::sin(0.6f * std::hypot(static_cast<float>(x) + 40.0f, 0.3f * static_cast<float>(y)));
            const float shade = 0.85f + 0.15f * ring;
            for (const float channel : {184.0f, 133.0f, 77.0f}) {
                *pixel++ = static_cast<uint8_t>(channel * shade);
            }
        }
    }
    ovPointer<ovTexture> texture(new ovTexture(image.get()));
    texture->SetName("oak_grain");
    ovPointer<ovTextureState> textures(new ovTextureState);
    textures->addTexture(texture.get());
    return textures;
}

// Another placement of the same part: a mesh of its own on the same buffers.
ovPointer<ovTriMesh> shareBox(const ovTriMesh& box) {
    ovPointer<ovTriMesh> mesh(new ovTriMesh(box.getVertexBuffer(), box.getIndexBuffer()));
    mesh->SetName(box.GetName());
    mesh->setMaterialState(box.getMaterialState());
    return mesh;
}

ovPointer<ovMaterialState> makeMaterial(const std::string& name, float r, float g, float b) {
    ovPointer<ovMaterialState> material(new ovMaterialState);
    material->SetName(name);
    material->diffuse = {r, g, b, 1.0f};
    material->ambient = {r * 0.25f, g * 0.25f, b * 0.25f, 1.0f};
    return material;
}

// A turn about the z axis, for column vectors (R * p). Sines and cosines are
// rounded to 6 decimals so that quarter turns come out exact.
Wm4::Matrix3f turnAboutZ(double degrees) {
    const auto radians = degrees * std::numbers::pi / 180.0;
    const auto c = static_cast<float>(std::round(std::cos(radians) * 1e6) / 1e6);
    const auto s = static_cast<float>(std::round(std::sin(radians) * 1e6) / 1e6);
    return {c, -s, 0, s, c, 0, 0, 0, 1};
}

ovPointer<ovNode> makeNode(const std::string& name, Wm4::Vector3f translation = {},
                           double turnDegrees = 0.0) {
    ovPointer<ovNode> node(new ovNode);
    node->SetName(name);
    ovTransformation& placement = node->editLocalTransform(true);
    placement.SetRotate(turnAboutZ(turnDegrees));
    placement.SetTranslate(translation);
    return node;
}

ovPointer<ovNode> withChild(ovPointer<ovNode> node, ovSpatial* child) {
    node->attachChild(child);
    return node;
}

// Polyline through the points, closed back to the first when asked.
ovPointer<ovLine> makePolyline(const std::string& name, const std::vector<Wm4::Vector3f>& points, bool closed,
                               const Wm4::ColorRGBA& color, float width) {
    const auto count = static_cast<int>(points.size());
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), count));
    for (int k = 0; k < count; ++k) {
        vertices->Position3(k) = points[static_cast<size_t>(k)];
    }
    const int segments = closed ? count : count - 1;
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(2 * segments));
    for (int s = 0; s < segments; ++s) {
        indices->getData()[2 * s] = s;
        indices->getData()[2 * s + 1] = (s + 1) % count;
    }
    ovPointer<ovLine> line(new ovLine(vertices.get(), indices.get()));
    line->SetName(name);
    line->setColor(color);
    line->setWidth(width);
    return line;
}

// What every instance of one part shares, as typed values.
ovPointer<ovInstanceDefId> makePart(const std::string& partNumber, const std::string& material, double massKg,
                                    int stock, bool purchased) {
    ovPointer<ovInstanceDefId> part(new ovInstanceDefId);
    part->SetName(partNumber);
    part->nodeType = ovInstanceDefId::Solid;
    part->editComponentMd().insert("part_number", partNumber);
    part->editComponentMd().insert("material", material);
    part->editComponentMd().insert("mass_kg", massKg);
    part->editComponentMd().insert("stock", stock);
    part->editComponentMd().insert("purchased", purchased);
    part->editComponentMd().insert("released", ovDateTime{1767225600000});  // 2026-01-01T00:00:00Z
    return part;
}

// Marks node as an instance of part, at position; answers node.
ovNode* placedPart(ovNode* node, ovInstanceDefId* part) {
    auto* instance = new ovInstanceMetaData(part);
    instance->editMd().insert("position", node->GetName());
    node->setMetadata(instance);
    return node;
}

ovPointer<ovNode> makeLegs(ovMaterialState* steel) {
    const ovPointer<ovInstanceDefId> leg = makePart("TL-050-720", "steel S235", 2.35, 48, true);
    const ovPointer<ovTriMesh> box = makeBox("leg", {50, 50, 720}, steel);
    const struct {
        const char* name;
        Wm4::Vector3f position;
        double turn;
    } placements[] = {{"leg_1", {-560, -310, 0}, 0},
                      {"leg_2", {560, -310, 0}, 90},
                      {"leg_3", {560, 310, 0}, 180},
                      {"leg_4", {-560, 310, 0}, 270}};
    ovPointer<ovNode> legs = makeNode("legs");
    for (const auto& placement : placements) {
        ovPointer<ovNode> node = withChild(makeNode(placement.name, placement.position, placement.turn),
                                           placement.turn == 0 ? box.get() : shareBox(*box).get());
        legs->attachChild(placedPart(node.get(), leg.get()));
    }
    return legs;
}

ovPointer<ovNode> makeFrame(ovMaterialState* paint) {
    const ovPointer<ovTriMesh> longRail = makeBox("rail_long", {1070, 30, 60}, paint);
    const ovPointer<ovTriMesh> shortRail = makeBox("rail_short", {570, 30, 60}, paint);
    const ovPointer<ovInstanceDefId> longPart = makePart("TR-030-1070", "blue painted steel", 3.1, 20, false);
    const ovPointer<ovInstanceDefId> shortPart =
        makePart("TR-030-570", "blue painted steel", 1.65, 20, false);
    ovPointer<ovNode> frame = makeNode("frame", {0, 0, 650});
    const auto addRail = [&frame](ovPointer<ovNode> rail, ovTriMesh* box, ovInstanceDefId* part) {
        frame->attachChild(placedPart(withChild(std::move(rail), box).get(), part));
    };
    addRail(makeNode("rail_front", {0, -310, 0}), longRail.get(), longPart.get());
    addRail(makeNode("rail_back", {0, 310, 0}), shareBox(*longRail).get(), longPart.get());
    addRail(makeNode("rail_left", {-560, 0, 0}, 90), shortRail.get(), shortPart.get());
    addRail(makeNode("rail_right", {560, 0, 0}, 90), shareBox(*shortRail).get(), shortPart.get());
    return frame;
}

ovPointer<ovNode> makeLayout() {
    ovPointer<ovNode> layout = makeNode("layout");
    layout->attachChild(makePolyline("floor_outline",
                                     {{-700, -450, 0}, {700, -450, 0}, {700, 450, 0}, {-700, 450, 0}}, true,
                                     {0.8f, 0.1f, 0.1f, 1.0f}, 1.0f)
                            .get());
    layout->attachChild(
        makePolyline("centre_mark_x", {{-100, 0, 0}, {100, 0, 0}}, false, {0.1f, 0.5f, 0.2f, 1.0f}, 0.5f)
            .get());
    layout->attachChild(
        makePolyline("centre_mark_y", {{0, -100, 0}, {0, 100, 0}}, false, {0.1f, 0.5f, 0.2f, 1.0f}, 0.5f)
            .get());
    return layout;
}

}  // namespace

ovPointer<ovNode> buildDemoAssembly() {
    const ovPointer<ovMaterialState> wood = makeMaterial("oak", 0.72f, 0.52f, 0.30f);
    const ovPointer<ovMaterialState> steel = makeMaterial("steel", 0.55f, 0.57f, 0.60f);
    const ovPointer<ovMaterialState> paint = makeMaterial("blue_paint", 0.16f, 0.33f, 0.65f);
    const ovPointer<ovInstanceDefId> top = makePart("TT-1200-700", "oak", 14.2, 6, false);

    ovPointer<ovNode> assembly = makeNode("assembly");
    assembly->setMetadata(new ovWorldUnitsMetaData(0.001));
    assembly->attachChild(
        placedPart(withChild(makeNode("table_top", {0, 0, 720}),
                             makeBox("table_top", {1200, 700, 30}, wood.get(), makeWoodGrain().get()).get())
                       .get(),
                   top.get()));
    assembly->attachChild(makeFrame(paint.get()).get());
    assembly->attachChild(makeLegs(steel.get()).get());
    return assembly;
}

ovPointer<ovNode> buildDemoScene() {
    ovPointer<ovNode> scene = buildDemoAssembly();
    scene->attachChild(makeLayout().get());
    return scene;
}

}  // namespace ov::ovmesh
