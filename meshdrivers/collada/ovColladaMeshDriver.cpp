#include "collada/ovColladaMeshDriver.h"

#include <filesystem>
#include <fstream>

#include "collada/ColladaImageFiles.h"
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

// The triangle meshes of the subtree, depth first, each object before its children.
std::vector<ovTriMesh*> collectMeshes(ovSpatial& root) {
    std::vector<ovTriMesh*> meshes;
    walkScene(root, nullptr, [&meshes](const WalkStep<ovSpatial>& step) {
        if (step.object.IsDerived(ovTriMesh::TYPE)) {
            meshes.push_back(static_cast<ovTriMesh*>(&step.object));
        }
    });
    return meshes;
}

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

void logReplacedCharacters(size_t count) {
    if (count > 0) {
        ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true)
            << "ovColladaMeshDriver, " << count
            << " characters of names that XML 1.0 cannot hold (control characters, bytes that are not "
               "UTF-8) were written as U+FFFD";
    }
}

// Clears the driver's writer pointer however the save ends.
struct WriterReset {
    XmlStreamWriter*& writer;
    ~WriterReset() { writer = nullptr; }
};

}  // namespace

ovColladaMeshDriver::ovColladaMeshDriver() : ovCoreMeshDriver(false) {
    addSaveExtension("dae");
}

ovColladaMeshDriver::~ovColladaMeshDriver() = default;

void ovColladaMeshDriver::buildCorrectId(std::string& id) {
    ovStringUtils::ReplaceAllOccurrences(id, "#", "_");
    ovStringUtils::ReplaceAllOccurrences(id, " ", "_");
    ovStringUtils::ReplaceAllOccurrences(id, ":", "_");
}

bool ovColladaMeshDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                                     ovProgressNotifierInterface* progress, const SaveMeshOptions&) {
    mWrittenImageFiles.clear();
    ovSpatial* root = singleSpatialRoot(objects);
    if (!root) {
        return false;
    }
    const std::filesystem::path filePath = collada::pathOfUtf8(path);
    std::ofstream file(filePath, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        return false;
    }
    objectIds.clear();
    geometryIds.clear();
    materialIds.clear();
    // The folder as the file system sees the path: a backslash separates
    // only where the system says so.
    collada::ImageFiles images(filePath.parent_path(), mImageFilePrefix);

    XmlStreamWriter writer(file);
    mWriter = &writer;
    const WriterReset resetWriter{mWriter};
    const MeshList meshes = collectMeshes(*root);
    ovProgressNotifierGroupCloser closer;
    if (progress) {
        const float n = static_cast<float>(meshes.size());
        progress->beginStepGroup(1, static_cast<double>(2.0f * n + n * 0.5f + 1.0f), closer);
    }
    const double worldUnits = worldUnitsOf(*root);

    writer.writeRaw(kXmlDeclaration);
    writer.writeRaw("\n");
    writer.startElement("COLLADA");
    writer.addAttribute("xmlns", kColladaNamespace);
    writer.addAttribute("version", "1.4.1");
    std::string sceneId;
    const bool written = writeHeader(worldUnits) && !collada::advanceAndCheckCancel(progress, 1.0) &&
                         writeMaterials(meshes, images, progress) && writeGeometries(meshes, progress) &&
                         writeScene(root, sceneId, progress);
    if (written) {
        writer.startElement("scene");
        writer.startElement("instance_visual_scene");
        writer.addAttribute("url", collada::referenceTo(sceneId));
        writer.endElement();
        writer.endElement();
        writer.endElement();
        while (writer.hasOpenElements()) {
            writer.endElement();
        }
        writer.flush();
    }
    const bool saved = written && writer.isOk();
    writer.closeFile();
    logReplacedCharacters(writer.replacedCharacters());
    if (!saved || file.fail() || !images.commit()) {
        ovDirUtils::RemoveFileUtf8(path, nullptr);
        return false;
    }
    mWrittenImageFiles = images.committedPaths();
    return true;
}

bool ovColladaMeshDriver::writeHeader(double worldUnits) {
    const std::string time = ovSystemUtils::GetCurrentTimeAsString("%Y-%m-%dT%H:%M:%S", false);
    mWriter->startElement("asset");
    mWriter->startElement("contributor");
    writeTextElement("author", "Ombrevian");
    writeTextElement("authoring_tool", "Ombrevian Collada Exporter");
    mWriter->endElement();
    writeTextElement("created", time);
    writeTextElement("modified", time);
    const UnitText unit = unitTextOf(worldUnits);
    mWriter->startElement("unit");
    mWriter->addAttribute("name", unit.name);
    mWriter->addAttribute("meter", unit.meter);
    mWriter->endElement();
    writeTextElement("up_axis", "Z_UP");
    mWriter->endElement();
    return mWriter->isOk();
}

void ovColladaMeshDriver::openWithId(const char* element, const std::string& id) {
    mWriter->startElement(element);
    mWriter->addAttribute("id", id);
}

void ovColladaMeshDriver::writeTextElement(const char* element, const std::string& text) {
    mWriter->startElement(element);
    mWriter->addText(text);
    mWriter->endElement();
}

}  // namespace ov
