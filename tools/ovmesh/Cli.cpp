#include "ovmesh/Cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "ovmesh/Interruption.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/ToolVersion.h"
#include "ovmesh/Usage.h"
#include "ovmesh/commands/AssemblyOptions.h"
#include "ovmesh/commands/BatchCommand.h"
#include "ovmesh/commands/CheckCommand.h"
#include "ovmesh/commands/Commands.h"
#include "ovmesh/commands/FormatsCommand.h"
#include "ovmesh/commands/OutputOptions.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/commands/TreeCommand.h"
#include "system/ovStringUtils.h"

namespace ov::ovmesh {

namespace {

struct CommandLine {
    std::string resources;
    bool quiet = false;
    bool formatsJson = false;
    std::string demoFolder;
    // IN OUT, or the inputs of a batch.
    std::vector<std::string> convertFiles;
    ConvertOptions convert;
    BatchOptions batch;
    // The one conversion a child process of a batch makes.
    std::string batchInput;
    std::string batchOutput;
    TreeOptions tree;
    CheckOptions check;
    std::string page = "210x297";
    std::string view = "top";
    bool noFit = false;
    step::StepProfile stepProfile = step::StepProfile::Interop;
};

CLI::Validator pageSizeValidator() {
    return CLI::Validator(
        [](std::string& text) {
            return parsePageSize(text) ? std::string()
                                       : "'" + text +
                                             "' is not a page size: expected WIDTHxHEIGHT, two positive "
                                             "whole numbers of millimetres, e.g. 210x297";
        },
        "WxH", "page size");
}

void addNoMetadataFlag(CLI::App& command, bool& importMetadata) {
    command.add_flag_callback(
        "--no-metadata", [&importMetadata] { importMetadata = false; },
        "leave out the input's extra attributes and user values");
}

void addConfineFlag(CLI::App& command, bool& confine) {
    command.add_flag("--confine", confine,
                     "refuse an input that names a file (material library, texture image, buffer, part "
                     "file) outside the input's folder and its sub-folders, links resolved");
}

void addKeepReferencesFlag(CLI::App& command, step::StepLoadSettings& reading) {
    command.add_flag("--keep-references", reading.keepPartReferences,
                     "keep the parts of a STEP assembly that other STEP files hold as external references "
                     "instead of reading those files");
}

// The check of an option whose text accepts takes, naming what it is and
// what it expects.
CLI::Validator textValidator(std::function<bool(const std::string&)> accepts, const std::string& what,
                             const std::string& expected, const std::string& shape) {
    return CLI::Validator(
        [accepts, what, expected](std::string& text) {
            return accepts(text) ? std::string() : "'" + text + "' is no " + what + ": expected " + expected;
        },
        shape, what);
}

void addMeshingOptions(CLI::App& command, step::StepLoadSettings& meshing) {
    command
        .add_option_function<std::string>(
            "--deflection",
            [&meshing](const std::string& text) { meshing = *parseDeflection(text, meshing); },
            "how far the triangles of a curved STEP surface (B-rep) may stray from it: a fraction of the "
            "diagonal of the shape's box, or millimetres with mm (0.05mm)")
        ->check(textValidator(
            [](const std::string& text) { return parseDeflection(text).has_value(); }, "deflection",
            "a fraction of the shape's size between 0 and 1, e.g. 0.001, or millimetres, e.g. 0.1mm",
            "RATIO|MMmm"))
        ->option_text("RATIO|MMmm")
        ->default_str("0.001");
    command
        .add_option("--angular-deflection", meshing.angularDeflectionDegrees,
                    "the largest angle, in degrees, between the normals of a curved STEP surface (B-rep) "
                    "along a triangle's edge")
        ->option_text("DEGREES")
        ->check(CLI::Range(0.01, 179.0))
        ->capture_default_str();
}

// A number of degrees from 0 to 180, or none; nullopt for anything else.
std::optional<std::optional<double>> parseEdgeAngle(const std::string& text) {
    if (text == "none") {
        return std::optional<double>();
    }
    double degrees = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), degrees);
    if (failure != std::errc() || end != text.data() + text.size() || !(degrees >= 0.0 && degrees <= 180.0)) {
        return std::nullopt;
    }
    return std::optional<double>(degrees);
}

void addEdgesOption(CLI::App& command, DrawingOptions& drawing) {
    command
        .add_option_function<std::string>(
            "--edges",
            [&drawing](const std::string& text) { drawing.meshEdgeDegrees = *parseEdgeAngle(text); },
            "how a drawing shows meshes: by their borders and the edges where their faces fold by more than "
            "DEGREES; none leaves meshes out")
        ->check(textValidator([](const std::string& text) { return parseEdgeAngle(text).has_value(); },
                              "angle", "degrees from 0 to 180, or none", "DEGREES|none"))
        ->option_text("DEGREES|none")
        ->default_str(std::to_string(static_cast<int>(kDefaultCreaseDegrees)));
}

