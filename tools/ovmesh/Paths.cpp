#include "ovmesh/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "ovmesh/ToolError.h"

namespace ov::ovmesh {

namespace fs = std::filesystem;

std::optional<fs::path> locateNamedFile(const fs::path& folder, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    const fs::path named = fsPath(name);
    std::error_code error;
    for (const fs::path& candidate : {folder / named, folder / named.filename()}) {
        if (fs::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return std::nullopt;
}

namespace {

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

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

std::ifstream openForReading(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(fsPath(path), error);
    if (!fs::exists(status)) {
        throw ToolError("cannot read '" + path + "': no such file");
    }
    if (fs::is_directory(status)) {
        throw ToolError("cannot read '" + path + "': it is a folder");
    }
    std::ifstream stream(fsPath(path), std::ios::binary);
    if (!stream) {
        throw ToolError("cannot read '" + path + "': " + systemReason(errno));
    }
    return stream;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream stream = openForReading(path);
    std::string content{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    if (stream.bad()) {
        throw ToolError("cannot read '" + path + "': " + systemReason(errno));
    }
    return content;
}

void requireReadableFile(const std::string& path) {
    openForReading(path);
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
