// The tool's whole process from PLM XML to STEP, in both STEP profiles, on a
// generated document shaped like the assembly of bench_step_assembly: 1 root,
// 20 sub-assemblies, 300 assemblies and 3,000 leaf parts held as external
// references (3,321 distinct parts), 19,920 occurrences placed by a rotation
// and a translation, 3 user values per part. Each run is one `ovmesh convert`
// process (start, PLM XML load, STEP save, exit); the figure is entities
// written per second of wall time, best of the runs, exact and interop side by
// side with their ratio. The processor time of the process (user and system,
// best of the runs) is printed beside: on a shared machine the wall time
// also counts the waits for a free core.
//
// Usage: bench_step_tool [runs]
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/Timing.h"

namespace {

constexpr int kSubAssemblies = 20;
constexpr int kAssemblies = 300;
constexpr int kPartsPerAssembly = 10;
constexpr int kLeafOccurrences = 19600;

struct Writer {
    std::ofstream out;
    int nextInstance = 0;
    int placement = 0;

    // A placed instance of part, named like it (the reader's rule); answers its id.
    std::string instance(const std::string& part) {
        const std::string id = 'i' + std::to_string(nextInstance++);
        const double a = 0.37 * placement, b = 0.11 * placement;
        const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        // Rows of the row-vector matrix: the axes, then the translation.
        char transform[512];
        std::snprintf(transform, sizeof transform,
                      "%.17g %.17g 0 0 %.17g %.17g %.17g 0 %.17g %.17g %.17g 0 %g %g %g 1", ca, sa, -cb * sa,
                      cb * ca, sb, sb * sa, -sb * ca, cb, 10.0 * (placement % 17), 5.0 * (placement % 23),
                      2.5 * (placement % 7));
        ++placement;
        out << "<ProductInstance id=\"" << id << "\" partRef=\"#" << part << "\" name=\"" << part
            << "\"><Transform>" << transform << "</Transform></ProductInstance>\n";
        return id;
    }

    void part(const std::string& name, int index, const std::string& children) {
        out << "<ProductRevisionView id=\"" << name << "\" name=\"" << name << "\" type=\""
            << (children.empty() ? "solid" : "assembly") << "\""
            << (children.empty() ? "" : " instanceRefs=\"" + children + "\"")
            << ">\n<UserData type=\"Properties\">"
            << "<UserValue title=\"mass\" value=\"" << 0.125 * (index % 97) << "\"/>"
            << "<UserValue title=\"material\" value=\"" << (index % 2 ? "steel S235" : "aluminium 6061")
            << "\"/>"
            << "<UserValue title=\"revision\" value=\"" << index % 5 << "\"/></UserData>\n";
        if (children.empty()) {
            out << "<Representation format=\"STEP\" location=\"parts/" << name << ".stp\"/>\n";
        }
        out << "</ProductRevisionView>\n";
    }
};

// Ids separated by spaces.
void appendId(std::string& list, const std::string& id) {
    if (!list.empty()) {
        list += ' ';
    }
    list += id;
}

void writeDocument(const std::string& path) {
    Writer writer{std::ofstream(path, std::ios::binary)};
    writer.out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PLMXML "
                  "xmlns=\"http://www.plmxml.org/Schemas/PLMXMLSchema\" schemaVersion=\"6\">\n"
                  "<ProductDef id=\"def\">\n<InstanceGraph rootRefs=\"root\">\n"
                  "<ProductInstance id=\"root\" partRef=\"#top\" name=\"top\"/>\n";
    std::vector<std::string> subChildren(kSubAssemblies);
    std::string topChildren;
    for (int s = 0; s < kSubAssemblies; ++s) {
        appendId(topChildren, writer.instance("sub_" + std::to_string(s)));
    }
    for (int a = 0; a < kAssemblies; ++a) {
        const std::string name = "asm_" + std::to_string(a);
        appendId(subChildren[a % kSubAssemblies], writer.instance(name));
        const int occurrences = kLeafOccurrences / kAssemblies + (a < kLeafOccurrences % kAssemblies ? 1 : 0);
        std::string children;
        for (int o = 0; o < occurrences; ++o) {
            appendId(children, writer.instance(
                                   "part_" + std::to_string(a * kPartsPerAssembly + o % kPartsPerAssembly)));
        }
        writer.part(name, 1 + kSubAssemblies + a, children);
    }
    for (int p = 0; p < kAssemblies * kPartsPerAssembly; ++p) {
        writer.part("part_" + std::to_string(p), 1 + kSubAssemblies + kAssemblies + p, "");
    }
    for (int s = 0; s < kSubAssemblies; ++s) {
        writer.part("sub_" + std::to_string(s), 1 + s, subChildren[s]);
    }
    writer.part("top", 0, topChildren);
    writer.out << "</InstanceGraph>\n</ProductDef>\n</PLMXML>\n";
}

// Every record starts a line with '#'.
size_t countRecords(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    size_t records = 0;
    for (std::string line; std::getline(file, line);) {
        records += !line.empty() && line[0] == '#';
    }
    return records;
}

struct Measured {
    size_t entities = 0;
    double seconds = 0;
    double cpuSeconds = 0;
};

// User and system time of the finished child processes so far.
double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + 1e-6 * static_cast<double>(time.tv_usec);
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Measured convert(const std::string& input, const std::string& output, const char* profile, int runs) {
    const std::string command =
        std::string("\"" OVMESH_EXECUTABLE "\" -q --resources \"" OV_RESOURCES_DIR "\" convert \"") + input +
        "\" \"" + output + "\" --step-profile " + profile;
    Measured measured;
    measured.cpuSeconds = 1e9;
    measured.seconds = bestSeconds(runs, [&] {
        const double cpuBefore = childCpuSeconds();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
            std::exit(1);
        }
        measured.cpuSeconds = std::min(measured.cpuSeconds, childCpuSeconds() - cpuBefore);
    });
    measured.entities = countRecords(output);
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string input = (folder / "ov_bench_step_tool.xml").string();
    writeDocument(input);
    std::printf(
        "PLM XML to STEP through ovmesh, whole process: %.1f MB in, 19,920 occurrences (best of %d)\n",
        static_cast<double>(std::filesystem::file_size(input)) / 1e6, runs);
    std::printf("%-8s %10s %10s %14s %12s %18s\n", "profile", "entities", "seconds", "entities/s",
                "cpu seconds", "entities/cpu s");
    double rates[2] = {};
    const char* profiles[] = {"exact", "interop"};
    for (int p = 0; p < 2; ++p) {
        const std::string output =
            (folder / (std::string("ov_bench_step_tool_") + profiles[p] + ".stp")).string();
        const Measured measured = convert(input, output, profiles[p], runs);
        rates[p] = static_cast<double>(measured.entities) / measured.seconds;
        const auto entities = static_cast<double>(measured.entities);
        std::printf("%-8s %10zu %10.3f %14.0f %12.3f %18.0f\n", profiles[p], measured.entities,
                    measured.seconds, rates[p], measured.cpuSeconds, entities / measured.cpuSeconds);
        std::filesystem::remove(output);
    }
    std::printf("interop / exact: %.2f of the rate (target: each at least 1,000,000 entities/s)\n",
                rates[1] / rates[0]);
    std::filesystem::remove(input);
    return 0;
}
