#pragma once

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

// Peak resident memory of this process in kB (Linux's VmHWM); missing elsewhere.
inline std::optional<long> peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return std::nullopt;
}

// Starts a new peak from the current use; false where the system cannot.
inline bool resetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// How far work raised resident memory above what the process held before it, in kB.
inline std::optional<long> peakResidentAddedKb(const std::function<void()>& work) {
    if (!resetPeakResident()) {
        return std::nullopt;
    }
    const std::optional<long> before = peakResidentKb();
    work();
    const std::optional<long> after = peakResidentKb();
    if (!before || !after) {
        return std::nullopt;
    }
    return *after - *before;
}
