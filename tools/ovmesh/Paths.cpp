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

namespace ov::ovmesh {

namespace fs = std::filesystem;

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
