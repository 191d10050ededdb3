#include "ovmesh/commands/Commands.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <vector>

#include "core/ovMeshDrivers.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/DemoScene.h"
#include "ovmesh/commands/FormatTable.h"
#include "ovmesh/commands/InputLoading.h"
#include "ovmesh/commands/OutputOptions.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/commands/StandardStreams.h"
#include "ovmesh/output/ExternalParts.h"
#include "ovmesh/output/SafeOutputFile.h"
#include "ovmesh/output/SceneCounts.h"
#include "ovmesh/output/SceneVariants.h"
#include "ovmesh/output/WorldUnits.h"
#include "ovmesh/output/XmlText.h"
#include "scenegraph/ovIoManager.h"

namespace ov::ovmesh {

namespace {

std::string writtenReport(const std::vector<WrittenFile>& files) {
    std::string report;
    for (const auto& [path, size] : files) {
        if (!report.empty()) {
            report += '\n';
        }
        report += "wrote " + path + " (" + std::to_string(size) + " bytes)";
    }
    return report;
}

std::vector<WrittenFile> saveWithProgress(Session& session, ovSpatial& root, const std::string& path,
                                          const SaveMeshOptions& options, TargetLinks links) {
    const std::string label = "writing " + utf8Path(fsPath(path).filename());
    return session.withProgress(label, [&](ovProgressNotifierInterface* progress) {
        return saveScene(root, path, progress, options, links);
    });
}

ovPointer<ovSpatial> drawingOf(const ovSpatial& scene, SceneContent content, const DrawingOptions& options,
                               double creaseDegrees = kDefaultCreaseDegrees) {
    const ovPointer<ovNode> drawing = copyScene(scene, content, creaseDegrees);
    const VisibleSegments visible = dropHiddenAndRepeatedSegments(*drawing, viewProjection(options.view));
    drawing->setMetadata(makePageDescription(visible.bounds, options).get());
    return drawing;
}

// The scene as a file of that extension can hold it: drawings get a page.
// Only formats that hold geometry come here (part files, the demo's
// non-assembly files); assembly outputs are made by assemblyOf.
ovPointer<ovSpatial> sceneForFormat(ovSpatial& scene, const std::string& extension,
                                    const DrawingOptions& drawing) {
    if (formatKindOf(extension) == FormatKind::Drawing) {
        return drawingOf(scene, SceneContent::LinesAndMeshEdges, drawing);
    }
    return &scene;
}

// Saves each part file of an assembly output, and says so.
PartSaver partSaver(Session& session, const std::string& format, const DrawingOptions& drawing) {
    return [&session, format, drawing](ovSpatial& part, const std::string& path) {
        const ovPointer<ovSpatial> root = sceneForFormat(part, format, drawing);
        const std::vector<WrittenFile> written =
            saveWithProgress(session, *root, path, SaveMeshOptions(), TargetLinks::Replace);
        session.report(writtenReport(written));
        std::vector<std::string> paths;
        for (const WrittenFile& file : written) {
            paths.push_back(file.path);
        }
        return paths;
    };
}

// The interop profile places STL parts where their files' origin lies; the
// exact profile keeps its references at the parts' own origins, as it always has.
PartFileOrigin partFileOrigin(const std::string& format, step::StepProfile profile) {
    if (format == "stl" && profile == step::StepProfile::Interop) {
        return minimumMeshCorner;
    }
    return nullptr;
}

// An assembly holds its meshes itself when a geometry form is asked for;
// otherwise an input with meshes or polylines needs files for its parts,
// which --external-parts names the format of.
ovPointer<ovSpatial> assemblyOf(Session& session, ovSpatial& scene, const ConvertOptions& options,
                                PartFiles& parts) {
    if (options.externalParts.empty() && stepHoldsGeometry()) {
        return &scene;
    }
    if (options.externalParts.empty()) {
        if (const ovSpatial* holder = firstGeometryHolder(scene)) {
            throw ToolError(
                "cannot write '" + options.output + "': '" + holder->GetName() +
                "' holds meshes or polylines, and ." + extensionOf(options.output) +
                " files of this profile and geometry form hold the assembly structure only; "
                "--external-parts FORMAT (e.g. stl) writes each part's geometry to a file of its own "
                "beside it, --step-profile interop with --step-geometry faceted or tessellated "
                "keeps it in the file");
        }
        return &scene;
    }
    return moveGeometryToPartFiles(scene, besideWrittenFile(options.output, options.outputLinks),
                                   options.externalParts,
                                   partSaver(session, options.externalParts, options.drawing), parts,
                                   partFileOrigin(options.externalParts, options.stepProfile));
}

// The part format must be one a driver saves and able to hold geometry, and
// only assembly outputs have parts.
void requirePartFormat(const ConvertOptions& options) {
    if (options.externalParts.empty()) {
        return;
    }
    if (formatKindOf(extensionOf(options.output)) != FormatKind::Structure) {
        throw ToolError("--external-parts applies to assembly outputs (.stp, .step), not to '" +
                        options.output + "'");
    }
    requireSaveDriver("part." + options.externalParts);
    if (formatKindOf(options.externalParts) == FormatKind::Structure && !stepHoldsGeometry()) {
        throw ToolError("--external-parts " + options.externalParts +
                        ": parts need a format that holds geometry; STEP parts hold it with --step-profile "
                        "interop and --step-geometry faceted or tessellated");
    }
}

DrawingOptions demoDrawingOptions() {
    DrawingOptions options;
    options.title = "ovmesh demo: table assembly";
    options.description = "Top view of the table assembly: outlines of its parts and the floor layout.";
    return options;
}

// The demo assembly with its parts' faceted geometry, or as pure structure
// with every part in a binary STL file of its own where the profile holds
// no geometry.
ovPointer<ovSpatial> demoAssembly(Session& session, const std::string& path, PartFiles& parts,
                                  step::StepProfile profile) {
    setStepGeometry(step::StepGeometry::Faceted);
    const ovPointer<ovNode> assembly = buildDemoAssembly();
    if (stepHoldsGeometry()) {
        return assembly;
    }
    return moveGeometryToPartFiles(*assembly, path, "stl", partSaver(session, "stl", {}), parts,
                                   partFileOrigin("stl", profile));
}

}  // namespace

Session::Session(const SessionOptions& options, std::ostream& out, std::ostream& err)
    : mOut(out),
      mErr(err),
      mConsole(err),
      mQuiet(options.quiet),
      mShowProgress(options.progressBars && !options.quiet) {
    mConsole.setBeforeMessage([this] {
        if (mBar) {
            mBar->clearLine();
        }
    });
    initializeOvMeshDrivers(options.resourceFolder);
}

Session::~Session() {
    terminateOvMeshDrivers();
}

void Session::report(const std::string& text) {
    if (!mQuiet) {
        mOut << text << '\n' << std::flush;
    }
}

int runDemo(Session& session, const std::string& folder, step::StepProfile stepProfile) {
    createFolder(folder);
    const ovPointer<ovNode> scene = buildDemoScene();
    // The demo table stands on z = 0.
    useColladaOptions(colladaOptionsFor(SceneUp::Z, 6));
    SaveMeshOptions options;
    options.lineBreaks = true;
    int failures = 0;
    for (const ovCoreMeshDriver* driver : ovIoManager::msInstance.getDrivers()) {
        if (driver->getSaveExtensions().empty()) {
            continue;
        }
        const std::string extension = driver->getSaveExtensions().front();
        const std::string path = utf8Path(fsPath(folder) / fsPath("demo." + extension));
        try {
            PartFiles parts;
            const ovPointer<ovSpatial> root = formatKindOf(extension) == FormatKind::Structure
                                                  ? demoAssembly(session, path, parts, stepProfile)
                                                  : sceneForFormat(*scene, extension, demoDrawingOptions());
            session.report(
                writtenReport(saveWithProgress(session, *root, path, options, TargetLinks::Replace)));
            parts.keep();
        } catch (const ToolError& failure) {
            session.console().error(failure.what());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

namespace {

// The drawing of a converted scene: its polylines, and the feature edges of
// its meshes when asked for.
ovPointer<ovSpatial> convertedDrawing(const ConvertOptions& options, const DrawingOptions& drawing,
                                      const ovSpatial& scene) {
    if (options.edgeDegrees) {
        return drawingOf(scene, SceneContent::LinesAndMeshEdges, drawing, *options.edgeDegrees);
    }
    return drawingOf(scene, SceneContent::Lines, drawing);
}

// An output that would show nothing of the input is refused, or with
// --allow-empty written with a warning, saying why.
void requireContent(Session& session, const ConvertOptions& options, const ovSpatial& input,
                    const ovSpatial& output) {
    // Standard input's references are relative to the current folder.
    const std::filesystem::path inputFolder =
        options.input == kStandardStream ? std::filesystem::path() : fsPath(options.input).parent_path();
    const std::optional<std::string> reason = emptyOutputReason(
        input, inputFolder, output, extensionOf(options.output), options.edgeDegrees.has_value());
    if (!reason) {
        return;
    }
    if (!options.allowEmpty) {
        throw ToolError("cannot write '" + options.output + "': it would hold no geometry: " + *reason +
                        "; --allow-empty writes it all the same");
    }
    session.console().warning("'" + options.output + "' holds no geometry: " + *reason);
}

}  // namespace

int runConvert(Session& session, const ConvertOptions& options) {
    requireStreamFormat(options.output, options.to, "--to", "output");
    if (options.output == kStandardStream) {
        return convertToStandardOutput(session, options);
    }
    requireSaveDriver(options.output);
    setStepGeometry(options.stepGeometry);
    requirePartFormat(options);
    requireWritableTarget(options.output, options.outputLinks);
    const std::string extension = extensionOf(options.output);
    // Texts are escaped, or refused, before a long read.
    DrawingOptions drawing = options.drawing;
    drawing.title = xmlElementText(drawing.title, "--title");
    drawing.description = xmlElementText(drawing.description, "--description");
    LoadMeshOptions loadOptions;
    loadOptions.importMetadata = options.importMetadata;
    setPlmXmlReading(loadOptions, options.plmxml);
    const SceneUp up = sceneUpFor(options.input, options.from, options.up);
    setSceneUp(up);
    const ovPointer<ovSpatial> input =
        loadInput(session, options.input, options.from, loadOptions, readOptionsFor(options));
    ovPointer<ovSpatial> root = input;
    useColladaOptions(colladaOptionsFor(up, options.precision));
    if (const std::optional<std::string> warning =
            droppedColoursWarning(*root, options.input, options.output)) {
        session.console().warning(*warning);
    }
    if (!options.units.empty()) {
        if (const std::optional<std::string> warning = setWorldUnits(*root, options.units)) {
            session.console().warning(*warning);
        }
    }
    PartFiles parts;
    switch (formatKindOf(extension)) {
        case FormatKind::Drawing:
            root = convertedDrawing(options, drawing, *root);
            break;
        case FormatKind::Structure:
            root = assemblyOf(session, *root, options, parts);
            break;
        case FormatKind::Geometry:
            break;
    }
    requireContent(session, options, *input, *root);
    SaveMeshOptions saveOptions;
    saveOptions.lineBreaks = options.lineBreaks;
    session.report(
        writtenReport(saveWithProgress(session, *root, options.output, saveOptions, options.outputLinks)));
    parts.keep();
    return 0;
}

}  // namespace ov::ovmesh