void addPlmXmlOption(CLI::App& command, PlmXmlReading& reading) {
    static const std::map<std::string, PlmXmlReading> kReadings{{"strict", PlmXmlReading::Strict},
                                                                {"occurrences", PlmXmlReading::Occurrences},
                                                                {"instances", PlmXmlReading::Instances},
                                                                {"auto", PlmXmlReading::Auto}};
    std::vector<std::string> names;
    for (const auto& [name, value] : kReadings) {
        names.push_back(name);
    }
    command
        .add_option_function<std::string>(
            "--plmxml", [&reading](const std::string& name) { reading = kReadings.at(name); },
            "how PLM XML is read: strict (product definitions only), occurrences (the ProductView's "
            "occurrence tree, as PDM systems export), instances (the instance graph, as CAD systems "
            "export), auto (strict, else occurrences, else instances)")
        ->transform(CLI::IsMember(names, CLI::ignore_case))
        ->option_text("strict|occurrences|instances|auto")
        ->default_str("auto");
}

// Formats are named by their extensions, in any case.
CLI::Validator formatName() {
    return CLI::Validator(
        [](std::string& text) {
            ovStringUtils::toLower(text);
            return text.empty() ? std::string("a format is named by its extension, e.g. stl") : std::string();
        },
        "", "format");
}

void addFromOption(CLI::App& command, std::string& format) {
    command
        .add_option(
            "--from", format,
            "the format of - as input, as an extension (obj, plmxml, or one assimp reads: see formats)")
        ->transform(formatName())
        ->option_text("FORMAT");
}

// Two files, IN and OUT; or with --out-dir the inputs of a batch.
void checkConvertFiles(const CommandLine& line) {
    if (line.batch.outputFolder.empty()) {
        if (line.convertFiles.size() != 2) {
            throw CLI::ValidationError("FILES", "IN OUT expected, " +
                                                    std::to_string(line.convertFiles.size()) +
                                                    " given; --out-dir DIR converts several inputs");
        }
        return;
    }
    if (line.convert.to.empty()) {
        throw CLI::ValidationError("--out-dir", "needs --to FORMAT, the outputs' extension");
    }
    if (std::find(line.convertFiles.begin(), line.convertFiles.end(), "-") != line.convertFiles.end()) {
        throw CLI::ValidationError("FILES", "- (the standard input) cannot be one of several inputs");
    }
}

void addStepProfileOption(CLI::App& command, step::StepProfile& profile) {
    static const std::map<std::string, step::StepProfile> kProfiles{{"exact", step::StepProfile::Exact},
                                                                    {"interop", step::StepProfile::Interop}};
    command
        .add_option_function<std::string>(
            "--step-profile", [&profile](const std::string& name) { profile = kProfiles.at(name); },
            "STEP files for: interop (CAD readers and strict checkers), exact (the driver's historical "
            "bytes)")
        ->transform(CLI::IsMember({"exact", "interop"}, CLI::ignore_case))
        ->option_text("exact|interop")
        ->default_str("interop");
}

void addConvertOptions(CLI::App& convert, CommandLine& line) {
    ConvertOptions& options = line.convert;
    convert
        .add_option(
            "FILES", line.convertFiles,
            "IN OUT: the input (OBJ, PLM XML, or any format assimp reads: see formats; - for the standard "
            "input) and the "
            "output file, whose extension picks the driver (- for the standard output); with "
            "--out-dir, every input to convert, a folder standing for its readable files")
        ->required();
    addFromOption(convert, options.from);
    convert
        .add_option("--to", options.to,
                    "the format of - as output or of the outputs of --out-dir, as an extension (stl, step, "
                    "dxf, svg, dae)")
        ->transform(formatName())
        ->option_text("FORMAT");
    convert
        .add_option("--out-dir", line.batch.outputFolder,
                    "convert every input into DIR (created when missing), named after it with the --to "
                    "extension; one failing input does not stop the others")
        ->option_text("DIR");
    convert
        .add_option("-j,--jobs", line.batch.jobs,
                    "inputs converted at once with --out-dir (default: the number of cores)")
        ->check(CLI::Range(1u, 1024u))
        ->option_text("N");
    convert.callback([&line] { checkConvertFiles(line); });
    convert.add_option("--page", line.page, "drawing page size in millimetres, WxH")
        ->check(pageSizeValidator())
        ->capture_default_str();
    std::vector<std::string> views;
    for (const auto& [name, view] : viewsByName()) {
        views.push_back(name);
    }
    convert.add_option("--view", line.view, "drawing view")
        ->transform(CLI::IsMember(views, CLI::ignore_case))
        ->capture_default_str();
    convert.add_option("--margin", options.drawing.margin, "page margin in millimetres when fitting")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    convert.add_flag("--no-fit", line.noFit, "scale 1 with the origin at the page's lower-left corner");
    convert.add_option("--title", options.drawing.title, "SVG title");
    convert.add_option("--description", options.drawing.description, "SVG description");
    addEdgesOption(convert, options.drawing);
    convert.add_flag("--line-breaks", options.lineBreaks, "line breaks between the elements of text formats");
    convert.add_flag("--allow-empty", options.allowEmpty,
                     "write the output even when it would hold no geometry (an STL file without triangles, "
                     "an empty page), with a warning");
    addNoMetadataFlag(convert, options.importMetadata);
    addConfineFlag(convert, options.confine);
    addPlmXmlOption(convert, options.plmxml);
    addMeshingOptions(convert, options.meshing);
    addKeepReferencesFlag(convert, options.meshing);
    addAssemblyOptions(convert, options);
    addStepProfileOption(convert, line.stepProfile);
    addOutputOptions(convert, options);
}

