#include "occt/OcctBrepMesher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <sstream>

#include "core/InputFiles.h"
#include "occt/MeshWire.h"
#include "occt/OcctMeshing.h"

#ifdef OV_COVERAGE_BUILD
// Writes a coverage build's counters, which _exit would drop with the child.
extern "C" void __gcov_dump();
#endif

namespace ov::occt {

namespace {

// What the meshes may take on their way back: some hundred million triangles.
constexpr size_t kLargestAnswer = size_t{1} << 32;

void writeAll(int fd, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        const ssize_t written = write(fd, bytes.data() + at, bytes.size() - at);
        if (written < 0 && errno != EINTR) {
            return;
        }
        at += written > 0 ? static_cast<size_t>(written) : 0;
    }
}

// In the child: meshes, answers through fd and ends without running the
// parent's exit handlers, whose state it only copied. What Open CASCADE
// prints goes nowhere: the parent's output may be a file being written.
[[noreturn]] void meshInChild(int fd, std::string_view text, const std::vector<uint64_t>& shapes,
                              const step::StepLoadSettings& settings) {
    // The parent's handlers of crashes (a sanitizer's, a host's) would hide
    // which signal ended the child, and its handlers of interrupts would act
    // on the parent's files a second time.
    for (const int caught : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        signal(caught, SIG_DFL);
    }
    const int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, STDOUT_FILENO);
    dup2(nowhere, STDERR_FILENO);
    std::string answer;
    try {
        answer = encodeMeshes(meshWithOcct(text, shapes, settings));
    } catch (const std::exception& failure) {
        answer = encodeFailure(failure.what());
    } catch (...) {
        answer = encodeFailure("Open CASCADE failed to mesh its B-rep shapes");
    }
    writeAll(fd, answer);
#ifdef OV_COVERAGE_BUILD
    __gcov_dump();
#endif
    _exit(0);
}

// The child, killed and waited for however the parent leaves.
class Child {
public:
    Child(pid_t pid, int fd) : mPid(pid), mFd(fd) {}
    ~Child() {
        close(mFd);
        if (mPid > 0) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int fd() const { return mFd; }
    // How it ended, once its answer ended.
    int wait() {
        int status = 0;
        while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
        }
        mPid = -1;
        return status;
    }

private:
    pid_t mPid;
    int mFd;
};

std::string signalName(int signal) {
    const char* description = strsignal(signal);
    return "signal " + std::to_string(signal) + (description ? std::string(" (") + description + ")" : "");
}

// The child's whole answer; ReadError when it outlasts timeout or answers too much.
std::string readAnswer(Child& child, const std::string& source, double timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
    std::string answer;
    char chunk[1 << 16];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready{child.fd(), POLLIN, 0};
        const int polled =
            left.count() > 0 ? poll(&ready, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000))) : 0;
        if (polled == 0 && Clock::now() >= deadline) {
            std::ostringstream limit;
            limit << timeoutSeconds;
            throw ReadError(source + ": Open CASCADE took longer than " + limit.str() +
                            " s to mesh its B-rep shapes, and was stopped");
        }
        if (polled <= 0) {
            continue;
        }
        const ssize_t got = read(child.fd(), chunk, sizeof chunk);
        if (got == 0) {
            return answer;
        }
        if (got > 0) {
            answer.append(chunk, static_cast<size_t>(got));
        }
        if (answer.size() > kLargestAnswer) {
            throw ReadError(source +
                            ": the meshes of its B-rep shapes would take more than 4 GB: ask for a "
                            "coarser deflection");
        }
    }
}

void requireSensible(const step::StepLoadSettings& settings, const std::string& source) {
    if (!(settings.linearDeflection > 0) || !std::isfinite(settings.linearDeflection) ||
        !(settings.angularDeflectionDegrees > 0 && settings.angularDeflectionDegrees < 180) ||
        !(settings.timeoutSeconds > 0)) {
        throw ReadError(source +
                        ": B-rep shapes are meshed with a positive linear deflection, an angular "
                        "deflection between 0 and 180 degrees and a positive time limit");
    }
}

}  // namespace

step::BrepMeshes OcctBrepMesher::mesh(std::string_view text, const std::string& source,
                                      const std::vector<uint64_t>& shapes,
                                      const step::StepLoadSettings& settings) const {
    requireSensible(settings, source);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw ReadError(source + ": no pipe for Open CASCADE's process: " + std::strerror(errno));
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        meshInChild(ends[1], text, shapes, settings);
    }
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        throw ReadError(source + ": no process for Open CASCADE: " + std::strerror(errno));
    }
    Child child(pid, ends[0]);
    const std::string answer = readAnswer(child, source, settings.timeoutSeconds);
    const int status = child.wait();
    if (WIFSIGNALED(status)) {
        throw ReadError(source + ": Open CASCADE died of " + signalName(WTERMSIG(status)) +
                        " reading or meshing its B-rep shapes");
    }
    if (WEXITSTATUS(status) != 0) {
        throw ReadError(source + ": Open CASCADE's process ended with exit code " +
                        std::to_string(WEXITSTATUS(status)) + " reading or meshing its B-rep shapes");
    }
    return decodeMeshes(answer, source);
}

}  // namespace ov::occt
