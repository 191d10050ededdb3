// Loads the full AP242 long form repeatedly and lays out every instance the STEP
// exporter writes. Prints the time per load against its target and against the
// floor of reading the file, and the share of a load spent in the
// regular-expression engine.
//
// Usage: bench_express_schema [loads] [schema file]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "DriverEntityLists.h"
#include "express/ExpressSchema.h"
#include "regexp/ovRegExp.h"
#include "support/Timing.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLoadTargetMs = 50.0;
constexpr int kDefaultLoads = 50;
constexpr int kLayoutRounds = 2000;

// Time spent inside the wrapped engine calls since the last reset.
Clock::duration gEngineTime{};

class EngineTimer {
public:
    EngineTimer() : mStart(Clock::now()) {}
    ~EngineTimer() { gEngineTime += Clock::now() - mStart; }
    EngineTimer(const EngineTimer&) = delete;
    EngineTimer& operator=(const EngineTimer&) = delete;

private:
    Clock::time_point mStart;
};

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

// Link-time wrappers (-Wl,--wrap): each forwards to the engine's own entry point.
using ov::ovRegExp;
extern "C" {
void __real__ZN2ov8ovRegExpC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS0_15CaseSensitivityEib(
    ovRegExp* self, const std::string& pattern, ovRegExp::CaseSensitivity caseSensitivity, int syntax,
    bool utf);
void __real__ZN2ov8ovRegExp10setMinimalEb(ovRegExp* self, bool minimal);
size_t __real__ZN2ov8ovRegExp7indexInERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEm(
    ovRegExp* self, const std::string& text, size_t offset);
int __real__ZN2ov8ovRegExp6removeERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(ovRegExp* self,
                                                                                        std::string& text);

void __wrap__ZN2ov8ovRegExpC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS0_15CaseSensitivityEib(
    ovRegExp* self, const std::string& pattern, ovRegExp::CaseSensitivity caseSensitivity, int syntax,
    bool utf) {
    EngineTimer timer;
    __real__ZN2ov8ovRegExpC1ERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS0_15CaseSensitivityEib(
        self, pattern, caseSensitivity, syntax, utf);
}
void __wrap__ZN2ov8ovRegExp10setMinimalEb(ovRegExp* self, bool minimal) {
    EngineTimer timer;
    __real__ZN2ov8ovRegExp10setMinimalEb(self, minimal);
}
size_t __wrap__ZN2ov8ovRegExp7indexInERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEm(
    ovRegExp* self, const std::string& text, size_t offset) {
    EngineTimer timer;
    return __real__ZN2ov8ovRegExp7indexInERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEm(self, text,
                                                                                                  offset);
}
int __wrap__ZN2ov8ovRegExp6removeERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(ovRegExp* self,
                                                                                        std::string& text) {
    EngineTimer timer;
    return __real__ZN2ov8ovRegExp6removeERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE(self, text);
}
}

namespace {

struct LoadTimes {
    Clock::duration best = Clock::duration::max();
    Clock::duration total{};
    Clock::duration engine{};
};

bool timeLoads(const std::string& path, int loads, LoadTimes& times, ov::express::ExpressSchema& schema) {
    for (int i = 0; i < loads; ++i) {
        gEngineTime = {};
        const Clock::time_point start = Clock::now();
        if (!schema.loadSchema(path)) {
            std::fprintf(stderr, "failed to load %s\n", path.c_str());
            return false;
        }
        const Clock::duration elapsed = Clock::now() - start;
        times.best = std::min(times.best, elapsed);
        times.total += elapsed;
        times.engine += gEngineTime;
    }
    return true;
}

bool timeLayouts(const ov::express::ExpressSchema& schema) {
    const auto& lists = ov::express::bench::driverEntityLists();
    std::map<std::string, std::vector<ov::express::Attribute>> result;
    const Clock::time_point start = Clock::now();
    for (int round = 0; round < kLayoutRounds; ++round) {
        for (const std::list<std::string>& names : lists) {
            if (!schema.getAttributeList(names, result)) {
                std::fprintf(stderr, "failed to lay out %s\n", names.front().c_str());
                return false;
            }
        }
    }
    const double calls = static_cast<double>(kLayoutRounds) * static_cast<double>(lists.size());
    std::printf("getAttributeList: %.2f us per call (%zu exporter entity lists, %d rounds)\n",
                milliseconds(Clock::now() - start) * 1000.0 / calls, lists.size(), kLayoutRounds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int loads = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultLoads;
    const std::string path = argc > 2 ? argv[2] : OV_SHARED_DATA_DIR "/step/ap242_1_36_mim_lf.exp";

    ov::express::ExpressSchema schema;
    LoadTimes times;
    if (!timeLoads(path, 1, times, schema)) {  // warm-up: page cache, JIT allocator
        return 1;
    }
    times = {};
    if (!timeLoads(path, loads, times, schema)) {
        return 1;
    }
    const double meanMs = milliseconds(times.total) / loads;
    const double engineShare = 100.0 * milliseconds(times.engine) / milliseconds(times.total);
    const double readMs = 1000.0 * bestSeconds(loads, [&path] { readWholeFile(path); });
    std::printf(
        "schema load: %.1f ms (target < %.0f ms), best %.1f ms, regexp share %.0f%%, %zu entities, %d "
        "loads\n",
        meanMs, kLoadTargetMs, milliseconds(times.best), engineShare, schema.entities.size(), loads);
    std::printf("file read floor: %.2f ms (load is %.0fx the read)\n", readMs, meanMs / readMs);
    return timeLayouts(schema) ? 0 : 1;
}