void addTreeOptions(CLI::App& tree, TreeOptions& options) {
    tree.add_option(
            "IN", options.input,
            "model file: OBJ, PLM XML, or any format assimp reads (see formats); - for the standard input")
        ->required();
    addFromOption(tree, options.from);
    tree.add_flag(
        "--json", options.json,
        "one JSON document instead of one line per node, with the vertices, triangles, segments and "
        "materials of each node and their totals at the root");
    addNoMetadataFlag(tree, options.importMetadata);
    addConfineFlag(tree, options.confine);
    addPlmXmlOption(tree, options.plmxml);
    addMeshingOptions(tree, options.meshing);
    addKeepReferencesFlag(tree, options.meshing);
}

// A single conversion, the one a batch's child makes, or a batch.
int runConvertCommand(Session& session, CommandLine& line, const std::vector<std::string>& arguments) {
    line.convert.drawing.page = *parsePageSize(line.page);
    line.convert.drawing.view = viewsByName().at(line.view);
    line.convert.drawing.fit = !line.noFit;
    line.convert.stepProfile = line.stepProfile;
    if (!line.batchInput.empty()) {
        line.convert.input = line.batchInput;
        line.convert.output = line.batchOutput;
        line.convert.outputLinks = TargetLinks::Replace;
        line.convert.to.clear();
        return runConvert(session, line.convert);
    }
    if (!line.batch.outputFolder.empty()) {
        line.batch.inputs = line.convertFiles;
        line.batch.format = line.convert.to;
        return runBatch(session, line.batch, arguments);
    }
    line.convert.input = line.convertFiles[0];
    line.convert.output = line.convertFiles[1];
    return runConvert(session, line.convert);
}

int runCommand(const CLI::App& app, CommandLine& line, const SessionOptions& options,
               const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    Session session(options, out, err);
    if (app.got_subcommand("formats")) {
        return runFormats(session, line.formatsJson);
    }
    if (app.got_subcommand("demo")) {
        return runDemo(session, line.demoFolder, line.stepProfile);
    }
    if (app.got_subcommand("tree")) {
        return runTree(session, line.tree);
    }
    if (app.got_subcommand("check")) {
        return runCheck(session, line.check, options.resourceFolder);
    }
    return runConvertCommand(session, line, arguments);
}

}  // namespace

int runOvmesh(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
              bool stderrIsTerminal) {
    CLI::App app("Saves and converts scenes with the ovMeshDrivers library.", "ovmesh");
    CommandLine line;
    app.set_version_flag("--version", toolVersionText);
    app.add_option("--resources", line.resources,
                   "resource folder of the library (holds step/ the STEP schema)")
        ->check(CLI::ExistingDirectory);
    app.add_flag("-q,--quiet", line.quiet, "no progress bar and no report of written files");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_subcommand("formats",
                       "show the library version, its drivers, and what reads and writes each extension")
        ->add_flag("--json", line.formatsJson, "one JSON document, for scripts");
    CLI::App* demo = app.add_subcommand("demo", "save the bundled demo scene in every format a driver saves");
    demo->add_option("DIR", line.demoFolder, "folder to write into, created when missing")->required();
    addStepProfileOption(*demo, line.stepProfile);
    addConvertOptions(*app.add_subcommand("convert", "convert IN to OUT, or many inputs into a folder"),
                      line);
    addTreeOptions(*app.add_subcommand("tree", "print the node tree of IN with placements and metadata"),
                   line.tree);
    addCheckCommand(app, line.check);
    // Last, so that the commands' help does not inherit it.
    app.footer(usageFooter());
    // Hidden: the build writes the manual page with it, from this very definition.
    app.add_flag_callback("--manpage",
                          [&app, &out] {
                              writeManualPage(app, out);
                              throw CLI::Success();
                          })
        ->group("");
    // Hidden: what a batch's child process converts.
    app.add_option("--batch-input", line.batchInput)->group("");
    app.add_option("--batch-output", line.batchOutput)->group("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error, out, err) == 0 ? 0 : kExitUsage;
    }

    SessionOptions options;
    options.resourceFolder =
        line.resources.empty() ? defaultResourceFolder(argc > 0 ? argv[0] : "") : line.resources;
    options.quiet = line.quiet;
    options.progressBars = stderrIsTerminal;
    try {
        const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
        return runCommand(app, line, options, arguments, out, err);
    } catch (const ToolError& failure) {
        err << "error: " << failure.what() << '\n';
    } catch (const Interrupted& stop) {
        err << "error: " << stop.what() << '\n';
        return interruptedExitCode();
    } catch (const std::exception& failure) {
        err << "error: " << failure.what() << '\n';
    }
    return kExitFailure;
}

}  // namespace ov::ovmesh
