#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ovMeshDriversExport.h"

namespace ov::step {

// The schema as the checker reads it; its own header, not part of the interface.
struct Part21Schema;

struct OVMESHDRIVERS_API Part21Finding {
    enum class Severity : uint8_t { Error, Warning };
    uint64_t line = 0;
    Severity severity = Severity::Error;
    std::string message;
};

struct OVMESHDRIVERS_API Part21CheckReport {
    // In line order; at most the maximum asked for.
    std::vector<Part21Finding> findings;
    // Counted over all findings, kept or not.
    uint64_t errors = 0;
    uint64_t warnings = 0;
    uint64_t instances = 0;
    // With a partial schema: the instances of entities, and the typed values
    // of types, that it does not declare in a file another system wrote, and
    // those names in order.
    uint64_t undeclared = 0;
    std::vector<std::string> undeclaredEntities;
};

struct OVMESHDRIVERS_API Part21CheckOptions {
    // Findings kept in the report at most; all are counted.
    size_t maxFindings = std::numeric_limits<size_t>::max();
    // The schema declares only some of its protocol's entities (the bundled
    // one holds what this library writes). In a file another system wrote,
    // an instance of an entity it lacks, or a typed value of a type it lacks,
    // is then counted, not an error: the schema cannot tell whether the
    // protocol has it.
    bool partialSchema = false;
};

// Checks an exchange file in the clear-text encoding against an EXPRESS
// schema: entity names, the number of parameters of each partial value (laid
// out as the Part 21 writer lays them out), the values against the declared
// types (simple types, enumerations, aggregates and their bounds, SELECTs),
// references (to an instance of the declared type, none dangling), complex
// instances (known parts in alphabetical order, every supertype present),
// instance numbers defined once, SET members given once, geometric items
// that something refers to, UNIQUE rules, and the file's syntax.
class OVMESHDRIVERS_API Part21Checker {
public:
    Part21Checker();
    ~Part21Checker();
    Part21Checker(const Part21Checker&) = delete;
    Part21Checker& operator=(const Part21Checker&) = delete;

    // False with error set when the schema cannot be read or laid out.
    bool loadSchema(const std::string& path, std::string& error);

    Part21CheckReport checkText(std::string_view text, const Part21CheckOptions& options = {}) const;
    // False with error set when the file cannot be read.
    bool checkFile(const std::string& path, Part21CheckReport& report, std::string& error,
                   const Part21CheckOptions& options = {}) const;

private:
    std::unique_ptr<Part21Schema> mSchema;
};

}  // namespace ov::step
