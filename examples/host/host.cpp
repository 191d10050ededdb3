// Loads a PLM XML product structure, an OBJ model and a PLY model (the last through the assimp
// component) into one scene and saves it as STEP, glTF and SVG, through the driver library alone,
// as a host application does:
//
//     host RESOURCE_FOLDER INPUT_FOLDER OUTPUT_STEM
//
// reads INPUT_FOLDER/assembly.plmxml, part.obj and part.ply, and writes OUTPUT_STEM.stp,
// OUTPUT_STEM.glb and OUTPUT_STEM.svg. Each load and save carries the host's own settings in the
// call's options. The library's warnings and errors go to
// stderr.
#include <iostream>
#include <string>
#include <utility>

#include "assimp/AssimpMeshDriver.h"
#include "core/ovMeshDrivers.h"
#include "core/ovVectorialMetadata.h"
#include "gltf/GltfMeshDriver.h"
#include "obj/ObjMeshDriver.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "scenegraph/ovIoManager.h"
#include "step/StepSaveSettings.h"
#include "system/ovLog.h"

namespace {

// Prints every warning and error line of the library's log.
class StderrLog {
public:
    StderrLog() {
        ov::ovLog::msInstance = &mLog;
        mSink = mLog.addSink([](const ov::ovLogLine& line) {
            if (line.type >= ov::ovLogWarning) {
                std::cerr << (line.type == ov::ovLogWarning ? "warning: " : "error: ") << line.text << '\n';
            }
        });
    }
    ~StderrLog() {
        mLog.removeSink(mSink);
        ov::ovLog::msInstance = nullptr;
    }
    StderrLog(const StderrLog&) = delete;
    StderrLog& operator=(const StderrLog&) = delete;

private:
    ov::ovLog mLog;
    int mSink = 0;
};

// The load settings of this host: PLM XML documents read whichever way they
// were exported, models read without their texture images and confined to
// their folder.
ov::LoadMeshOptions loadOptions() {
    ov::LoadMeshOptions options;
    ov::PlmXmlLoadSettings plmXml;
    plmXml.reading = ov::PlmXmlReading::Auto;
    options.drivers.set(plmXml);
    ov::ObjLoadSettings obj;
    obj.textures = false;
    obj.confine = true;
    options.drivers.set(obj);
    ov::AssimpLoadSettings assimp;
    assimp.textures = false;
    assimp.confine = true;
    options.drivers.set(assimp);
    return options;
}

// Loads each input into scene, as a child of its root; false, saying which,
// when one does not load.
bool loadInto(ov::ovNode& scene, const std::string& folder) {
    const ov::LoadMeshOptions options = loadOptions();
    for (const char* name : {"assembly.plmxml", "part.obj", "part.ply"}) {
        ov::ovObjectList loaded;
        if (!ov::ovIoManager::msInstance.loadMeshes(loaded, folder + "/" + name, nullptr, options)) {
            std::cerr << "cannot load " << name << '\n';
            return false;
        }
        for (const ov::ovPointer<ov::ovObject>& object : loaded) {
            scene.attachChild(dynamic_cast<ov::ovSpatial*>(object.get()));
        }
    }
    return true;
}

bool report(bool saved, const std::string& path) {
    if (!saved) {
        std::cerr << "cannot save " << path << '\n';
    }
    return saved;
}

// The scene seen from above on an A4 page of the host's own, at full size:
// the models are in metres, the page in millimetres. The drawing shows the
// scene's polylines.
ov::ovPointer<ov::ovNode> drawingOf(ov::ovNode& scene) {
    const ov::ovPointer<ov::ovNode> drawing(new ov::ovNode);
    const ov::ovPointer<ov::ovVectorialMetadata> page(new ov::ovVectorialMetadata);
    page->title = "Example";
    for (const int diagonal : {0, 5, 10, 15}) {
        page->projection[diagonal] = 1.0f;
    }
    page->pageMatrix[0] = 1000.0f;
    page->pageMatrix[3] = -1000.0f;
    page->pageOffset[0] = 100.0f;
    page->pageOffset[1] = 150.0f;
    drawing->setMetadata(page.get());
    drawing->attachChild(&scene);
    return drawing;
}

// Each save carries the settings the host wants for it; the registered drivers keep none.
bool save(ov::ovNode& scene, const std::string& stem) {
    ov::SaveMeshOptions options;
    options.author = "example host";
    options.drivers.set(
        ov::step::StepSaveSettings(ov::step::StepProfile::Interop, ov::step::StepGeometry::Faceted));
    ov::GltfSaveSettings gltf;
    gltf.upAxis = ov::GltfSaveSettings::UpAxis::Y;
    options.drivers.set(gltf);
    const ov::ovObjectList objects{ov::ovPointer<ov::ovObject>(&scene)};
    const ov::ovObjectList drawing{ov::ovPointer<ov::ovObject>(drawingOf(scene).get())};
    bool saved = true;
    for (const auto& [what, path] : {std::pair{&objects, stem + ".stp"}, std::pair{&objects, stem + ".glb"},
                                     std::pair{&drawing, stem + ".svg"}}) {
        saved = report(ov::ovIoManager::msInstance.saveMeshes(*what, path, nullptr, options), path) && saved;
    }
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: host RESOURCE_FOLDER INPUT_FOLDER OUTPUT_STEM\n";
        return 2;
    }
    StderrLog log;
    ov::initializeOvMeshDrivers(std::string(argv[1]));
    const ov::ovPointer<ov::ovNode> scene(new ov::ovNode);
    scene->SetName("example");
    const bool converted = loadInto(*scene, argv[2]) && save(*scene, argv[3]);
    ov::terminateOvMeshDrivers();
    return converted ? 0 : 1;
}
