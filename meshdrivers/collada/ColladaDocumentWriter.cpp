// The document's skeleton: declaration, root element, asset block and the
// instance of the visual scene.

#include "collada/ColladaDocumentWriter.h"

#include "collada/ColladaSupport.h"
#include "collada/XmlStreamWriter.h"
#include "core/SceneWalk.h"
#include "scenegraph/ovMetadata.h"
#include "system/ovStringUtils.h"
#include "system/ovSystemUtils.h"

namespace ov {
namespace {

constexpr char kColladaNamespace[] = "http://www.collada.org/2005/11/COLLADASchema";
constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Metres per scene unit, 0 when the root does not say.
double worldUnitsOf(const ovSpatial& root) {
    const auto* worldUnits = root.findMetadata<ovWorldUnitsMetaData>();
    return worldUnits ? worldUnits->getValue() : 0.0;
}

struct UnitText {
    std::string name;
    std::string meter;
};

// Exact comparisons: only the plain metre and the decimetre have names.
UnitText unitTextOf(double worldUnits) {
    if (worldUnits == 0.0 || worldUnits == 1.0) {
        return {"meters", "1.0"};
    }
    if (worldUnits == 0.1) {
        return {"decimeter", "0.1"};
    }
    return {"custom", ovStringUtils::fromFloat(worldUnits, 6, ovStringUtils::Fixed)};
}

}  // namespace

bool collada::DocumentWriter::isWrittenGeometry(const ovSpatial& spatial) const {
    return spatial.IsDerived(ovTriMesh::TYPE) || (mOptions.polylines && spatial.IsDerived(ovLine::TYPE));
}

bool collada::DocumentWriter::writeDocument(ovSpatial& root, ovProgressNotifierInterface* progress) {
    // The geometries of the subtree, depth first, each object before its children.
    MeshList meshes;
    walkScene(root, nullptr, [this, &meshes](const WalkStep<ovSpatial>& step) {
        if (isWrittenGeometry(step.object)) {
            meshes.push_back(static_cast<ovBaseGeometry*>(&step.object));
        }
    });
    ovProgressNotifierGroupCloser closer;
    if (progress) {
        const float n = static_cast<float>(meshes.size());
        progress->beginStepGroup(1, static_cast<double>(2.0f * n + n * 0.5f + 1.0f), closer);
    }
    mWriter.writeRaw(kXmlDeclaration);
    mWriter.writeRaw("\n");
    mWriter.startElement("COLLADA");
    mWriter.addAttribute("xmlns", kColladaNamespace);
    mWriter.addAttribute("version", "1.4.1");
    std::string sceneId;
    const bool written = writeHeader(worldUnitsOf(root)) && !advanceAndCheckCancel(progress, 1.0) &&
                         writeMaterials(meshes, progress) && writeGeometries(meshes, progress) &&
                         writeScene(&root, sceneId, progress);
    if (!written) {
        return false;
    }
    mWriter.startElement("scene");
    mWriter.startElement("instance_visual_scene");
    mWriter.addAttribute("url", referenceTo(sceneId));
    mWriter.endElement();
    mWriter.endElement();
    while (mWriter.hasOpenElements()) {
        mWriter.endElement();
    }
    mWriter.flush();
    return true;
}

bool collada::DocumentWriter::writeHeader(double worldUnits) {
    const std::string time = ovSystemUtils::GetCurrentTimeAsString("%Y-%m-%dT%H:%M:%S", false);
    mWriter.startElement("asset");
    mWriter.startElement("contributor");
    writeTextElement("author", "Ombrevian");
    writeTextElement("authoring_tool", "Ombrevian Collada Exporter");
    mWriter.endElement();
    writeTextElement("created", time);
    writeTextElement("modified", time);
    const UnitText unit = unitTextOf(worldUnits);
    mWriter.startElement("unit");
    mWriter.addAttribute("name", unit.name);
    mWriter.addAttribute("meter", unit.meter);
    mWriter.endElement();
    writeTextElement("up_axis", mOptions.upAxis == ColladaSaveSettings::UpAxis::Y ? "Y_UP" : "Z_UP");
    mWriter.endElement();
    return mWriter.isOk();
}

void collada::DocumentWriter::openWithId(const char* element, const std::string& id) {
    mWriter.startElement(element);
    mWriter.addAttribute("id", id);
}

void collada::DocumentWriter::writeTextElement(const char* element, const std::string& text) {
    mWriter.startElement(element);
    mWriter.addText(text);
    mWriter.endElement();
}

}  // namespace ov
