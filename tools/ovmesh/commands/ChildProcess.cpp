#include "ovmesh/commands/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "ovmesh/ToolError.h"

extern char** environ;

namespace ov::ovmesh {

namespace {

constexpr size_t kReadBlock = 1 << 16;

// A pipe whose ends are not inherited by the other children: only the ends
// made a child's standard streams reach it.
void openPipe(int ends[2]) {
    if (pipe(ends) != 0) {
        throw ToolError("cannot start a conversion: " + std::generic_category().message(errno));
    }
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    fcntl(ends[1], F_SETFD, FD_CLOEXEC);
}

void closeFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// The file actions and their release, whatever way the start ends.
class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&mActions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&mActions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &mActions; }

private:
    posix_spawn_file_actions_t mActions;
};

}  // namespace

std::string signalName(int signal) {
    return strsignal(signal);
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments)
    : mStarted(std::chrono::steady_clock::now()) {
    int out[2];
    int err[2];
    openPipe(out);
    openPipe(err);
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), err[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failure = posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
    close(out[1]);
    close(err[1]);
    mOutFd = out[0];
    mErrFd = err[0];
    if (failure != 0) {
        closeFd(mOutFd);
        closeFd(mErrFd);
        throw ToolError("cannot start '" + program + "': " + std::generic_category().message(failure));
    }
    mPid = pid;
}

ChildProcess::~ChildProcess() {
    closeFd(mOutFd);
    closeFd(mErrFd);
    if (mPid > 0) {
        kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
    }
}

void ChildProcess::sendSignal(int signal) const {
    if (mPid > 0) {
        kill(mPid, signal);
    }
}

ChildEnd ChildProcess::wait() {
    int status = 0;
    while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
    }
    mPid = -1;
    if (WIFSIGNALED(status)) {
        return {0, WTERMSIG(status)};
    }
    return {WEXITSTATUS(status), 0};
}

void ChildProcess::drain(int& fd, std::string& text) {
    char block[kReadBlock];
    const ssize_t count = read(fd, block, sizeof block);
    if (count > 0) {
        text.append(block, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
        closeFd(fd);
    }
}

void ChildProcess::collectOutput(const std::vector<ChildProcess*>& children,
                                 std::chrono::milliseconds timeout) {
    std::vector<pollfd> watched;
    std::vector<std::pair<int*, std::string*>> streams;
    for (ChildProcess* child : children) {
        for (auto [fd, text] :
             {std::pair{&child->mOutFd, &child->mOut}, std::pair{&child->mErrFd, &child->mErr}}) {
            if (*fd >= 0) {
                watched.push_back({*fd, POLLIN, 0});
                streams.emplace_back(fd, text);
            }
        }
    }
    if (poll(watched.data(), watched.size(), static_cast<int>(timeout.count())) <= 0) {
        return;
    }
    for (size_t i = 0; i < watched.size(); ++i) {
        if (watched[i].revents != 0) {
            drain(*streams[i].first, *streams[i].second);
        }
    }
}

}  // namespace ov::ovmesh
