#include "ovmesh/commands/CheckCommand.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>

#include "core/ovMeshDrivers.h"
#include "ovmesh/ToolError.h"
#include "step/Part21Checker.h"

namespace ov::ovmesh {

namespace {

std::string plural(uint64_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// What the bundled schema could not check in another system's file, and how to check it.
void printUndeclared(std::ostream& out, const std::string& input, const step::Part21CheckReport& report) {
    if (report.undeclared == 0) {
        return;
    }
    constexpr size_t kNamed = 5;
    const std::vector<std::string>& names = report.undeclaredEntities;
    std::string named;
    for (size_t i = 0; i < std::min(names.size(), kNamed); ++i) {
        named += (i > 0 ? ", " : "") + names[i];
    }
    if (names.size() > kNamed) {
        named += " and " + std::to_string(names.size() - kNamed) + " more";
    }
    out << input << ": " << plural(report.undeclared, "instance")
        << " of entities or types not in the bundled schema "
        << "were not checked (" << named
        << "): it holds only what this library writes; check against the full "
        << "AP242 long form with --schema FILE\n";
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
    const bool bundled = options.schema.empty();
    const std::string schemaPath = bundled ? stepSchemaPath(resourceFolder) : options.schema;
    step::Part21Checker checker;
    std::string error;
    if (!checker.loadSchema(schemaPath, error)) {
        throw ToolError(error);
    }
    step::Part21CheckReport report;
    if (!checker.checkFile(options.input, report, error, {options.maxFindings, bundled})) {
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
    printUndeclared(out, options.input, report);
    out << options.input << ": " << plural(report.errors, "error") << ", "
        << plural(report.warnings, "warning") << " in " << plural(report.instances, "instance") << " (schema "
        << schemaPath << ")\n";
    return report.errors > 0 ? 1 : 0;
}

}  // namespace ov::ovmesh
