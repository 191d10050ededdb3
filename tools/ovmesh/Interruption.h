#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace ov::ovmesh {

// Ctrl-C (SIGINT) and SIGTERM ask the tool to stop. Their handler only notes
// the signal; the work notices it where it asks the progress notifier whether
// it is cancelled and before each load or save, and leaves by throwing
// Interrupted, so that the files it was writing are removed on the way out.
// A signal that was ignored when the tool started stays ignored; a second
// signal stops the tool at once.
void catchInterruptions();

// While one lives, a signal that asks the tool to stop ends it at once, with
// the exit code and an error line as above: for reading an input, which
// writes nothing and whose reader (assimp's, for one) may never ask whether
// to stop. Scopes do not nest.
class StopAtOnceScope {
public:
    StopAtOnceScope();
    ~StopAtOnceScope();
    StopAtOnceScope(const StopAtOnceScope&) = delete;
    StopAtOnceScope& operator=(const StopAtOnceScope&) = delete;
};

// While one lives, a stop at once also removes this folder, which is still
// empty while an input is read (a private folder a conversion writes into).
class RemovedOnStopAtOnce {
public:
    explicit RemovedOnStopAtOnce(const std::filesystem::path& emptyFolder);
    ~RemovedOnStopAtOnce();
    RemovedOnStopAtOnce(const RemovedOnStopAtOnce&) = delete;
    RemovedOnStopAtOnce& operator=(const RemovedOnStopAtOnce&) = delete;
};

// Whether a signal asked the tool to stop.
bool interruptionRequested();

// What a stopped tool answers: kSignalExitBase + the signal's number, as shells
// report a program that a signal stopped.
constexpr int kSignalExitBase = 128;
int interruptedExitCode();

// The work stopped by a signal; the text says which work.
class Interrupted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace ov::ovmesh
