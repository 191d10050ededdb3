#include <windows.h>

#include <algorithm>
#include <thread>

#include "ovmesh/ToolError.h"
#include "ovmesh/commands/ChildProcess.h"
#include "system/ovFiles.h"

namespace ov::ovmesh {

namespace {

constexpr DWORD kReadBlock = 1 << 16;

std::string systemMessage(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

// A pipe whose reading end stays with the tool and whose writing end the
// child inherits.
void openPipe(HANDLE& reading, HANDLE& writing) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&reading, &writing, &inherited, 0)) {
        throw ToolError("cannot start a conversion: " + systemMessage(GetLastError()));
    }
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
}

void closeHandle(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// One argument as the C runtime of the child splits its command line:
// quoted, with the backslashes before a quote doubled.
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

std::wstring commandLineOf(const std::vector<std::string>& arguments) {
    std::wstring line;
    for (const std::string& argument : arguments) {
        line += (line.empty() ? L"" : L" ") + quoted(pathOfUtf8(argument).wstring());
    }
    return line;
}

}  // namespace

std::string signalName(int signal) {
    return "signal " + std::to_string(signal);
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments)
    : mStarted(std::chrono::steady_clock::now()) {
    HANDLE outWriting = nullptr;
    HANDLE errWriting = nullptr;
    openPipe(mOutFd, outWriting);
    openPipe(mErrFd, errWriting);
    HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    SetHandleInformation(nothing, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = outWriting;
    startup.hStdError = errWriting;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLineOf(arguments);
    const BOOL started = CreateProcessW(pathOfUtf8(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    const DWORD failure = GetLastError();
    closeHandle(outWriting);
    closeHandle(errWriting);
    closeHandle(nothing);
    if (!started) {
        closeHandle(mOutFd);
        closeHandle(mErrFd);
        throw ToolError("cannot start '" + program + "': " + systemMessage(failure));
    }
    CloseHandle(process.hThread);
    mPid = process.hProcess;
}

ChildProcess::~ChildProcess() {
    closeHandle(mOutFd);
    closeHandle(mErrFd);
    if (mPid != nullptr) {
        TerminateProcess(mPid, 1);
        WaitForSingleObject(mPid, INFINITE);
        closeHandle(mPid);
    }
}

// Windows has no signals to send: the child is ended with the exit code a
// POSIX shell gives a process the signal ended.
void ChildProcess::sendSignal(int signal) const {
    if (mPid != nullptr) {
        TerminateProcess(mPid, static_cast<UINT>(128 + signal));
    }
}

ChildEnd ChildProcess::wait() {
    WaitForSingleObject(mPid, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(mPid, &code);
    closeHandle(mPid);
    return {static_cast<int>(code), 0};
}

void ChildProcess::drain(Handle& pipe, std::string& text) {
    char block[kReadBlock];
    DWORD count = 0;
    if (ReadFile(pipe, block, sizeof block, &count, nullptr) && count > 0) {
        text.append(block, count);
    } else {
        closeHandle(pipe);
    }
}

// Anonymous pipes cannot be waited on together: they are looked at in turn
// until one has something or has ended.
void ChildProcess::collectOutput(const std::vector<ChildProcess*>& children,
                                 std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        bool anything = false;
        for (ChildProcess* child : children) {
            for (auto [pipe, text] :
                 {std::pair{&child->mOutFd, &child->mOut}, std::pair{&child->mErrFd, &child->mErr}}) {
                DWORD available = 0;
                if (*pipe != nullptr &&
                    (!PeekNamedPipe(*pipe, nullptr, 0, nullptr, &available, nullptr) || available > 0)) {
                    drain(*pipe, *text);
                    anything = true;
                }
            }
        }
        if (anything || std::chrono::steady_clock::now() >= until) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace ov::ovmesh
