#include <algorithm>
#include <filesystem>
#include <system_error>

#include "system/ovFiles.h"
#include "system/ovStringUtils.h"

namespace ov {

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

size_t lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string fileName(const std::string& path) {
    const size_t separator = lastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// Where the extension's "." is in a file name, or npos. A leading dot belongs to
// the name (".profile" has none).
size_t extensionDot(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == 0 ? std::string::npos : dot;
}

}  // namespace

bool ovDirUtils::FileExistsUtf8(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(pathOfUtf8(path), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool ovDirUtils::FolderExistsUtf8(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(pathOfUtf8(path), error);
}

bool ovDirUtils::RemoveFileUtf8(const std::string& path, std::string* errorText) {
    auto fail = [errorText](std::string reason) {
        if (errorText) {
            *errorText = std::move(reason);
        }
        return false;
    };
    if (FolderExistsUtf8(path)) {
        return fail("is a folder, not a file");
    }
    std::error_code error;
    const bool removed = std::filesystem::remove(pathOfUtf8(path), error);
    if (error) {
        return fail(error.message());
    }
    return removed || fail("no such file");
}

std::string ovDirUtils::ExtractFileBaseName(const std::string& path, bool withExtension) {
    std::string name = fileName(path);
    if (!withExtension) {
        name = name.substr(0, extensionDot(name));
    }
    return name;
}

std::string ovDirUtils::ExtractFileExtension(const std::string& path, bool lowerCase, int minLength) {
    const std::string name = fileName(path);
    const size_t dot = extensionDot(name);
    if (dot == std::string::npos) {
        return {};
    }
    std::string extension = name.substr(dot + 1);
    if (minLength > 0 && extension.size() < static_cast<size_t>(minLength)) {
        return {};
    }
    if (lowerCase) {
        ovStringUtils::toLower(extension);
    }
    return extension;
}

std::string ovDirUtils::ExtractFolder(const std::string& path) {
    const size_t separator = lastSeparator(path);
    if (separator == std::string::npos) {
        return {};
    }
    size_t end = separator;
    while (end > 0 && isSeparator(path[end - 1])) {
        --end;
    }
    // A file at the root keeps the root as its folder.
    return end == 0 ? path.substr(0, 1) : path.substr(0, end);
}

std::string ovDirUtils::JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    const size_t nameStart = std::min(name.find_first_not_of("/\\"), name.size());
    std::string joined = folder;
    if (!isSeparator(joined.back())) {
        joined += '/';
    }
    joined.append(name, nameStart);
    return joined;
}

}  // namespace ov
