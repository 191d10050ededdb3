// Checks a generated exchange file of about 100 MB (an assembly of placed
// parts, each with its product records, a placement and a point cloud of a
// few hundred coordinates, references pointing forwards and backwards) against
// the bundled schema and, when present, the full AP242 schema. Prints the
// throughput next to the floor of reading the same bytes once (counting the
// records' semicolons), and the peak heap the check adds over the text.
//
// Usage: bench_part21_check [megabytes] [runs]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "step/Part21Checker.h"
#include "support/CountingHeap.h"
#include "support/Timing.h"

namespace {

constexpr int kPointsPerPart = 64;

std::string number(uint64_t value) {
    return std::to_string(value);
}

// The records of one part, numbered from first; #1 to #9 are the shared context.
std::string partRecords(uint64_t first, uint64_t part) {
    const std::string id = "'P" + number(part) + "'";
    const auto ref = [&](uint64_t offset) { return '#' + number(first + offset); };
    std::string text;
    // The shape representation comes first and refers forwards to its items.
    text += ref(0) + "=SHAPE_REPRESENTATION(" + id + ",(" + ref(5) + "," + ref(6) + "),#9);\n";
    text += ref(1) + "=PRODUCT(" + id + "," + id + ",$,(#3));\n";
    text += ref(2) + "=PRODUCT_DEFINITION_FORMATION(" + id + ",$," + ref(1) + ");\n";
    text += ref(3) + "=PRODUCT_DEFINITION(" + id + ",$," + ref(2) + ",#4);\n";
    text += ref(4) + "=PRODUCT_DEFINITION_SHAPE(" + id + ",$," + ref(3) + ");\n";
    text += ref(5) + "=AXIS2_PLACEMENT_3D(''," + ref(7) + ",#5,#6);\n";
    text += ref(6) + "=AXIS2_PLACEMENT_3D(''," + ref(8) + ",$,$);\n";
    text += ref(7) + "=CARTESIAN_POINT('',(" + number(part) + ".5,-2.25,1.E-03));\n";
    text += ref(8) + "=CARTESIAN_POINT('',(0.,0.,0.));\n";
    text += ref(9) + "=SHAPE_DEFINITION_REPRESENTATION(" + ref(4) + "," + ref(0) + ");\n";
    for (int point = 0; point < kPointsPerPart; ++point) {
        text += '#' + number(first + 10 + static_cast<uint64_t>(point)) + "=CARTESIAN_POINT('p',(" +
                number(part % 1000) + "." + number(static_cast<uint64_t>(point)) + "25,-17.0625," +
                number(static_cast<uint64_t>(point)) + ".5E-02));\n";
    }
    return text;
}

std::string generate(size_t bytes) {
    std::string text =
        "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('bench'),'2;1');\n"
        "FILE_NAME('bench.stp','2026-01-01T00:00:00',('a'),('b'),'c','d','e');\n"
        "FILE_SCHEMA(('AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF'));\nENDSEC;\nDATA;\n"
        "#1=APPLICATION_CONTEXT('bench');\n#2=APPLICATION_PROTOCOL_DEFINITION('is','ap242',2014,#1);\n"
        "#3=PRODUCT_CONTEXT('',#1,'mechanical');\n#4=PRODUCT_DEFINITION_CONTEXT('part "
        "definition',#1,'design');\n"
        "#5=DIRECTION('',(0.,0.,1.));\n#6=DIRECTION('',(1.,0.,0.));\n"
        "#7=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));\n"
        "#8=(NAMED_UNIT(*)PLANE_ANGLE_UNIT()SI_UNIT($,.RADIAN.));\n"
        "#9=(GEOMETRIC_REPRESENTATION_CONTEXT(3)GLOBAL_UNIT_ASSIGNED_CONTEXT((#7,#8))"
        "REPRESENTATION_CONTEXT('',''));\n";
    uint64_t next = 10;
    for (uint64_t part = 0; text.size() < bytes; ++part) {
        text += partRecords(next, part);
        next += 10 + kPointsPerPart;
    }
    return text + "ENDSEC;\nEND-ISO-10303-21;\n";
}

void run(const char* label, const std::string& schema, const std::string& text, int runs, double floor) {
    ov::step::Part21Checker checker;
    std::string error;
    if (!checker.loadSchema(schema, error)) {
        std::printf("%s: %s\n", label, error.c_str());
        return;
    }
    ov::step::Part21CheckReport report;
    const double seconds = bestSeconds(runs, [&] { report = checker.checkText(text, {10}); });
    const int64_t heap = peakExtraHeap([&] { report = checker.checkText(text, {10}); });
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    std::printf(
        "%-22s %8.3f s  %7.1f MB/s  %6.1fx the floor  peak heap %.2f x the text  (%llu instances, "
        "%llu errors)\n",
        label, seconds, megabytes / seconds, seconds / floor,
        static_cast<double>(heap) / static_cast<double>(text.size()),
        static_cast<unsigned long long>(report.instances), static_cast<unsigned long long>(report.errors));
    for (const auto& finding : report.findings) {
        std::printf("  line %llu: %s\n", static_cast<unsigned long long>(finding.line),
                    finding.message.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string text = generate(megabytes * 1000000);
    size_t records = 0;
    const double floor =
        bestSeconds(runs, [&] { records = static_cast<size_t>(std::count(text.begin(), text.end(), ';')); });
    std::printf("%.1f MB, %zu records; floor (one pass counting ';'): %.3f s\n",
                static_cast<double>(text.size()) / 1e6, records, floor);
    run("bundled schema", OV_RESOURCES_DIR "/step/ap242_1_36_mim_lf.exp", text, runs, floor);
    const std::string full = OV_SHARED_DATA_DIR "/step/ap242_1_36_mim_lf.exp";
    if (std::filesystem::exists(full)) {
        run("full AP242 schema", full, text, runs, floor);
    } else {
        std::printf("full AP242 schema: missing %s\n", full.c_str());
    }
    return 0;
}
