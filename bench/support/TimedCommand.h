#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "support/Timing.h"

namespace ov::bench {

// Runs a command line as a user would, runs times; answers its best wall time
// in seconds and the peak resident memory of the last run in MB, as
// /usr/bin/time reports it. The report file goes into folder.
inline std::pair<double, double> timedCommand(const std::string& command, const std::filesystem::path& folder,
                                              int runs = 1) {
    const std::filesystem::path report = folder / "time.txt";
    const std::string line =
        "/usr/bin/time -f %M -o '" + report.string() + "' " + command + " >/dev/null 2>&1";
    const double seconds = bestSeconds(runs, [&] {
        if (std::system(line.c_str()) != 0) {
            std::printf("failed: %s\n", command.c_str());
        }
    });
    std::ifstream kilobytes(report);
    double peak = 0;
    kilobytes >> peak;
    return {seconds, peak / 1024};
}

}  // namespace ov::bench
