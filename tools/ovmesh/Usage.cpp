#include "ovmesh/Usage.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <csignal>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "core/Version.h"
#include "ovmesh/Interruption.h"

namespace ov::ovmesh {

namespace {

struct ExitStatus {
    int code;
    const char* meaning;
};

constexpr ExitStatus kExitStatuses[] = {
    {0, "success"},
    {kExitFailure,
     "the command failed, or some input of a batch did; the reason is printed on stderr and no output file "
     "is "
     "left half written"},
    {kExitUsage, "the command line is wrong"},
    {kSignalExitBase + SIGINT, "stopped by Ctrl-C (SIGINT); the unfinished output is removed"},
    {kSignalExitBase + SIGTERM, "stopped by SIGTERM; the unfinished output is removed"},
};

struct Example {
    const char* command;
    const char* purpose;
};

constexpr Example kExamples[] = {
    {"ovmesh formats", "show the library version and the formats it loads and saves"},
    {"ovmesh demo out", "save the bundled demo scene into the folder out in every format"},
    {"ovmesh convert part.obj part.stl", "convert a Wavefront OBJ file to binary STL"},
    {"ovmesh convert part.obj part.dae", "COLLADA, texture images as part-*.png files beside part.dae"},
    {"ovmesh convert part.obj part.svg --view iso --page 297x210 --title Bracket",
     "an isometric SVG drawing on a landscape A4 page"},
    {"ovmesh convert part.obj part.dxf --edges 30", "a DXF drawing of the meshes' feature edges"},
    {"ovmesh convert asm.plmxml asm.stp", "a PLM XML product structure as a STEP assembly"},
    {"ovmesh convert part.obj part.stp --external-parts stl --units mm",
     "a STEP assembly in millimetres referring to one STL file per part"},
    {"ovmesh tree asm.plmxml --json", "the node tree with placements, metadata and geometry counts as JSON"},
    {"ovmesh convert models --to stl --out-dir out -j 4",
     "every readable file under the folder models to STL in out, four at once"},
    {"ovmesh convert - - --from obj --to stl <part.obj >part.stl", "standard input to standard output"},
};

bool shownInHelp(const CLI::Option* option) {
    return !option->get_group().empty();
}

// Text as roff prints it: backslashes escaped, and no line taken for a request.
std::string roffText(std::string_view text) {
    std::string escaped;
    for (const char character : text) {
        if (character == '\\') {
            escaped += "\\e";
        } else {
            if ((character == '.' || character == '\'') && (escaped.empty() || escaped.back() == '\n')) {
                escaped += "\\&";
            }
            escaped += character;
        }
    }
    return escaped;
}

// Literal text in bold, its hyphens as the ASCII minus a reader can paste.
std::string roffLiteral(std::string_view text) {
    std::string literal = "\\fB";
    for (const char character : roffText(text)) {
        literal += character == '-' ? std::string_view("\\-") : std::string_view(&character, 1);
    }
    return literal.append("\\fR");
}

// A name that stands for what the user gives, in italics.
std::string roffPlaceholder(std::string_view text) {
    std::string placeholder = "\\fI";
    return placeholder.append(roffText(text)).append("\\fR");
}

// The tag of an option's entry: its names as --help lists them ("-q,--quiet"),
// and what its value is (the same text --help gives before any default).
std::string optionTag(const CLI::Option& option) {
    if (option.get_positional()) {
        return roffPlaceholder(option.get_name(true));
    }
    std::string tag;
    std::istringstream names(option.get_name(false, true));
    for (std::string name; std::getline(names, name, ',');) {
        tag.append(tag.empty() ? "" : ", ").append(roffLiteral(name));
    }
    const std::string value = option.get_option_text().empty()
                                  ? (option.get_type_size() != 0 ? option.get_type_name() : std::string())
                                  : option.get_option_text();
    return value.empty() ? tag : tag.append(" ").append(roffPlaceholder(value));
}

void writeOptionEntries(const std::vector<const CLI::Option*>& options, std::ostream& out) {
    for (const CLI::Option* option : options) {
        out << ".TP\n" << optionTag(*option) << '\n' << roffText(option->get_description());
        if (!option->get_default_str().empty()) {
            out << " (default: " << roffText(option->get_default_str()) << ')';
        }
        out << '\n';
    }
}

std::vector<const CLI::Option*> positionals(const CLI::App& command) {
    return command.get_options(
        [](const CLI::Option* option) { return option->get_positional() && shownInHelp(option); });
}

// Options with names, without the help flag every command shares.
std::vector<const CLI::Option*> namedOptions(const CLI::App& command) {
    const CLI::Option* help = command.get_help_ptr();
    return command.get_options([help](const CLI::Option* option) {
        return !option->get_positional() && shownInHelp(option) && option != help;
    });
}

std::string commandSynopsis(const CLI::App& command) {
    std::string synopsis = ".B ovmesh\n[\\fIOPTIONS\\fR] ";
    synopsis.append(roffLiteral(command.get_name()));
    if (!namedOptions(command).empty()) {
        synopsis.append(" [\\fIOPTIONS\\fR]");
    }
    for (const CLI::Option* option : positionals(command)) {
        synopsis.append(" ").append(optionTag(*option));
    }
    return synopsis.append("\n.br\n");
}

// The tool's description as the NAME line has it: "saves and converts ...".
std::string nameLineText(std::string description) {
    if (!description.empty() && description.back() == '.') {
        description.pop_back();
    }
    if (!description.empty()) {
        description.front() =
            static_cast<char>(std::tolower(static_cast<unsigned char>(description.front())));
    }
    return roffText(description);
}

std::vector<const CLI::App*> commands(const CLI::App& app) {
    return app.get_subcommands([](const CLI::App* command) { return !command->get_name().empty(); });
}

void writeHeader(const CLI::App& app, std::ostream& out) {
    using ovMeshDrivers::Version;
    out << ".TH OVMESH 1 \"" << Version::GetYear() << '-' << (Version::GetMonth() < 10 ? "0" : "")
        << static_cast<int>(Version::GetMonth()) << "\" \"ovMeshDrivers "
        << Version::GetDescStringMajorMinorRelease() << "\" \"User Commands\"\n"
        << ".SH NAME\novmesh \\- " << nameLineText(app.get_description()) << "\n.SH SYNOPSIS\n";
    for (const CLI::App* command : commands(app)) {
        out << commandSynopsis(*command);
    }
    out << ".B ovmesh\n\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n"
        << ".SH DESCRIPTION\n"
        << "\\fBovmesh\\fR puts the ovMeshDrivers library in front of a person: it saves scenes in the "
           "formats the library's drivers write and loads what they read. The options under OPTIONS "
           "come before the command; each command's own options come after its name.\n";
}

void writeCommands(const CLI::App& app, std::ostream& out) {
    out << ".SH OPTIONS\n";
    writeOptionEntries(namedOptions(app), out);
    out << ".TP\n"
        << optionTag(*app.get_help_ptr()) << '\n'
        << roffText(app.get_help_ptr()->get_description())
        << "; after a command, the help of that command\n.SH COMMANDS\n";
    for (const CLI::App* command : commands(app)) {
        out << ".SS " << roffText(command->get_name()) << '\n'
            << roffText(command->get_description()) << '\n';
        // In the order --help lists them: positionals first.
        writeOptionEntries(positionals(*command), out);
        writeOptionEntries(namedOptions(*command), out);
    }
}

void writeClosingSections(std::ostream& out) {
    out << ".SH EXIT STATUS\n";
    for (const ExitStatus& status : kExitStatuses) {
        out << ".TP\n" << status.code << '\n' << roffText(status.meaning) << '\n';
    }
    out << ".SH EXAMPLES\n";
    for (const Example& example : kExamples) {
        out << ".TP\n" << roffLiteral(example.command) << '\n' << roffText(example.purpose) << '\n';
    }
    out << ".SH FILES\n.TP\n.I ../share/ovmesh/resources\n"
        << "The library's resource folder (the STEP schema), found from the folder of the program with "
           "links resolved: \\fI\\%/usr/share/ovmesh/resources\\fR for \\fI\\%/usr/bin/ovmesh\\fR. "
           "\\fB\\-\\-resources\\fR names another.\n";
}

}  // namespace

std::string usageFooter() {
    std::ostringstream footer;
    footer << "Exit status:\n";
    for (const ExitStatus& status : kExitStatuses) {
        footer << "  " << status.code << ' ' << status.meaning << '\n';
    }
    footer << "\nExamples:\n";
    for (const Example& example : kExamples) {
        footer << "  " << example.command << "\n      " << example.purpose << '\n';
    }
    return footer.str();
}

void writeManualPage(const CLI::App& app, std::ostream& out) {
    writeHeader(app, out);
    writeCommands(app, out);
    writeClosingSections(out);
}

}  // namespace ov::ovmesh
