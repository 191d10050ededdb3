#pragma once

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <locale>
#include <string>
#include <vector>

#include "system/ovFiles.h"
#include "system/ovLog.h"
#include "system/ovSystemUtils.h"

namespace ov::test {

// Captures every log line written while it lives. Installs a global log when
// the process has none, and removes it again.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<ovLogLine>& lines() const { return mLines; }
    // The texts of the captured lines of one type, in order.
    std::vector<std::string> texts(ovLogType type) const;
    void clear() { mLines.clear(); }

private:
    std::vector<ovLogLine> mLines;
    ovLog* mOwnedLog = nullptr;
    int mSinkId = 0;
};

// Fixes the system clock while it lives (default: 2026-06-15T12:34:56Z, local
// offset +01:00).
class FixedClock {
public:
    explicit FixedClock(ovClockReading reading = {1781526896000, 60});
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

// A fresh empty folder, removed with its content when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return mPath; }
    // The UTF-8 path of a file in the folder, as the library takes paths.
    std::string file(const std::string& name) const { return utf8OfPath(mPath / pathOfUtf8(name)); }

private:
    std::filesystem::path mPath;
};

// A process locale whose decimal mark is a comma and whose thousands are grouped, for C and,
// where the standard library has named locales, for C++ too, as a host may set it; the previous
// one comes back when it ends.
class DecimalCommaLocale {
public:
    DecimalCommaLocale();
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

private:
    std::locale mPreviousGlobal;
    std::string mPreviousC;
};

#if defined(_WIN32)
// Windows limits no process's file sizes: the tests of a file that cannot grow skip there.
#define OV_FILE_SIZE_LIMIT_OR_SKIP() GTEST_SKIP() << "Windows has no per-process limit of file sizes"

class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t) { ADD_FAILURE() << "no file size limit on Windows"; }
};
#else
#define OV_FILE_SIZE_LIMIT_OR_SKIP() static_cast<void>(0)

// Files larger than the limit cannot be written while it lives: a write
// beyond it fails (the signal it would raise is ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes) : mPreviousHandler(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &mPrevious);
        const rlimit limit{bytes, mPrevious.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &mPrevious);
        std::signal(SIGXFSZ, mPreviousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit mPrevious{};
    void (*mPreviousHandler)(int);
};
#endif

// Where fault sweeps stop a file of size bytes: at every byte offset, or on a
// grid of at least 256 offsets over a larger file.
inline std::vector<size_t> sweepOffsets(size_t size) {
    const size_t step = std::max<size_t>(1, size / 256);
    std::vector<size_t> offsets;
    for (size_t offset = 0; offset < size; offset += step) {
        offsets.push_back(offset);
    }
    return offsets;
}

// The names in a folder, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);
// Compares content with the golden file tests/data/<relativePath>, byte for
// byte. With OV_UPDATE_GOLDEN set in the environment the file is rewritten
// instead, to be reviewed before it is committed.
void expectMatchesGolden(const std::string& relativePath, const std::string& content);
// Folders of the test data (tests/data), the shared data and the bundled resources.
std::filesystem::path testDataDir();
std::filesystem::path sharedDataDir();
std::filesystem::path resourcesDir();

}  // namespace ov::test

// Declares `variable` as the path of a file below the shared data folder. A clone without that
// folder skips the calling test with a message naming the missing file.
#define OV_SHARED_DATA_OR_SKIP(variable, relativePath)                                   \
    const std::filesystem::path variable = ::ov::test::sharedDataDir() / (relativePath); \
    if (!std::filesystem::exists(variable))                                              \
    GTEST_SKIP() << "missing shared data file " << variable.string()
