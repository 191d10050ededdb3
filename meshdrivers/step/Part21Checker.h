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
    static constexpr size_t kAllFindings = std::numeric_limits<size_t>::max();

    Part21Checker();
    ~Part21Checker();
    Part21Checker(const Part21Checker&) = delete;
    Part21Checker& operator=(const Part21Checker&) = delete;

    // False with error set when the schema cannot be read or laid out.
    bool loadSchema(const std::string& path, std::string& error);

    Part21CheckReport checkText(std::string_view text, size_t maxFindings = kAllFindings) const;
    // False with error set when the file cannot be read.
    bool checkFile(const std::string& path, Part21CheckReport& report, std::string& error,
                   size_t maxFindings = kAllFindings) const;

private:
    std::unique_ptr<Part21Schema> mSchema;
};

}  // namespace ov::step
