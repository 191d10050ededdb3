#include "ovmesh/Cli.h"

#include <CLI/CLI.hpp>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/Version.h"
#include "ovmesh/Interruption.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/Usage.h"
#include "ovmesh/commands/AssemblyOptions.h"
#include "ovmesh/commands/CheckCommand.h"
#include "ovmesh/commands/Commands.h"
#include "ovmesh/commands/TreeCommand.h"

namespace ov::ovmesh {

namespace {

struct CommandLine {
    std::string resources;
    bool quiet = false;
    std::string demoFolder;
    ConvertOptions convert;
    TreeOptions tree;
    CheckOptions check;
    std::string page = "210x297";
    std::string view = "top";
    bool noFit = false;
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

void addPlmXmlOption(CLI::App& command, PlmXmlReading& reading) {
    static const std::map<std::string, PlmXmlReading> kReadings{{"strict", PlmXmlReading::Strict},
                                                                {"occurrences", PlmXmlReading::Occurrences},
                                                                {"auto", PlmXmlReading::Auto}};
    std::vector<std::string> names;
    for (const auto& [name, value] : kReadings) {
        names.push_back(name);
    }
    command
        .add_option_function<std::string>(
            "--plmxml", [&reading](const std::string& name) { reading = kReadings.at(name); },
            "how PLM XML is read: strict (product definitions only), occurrences (the ProductView's "
            "occurrence tree, as PDM systems export), auto (strict, else occurrences)")
        ->transform(CLI::IsMember(names, CLI::ignore_case))
        ->option_text("strict|occurrences|auto")
        ->default_str("auto");
}

void addConvertOptions(CLI::App& convert, CommandLine& line) {
    ConvertOptions& options = line.convert;
    convert
        .add_option("IN", options.input, "model file: OBJ, PLM XML, or any format assimp reads (see formats)")
        ->required();
    convert.add_option("OUT", options.output, "output file; its extension picks the driver")->required();
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
    convert
        .add_option("--edges", options.edgeDegrees,
                    "draw the meshes' feature edges: where faces fold by more than DEGREES, and borders")
        ->option_text("DEGREES")
        ->check(CLI::Range(0.0, 180.0));
    convert.add_flag("--line-breaks", options.lineBreaks, "line breaks between the elements of text formats");
    convert.add_flag("--allow-empty", options.allowEmpty,
                     "draw an empty page for an input without polylines");
    addNoMetadataFlag(convert, options.importMetadata);
    addPlmXmlOption(convert, options.plmxml);
    addAssemblyOptions(convert, options);
}

void addTreeOptions(CLI::App& tree, TreeOptions& options) {
    tree.add_option("IN", options.input, "model file: OBJ, PLM XML, or any format assimp reads (see formats)")
        ->required();
    tree.add_flag("--json", options.json, "one JSON document instead of one line per node");
    addNoMetadataFlag(tree, options.importMetadata);
    addPlmXmlOption(tree, options.plmxml);
}

int runCommand(const CLI::App& app, CommandLine& line, const SessionOptions& options, std::ostream& out,
               std::ostream& err) {
    Session session(options, out, err);
    if (app.got_subcommand("formats")) {
        return runFormats(session);
    }
    if (app.got_subcommand("demo")) {
        return runDemo(session, line.demoFolder);
    }
    if (app.got_subcommand("tree")) {
        return runTree(session, line.tree);
    }
    if (app.got_subcommand("check")) {
        return runCheck(session, line.check, options.resourceFolder);
    }
    line.convert.drawing.page = *parsePageSize(line.page);
    line.convert.drawing.view = viewsByName().at(line.view);
    line.convert.drawing.fit = !line.noFit;
    return runConvert(session, line.convert);
}

}  // namespace

int runOvmesh(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
              bool stderrIsTerminal) {
    CLI::App app("Saves and converts scenes with the ovMeshDrivers library.", "ovmesh");
    CommandLine line;
    app.set_version_flag("--version", [] {
        return std::string("ovmesh with ovMeshDrivers ") +
               ovMeshDrivers::Version::GetDescStringMajorMinorReleaseRevision(false, true);
    });
    app.add_option("--resources", line.resources,
                   "resource folder of the library (holds step/ the STEP schema)")
        ->check(CLI::ExistingDirectory);
    app.add_flag("-q,--quiet", line.quiet, "no progress bar and no report of written files");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_subcommand("formats",
                       "show the library version, its drivers, and what reads and writes each extension");
    app.add_subcommand("demo", "save the bundled demo scene in every format a driver saves")
        ->add_option("DIR", line.demoFolder, "folder to write into, created when missing")
        ->required();
    addConvertOptions(*app.add_subcommand("convert", "convert IN to OUT"), line);
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
        return runCommand(app, line, options, out, err);
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
