#include "ovmesh/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "core/InputFiles.h"
#include "ovmesh/ToolError.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace ov::ovmesh {

namespace fs = std::filesystem;

fs::path fsPath(const std::string& utf8Path) {
    return fs::path(std::u8string(utf8Path.begin(), utf8Path.end()));
}

std::string utf8Path(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

namespace {

// Where argv[0] points to: a path as given, or a name found on PATH.
fs::path executablePath(const std::string& argv0) {
    const fs::path given = fsPath(argv0);
    if (given.has_parent_path()) {
        std::error_code error;
        return fs::absolute(given, error);
    }
#if defined(_WIN32)
    constexpr char kPathListSeparator = ';';
#else
    constexpr char kPathListSeparator = ':';
#endif
    const char* searchPath = std::getenv("PATH");
    std::istringstream folders(searchPath ? searchPath : "");
    for (std::string folder; std::getline(folders, folder, kPathListSeparator);) {
        std::error_code error;
        const fs::path candidate = fsPath(folder) / given;
        if (!folder.empty() && fs::is_regular_file(candidate, error)) {
            return fs::absolute(candidate, error);
        }
    }
    return {};
}

// The running program's file with every link resolved: where the system says
// it is, or else where argv[0] leads. A link to the tool (say in ~/bin) then
// finds the resources of the installation it points into.
fs::path runningExecutable(const std::string& argv0) {
    std::error_code error;
    const fs::path running = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        return running;
    }
    const fs::path given = executablePath(argv0);
    const fs::path resolved = fs::canonical(given, error);
    return error ? given : resolved;
}

}  // namespace

void requireReadableFile(const std::string& path) {
    try {
        openForReading(path);
    } catch (const ReadError& refused) {
        throw ToolError(refused.what());
    }
}

bool mayWrite(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        return false;
    }
#if defined(_WIN32)
    // There the read-only mark of a folder does not keep files out of it.
    return fs::is_directory(status) || (status.permissions() & fs::perms::owner_write) != fs::perms::none;
#else
    constexpr fs::perms kAnyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (status.permissions() & kAnyWrite) != fs::perms::none && access(path.c_str(), W_OK) == 0;
#endif
}

std::string defaultResourceFolder(const std::string& argv0) {
    const fs::path executable = runningExecutable(argv0);
    const fs::path bin = executable.empty() ? fs::path(".") : executable.parent_path();
    return utf8Path((bin / ".." / "share" / "ovmesh" / "resources").lexically_normal());
}

void createFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(fsPath(folder), error);
    if (error || !std::filesystem::is_directory(fsPath(folder))) {
        throw ToolError("cannot create folder '" + folder +
                        "': " + (error ? error.message() : std::string("a file of that name exists")));
    }
}

}  // namespace ov::ovmesh
