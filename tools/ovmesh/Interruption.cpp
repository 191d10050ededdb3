#include "ovmesh/Interruption.h"

#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t gSignal = 0;
volatile std::sig_atomic_t gStopAtOnce = 0;

constexpr char kStoppedReading[] = "error: interrupted while reading the input\n";

// A path the handler can use as it stands: no allocation in a signal handler. Native characters:
// Windows' narrow paths cannot name every folder.
std::array<std::filesystem::path::value_type, 4096> gFolderToRemove{};

// Only calls that are safe in a signal handler.
void stopAtOnce(int signal) {
#if defined(_WIN32)
    _write(2, kStoppedReading, sizeof kStoppedReading - 1);
#else
    [[maybe_unused]] const ssize_t written =
        write(STDERR_FILENO, kStoppedReading, sizeof kStoppedReading - 1);
#endif
    if (gFolderToRemove[0] != 0) {
#if defined(_WIN32)
        _wrmdir(gFolderToRemove.data());
#else
        rmdir(gFolderToRemove.data());
#endif
    }
    std::_Exit(ov::ovmesh::kSignalExitBase + signal);
}

extern "C" void noteSignal(int signal) {
    if (gStopAtOnce != 0) {
        stopAtOnce(signal);
    }
    if (gSignal == 0) {
        gSignal = signal;
    }
}

void catchSignal(int signal) {
#if defined(_WIN32)
    if (std::signal(signal, noteSignal) == SIG_IGN) {
        std::signal(signal, SIG_IGN);
    }
#else
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
        return;
    }
    // Without SA_RESTART, so that a read waiting on a pipe or a terminal
    // returns and the tool notices the signal. Once only: a second signal
    // ends the tool at once, for work that never asks (a hung outside reader).
    struct sigaction action {};
    action.sa_handler = noteSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
#endif
}

}  // namespace

namespace ov::ovmesh {

void catchInterruptions() {
    catchSignal(SIGINT);
    catchSignal(SIGTERM);
}

StopAtOnceScope::StopAtOnceScope() {
    gStopAtOnce = 1;
}

StopAtOnceScope::~StopAtOnceScope() {
    gStopAtOnce = 0;
}

RemovedOnStopAtOnce::RemovedOnStopAtOnce(const std::filesystem::path& emptyFolder) {
    // A path too long to hold is left behind, as before.
    const std::filesystem::path::string_type& native = emptyFolder.native();
    if (native.size() < gFolderToRemove.size()) {
        native.copy(gFolderToRemove.data(), native.size());
        gFolderToRemove[native.size()] = 0;
    }
}

RemovedOnStopAtOnce::~RemovedOnStopAtOnce() {
    gFolderToRemove[0] = 0;
}

bool interruptionRequested() {
    return gSignal != 0;
}

int interruptedExitCode() {
    return kSignalExitBase + gSignal;
}

}  // namespace ov::ovmesh
