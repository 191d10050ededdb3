#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace ov::ovmesh {

// How a child process ended: its exit code, or the signal that killed it.
struct ChildEnd {
    int exitCode = 0;
    int signal = 0;
};

// The system's name of a signal that ended a child.
std::string signalName(int signal);

// Another program run beside the tool, its standard input empty and its
// standard output and errors captured whole, so that they can be shown
// together once it ends instead of mixed with those of its siblings.
class ChildProcess {
public:
    // Starts program; arguments[0] is the name it sees. ToolError when it
    // cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
    // A child still running is killed and waited for: none outlives the tool.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void sendSignal(int signal) const;
    // Whether both of its output streams ended: it exited, or is about to.
    bool outputEnded() const { return mOutFd == kClosed && mErrFd == kClosed; }
    // Waits for the end of a child whose output ended.
    ChildEnd wait();
    const std::string& out() const { return mOut; }
    const std::string& err() const { return mErr; }
    std::chrono::steady_clock::time_point started() const { return mStarted; }

    // Waits until one of the children has output or timeout passes (a signal
    // cuts it short), and takes what each has written.
    static void collectOutput(const std::vector<ChildProcess*>& children, std::chrono::milliseconds timeout);

private:
#if defined(_WIN32)
    // The process and its pipes' reading ends as system handles.
    using Handle = void*;
    static constexpr Handle kClosed = nullptr;
#else
    using Handle = int;
    static constexpr Handle kClosed = -1;
#endif
    // Reads what the stream has; closes it at its end.
    static void drain(Handle& fd, std::string& text);

    Handle mPid = kClosed;
    Handle mOutFd = kClosed;
    Handle mErrFd = kClosed;
    std::string mOut;
    std::string mErr;
    std::chrono::steady_clock::time_point mStarted;
};

}  // namespace ov::ovmesh
