#include "ovmesh/Interruption.h"

#include <csignal>

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void noteSignal(int signal) {
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

bool interruptionRequested() {
    return gSignal != 0;
}

int interruptedExitCode() {
    return kSignalExitBase + gSignal;
}

}  // namespace ov::ovmesh
