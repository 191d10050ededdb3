#include "ovmesh/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "ovmesh/ToolError.h"

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
    const fs::path executable = executablePath(argv0);
    const fs::path bin = executable.empty() ? fs::path(".") : executable.parent_path();
    return utf8Path((bin / ".." / "share" / "ovmesh" / "resources").lexically_normal());
}

}  // namespace ov::ovmesh
