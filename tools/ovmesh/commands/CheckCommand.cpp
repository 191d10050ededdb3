#include "ovmesh/commands/CheckCommand.h"

#include <CLI/CLI.hpp>

#include <ostream>

#include "ovmesh/ToolError.h"
#include "step/Part21Checker.h"

namespace ov::ovmesh {

namespace {

// Where the library finds its STEP schema in a resource folder.
constexpr const char* kBundledSchema = "/step/ap242_1_36_mim_lf.exp";

std::string plural(uint64_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

void addCheckCommand(CLI::App& app, CheckOptions& options) {
    CLI::App& check = *app.add_subcommand("check", "check a STEP file against the EXPRESS schema");
    check.add_option("FILE", options.input, "STEP exchange file")->required();
    check.add_option("--schema", options.schema, "EXPRESS schema file (default: the library's)")
        ->check(CLI::ExistingFile);
    check.add_option("--max-findings", options.maxFindings, "findings printed at most")
        ->capture_default_str();
}

int runCheck(Session& session, const CheckOptions& options, const std::string& resourceFolder) {
    const std::string schemaPath = options.schema.empty() ? resourceFolder + kBundledSchema : options.schema;
    step::Part21Checker checker;
    std::string error;
    if (!checker.loadSchema(schemaPath, error)) {
        throw ToolError(error);
    }
    step::Part21CheckReport report;
    if (!checker.checkFile(options.input, report, error, options.maxFindings)) {
        throw ToolError(error);
    }
    std::ostream& out = session.out();
    for (const step::Part21Finding& finding : report.findings) {
        out << options.input << ':' << finding.line << ": "
            << (finding.severity == step::Part21Finding::Severity::Error ? "error" : "warning") << ": "
            << finding.message << '\n';
    }
    const uint64_t shown = report.findings.size();
    if (shown < report.errors + report.warnings) {
        out << "(" << plural(report.errors + report.warnings - shown, "more finding") << " not shown)\n";
    }
    out << options.input << ": " << plural(report.errors, "error") << ", "
        << plural(report.warnings, "warning") << " in " << plural(report.instances, "instance") << " (schema "
        << schemaPath << ")\n";
    return report.errors > 0 ? 1 : 0;
}

}  // namespace ov::ovmesh
