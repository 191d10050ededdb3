#include "ovmesh/commands/Commands.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <vector>

#include "core/PartFiles.h"
#include "core/SafeOutputFile.h"
#include "core/SceneCopy.h"
#include "core/ovMeshDrivers.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/DemoScene.h"
#include "ovmesh/commands/FormatTable.h"
#include "ovmesh/commands/InputLoading.h"
#include "ovmesh/commands/OutputOptions.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/commands/StandardStreams.h"
#include "ovmesh/output/SceneCounts.h"
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

// The scene as a file of that extension can hold it: drawings get a page.
// Only formats that hold geometry come here (part files, the demo's
// non-assembly files); assembly outputs are made by assemblyOf.
ovPointer<ovSpatial> sceneForFormat(ovSpatial& scene, const std::string& extension,
                                    const DrawingOptions& drawing, SaveMeshOptions& options) {
    if (formatKindOf(extension) == FormatKind::Drawing) {
        return makeDrawing(scene, drawing, options);
    }
    return &scene;
}

// Saves each part file of an assembly output with the drivers' settings of
// the assembly's save, and says so.
PartSaver partSaver(Session& session, const std::string& format, const DrawingOptions& drawing,
                    const ovDriverSettingsList& settings) {
    return [&session, format, drawing, settings](ovSpatial& part, const std::string& path) {
        SaveMeshOptions options;
        options.drivers = settings;
        const ovPointer<ovSpatial> root = sceneForFormat(part, format, drawing, options);
        const std::vector<WrittenFile> written =
            saveWithProgress(session, *root, path, options, TargetLinks::Replace);
        session.report(writtenReport(written));
        std::vector<std::string> paths;
        for (const WrittenFile& file : written) {
            paths.push_back(file.path);
        }
        return paths;
    };
}

// The interop profile places parts where their files' origin lies (STL moves
// it); the exact profile keeps its references at the parts' own origins, as
// it always has.
bool placeAtFileOrigin(const SaveMeshOptions& options) {
    return options.drivers.get<step::StepSaveSettings>().profile == step::StepProfile::Interop;
}

// An assembly holds its meshes itself when a geometry form is asked for;
// otherwise an input with meshes or polylines needs files for its parts,
// which --external-parts names the format of.
ovPointer<ovSpatial> assemblyOf(Session& session, ovSpatial& scene, const ConvertOptions& options,
                                const DrawingOptions& drawing, const SaveMeshOptions& saveOptions,
                                PartFiles& parts) {
    if (options.externalParts.empty() && holdsGeometry(extensionOf(options.output), saveOptions)) {
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
                                   partSaver(session, options.externalParts, drawing, saveOptions.drivers),
                                   parts, placeAtFileOrigin(saveOptions));
}

// The part format must be one a driver saves and able to hold geometry, and
// only assembly outputs have parts.
void requirePartFormat(const ConvertOptions& options, const SaveMeshOptions& saveOptions) {
    if (options.externalParts.empty()) {
        return;
    }
    if (formatKindOf(extensionOf(options.output)) != FormatKind::Structure) {
        throw ToolError("--external-parts applies to assembly outputs (.stp, .step), not to '" +
                        options.output + "'");
    }
    requireSaveDriver("part." + options.externalParts);
    if (!holdsGeometry(options.externalParts, saveOptions)) {
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
                                  const SaveMeshOptions& options) {
    const ovPointer<ovNode> assembly = buildDemoAssembly();
    if (holdsGeometry(extensionOf(path), options)) {
        return assembly;
    }
    return moveGeometryToPartFiles(*assembly, path, "stl", partSaver(session, "stl", {}, options.drivers),
                                   parts, placeAtFileOrigin(options));
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
    SaveMeshOptions demoOptions;
    demoOptions.lineBreaks = true;
    // The demo table stands on z = 0.
    demoOptions.drivers = driverSettingsFor(SceneUp::Z, 6, stepProfile, step::StepGeometry::Faceted);
    int failures = 0;
    for (const ovCoreMeshDriver* driver : ovIoManager::msInstance.getDrivers()) {
        if (driver->getSaveExtensions().empty()) {
            continue;
        }
        const std::string extension = driver->getSaveExtensions().front();
        const std::string path = utf8Path(fsPath(folder) / fsPath("demo." + extension));
        try {
            PartFiles parts;
            SaveMeshOptions options = demoOptions;
            const ovPointer<ovSpatial> root =
                formatKindOf(extension) == FormatKind::Structure
                    ? demoAssembly(session, path, parts, options)
                    : sceneForFormat(*scene, extension, demoDrawingOptions(), options);
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

// An output that would show nothing of the input is refused, or with
// --allow-empty written with a warning, saying why.
void requireContent(Session& session, const ConvertOptions& options, const ovSpatial& input,
                    const ovSpatial& output) {
    // Standard input's references are relative to the current folder.
    const std::filesystem::path inputFolder =
        options.input == kStandardStream ? std::filesystem::path() : fsPath(options.input).parent_path();
    const std::optional<std::string> reason =
        emptyOutputReason(input, inputFolder, output, extensionOf(options.output),
                          inputFormatOf(options.input, options.from), options.drawing.meshEdgeDegrees);
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
    SaveMeshOptions saveOptions;
    saveOptions.lineBreaks = options.lineBreaks;
    const SceneUp up = sceneUpFor(options.input, options.from, options.up);
    saveOptions.drivers = driverSettingsFor(up, options.precision, options.stepProfile, options.stepGeometry);
    requirePartFormat(options, saveOptions);
    requireWritableTarget(options.output, options.outputLinks);
    const std::string extension = extensionOf(options.output);
    // Texts are escaped, or refused, before a long read.
    DrawingOptions drawing = options.drawing;
    drawing.up = up;
    drawing.title = xmlElementText(drawing.title, "--title");
    drawing.description = xmlElementText(drawing.description, "--description");
    LoadMeshOptions loadOptions;
    loadOptions.importMetadata = options.importMetadata;
    setPlmXmlReading(loadOptions, options.plmxml);
    const ovPointer<ovSpatial> input =
        loadInput(session, options.input, options.from, loadOptions, readOptionsFor(options));
    ovPointer<ovSpatial> root = input;
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
            root = makeDrawing(*root, drawing, saveOptions);
            break;
        case FormatKind::Structure:
            root = assemblyOf(session, *root, options, drawing, saveOptions, parts);
            break;
        case FormatKind::Geometry:
            break;
    }
    requireContent(session, options, *input, *root);
    session.report(
        writtenReport(saveWithProgress(session, *root, options.output, saveOptions, options.outputLinks)));
    parts.keep();
    return 0;
}

}  // namespace ov::ovmesh
