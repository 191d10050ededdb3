#include "core/SafeOutputFile.h"

#include <utf8.h>

#include <filesystem>
#include <system_error>

#include "core/ServiceError.h"

namespace ov {

namespace fs = std::filesystem;

namespace {

// Links followed before a chain counts as a loop, as systems count them.
constexpr int kLinkHops = 40;

std::string folderText(const fs::path& folder) {
    return folder.empty() ? "." : utf8OfPath(folder);
}

[[noreturn]] void refuse(const std::string& target, const std::string& reason) {
    throw ServiceError("cannot write '" + target + "': " + reason);
}

// Where the chain of symbolic links that starts at target ends: the target
// itself when it is no link.
fs::path linkChainEnd(const std::string& target) {
    fs::path path = pathOfUtf8(target);
    for (int hop = 0; hop < kLinkHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) {
            return path;
        }
        const fs::path next = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = path.parent_path() / next;
    }
    refuse(target, "its symbolic links lead to no file");
}

fs::path replacedFile(const std::string& target, TargetLinks links) {
    return links == TargetLinks::Follow ? linkChainEnd(target) : pathOfUtf8(target);
}

fs::path namesakeBeside(const fs::path& destination, const std::string& target) {
    return destination.parent_path() / pathOfUtf8(target).filename();
}

// The file a save to target replaces, once it passed the checks of
// requireWritableTarget. Its own status, not that of a file a link of it
// leads to: a link that is replaced is no file written.
fs::path checkedDestination(const std::string& target, TargetLinks links) {
    const std::string name = utf8OfPath(pathOfUtf8(target).filename());
    if (!utf8::is_valid(name.begin(), name.end())) {
        refuse(target, "its name is not UTF-8 text");
    }
    const fs::path destination = replacedFile(target, links);
    const fs::path folder = destination.parent_path().empty() ? fs::path(".") : destination.parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        refuse(target, "folder '" + utf8OfPath(folder) + "' does not exist");
    }
    const fs::file_status status = fs::symlink_status(destination, error);
    if (fs::is_directory(status)) {
        refuse(target, "it is a folder");
    }
    if (!mayWrite(folder)) {
        refuse(target, "folder '" + utf8OfPath(folder) + "' is not writable");
    }
    if (fs::exists(status) && !fs::is_symlink(status) && !mayWrite(destination)) {
        refuse(target, "it is read-only");
    }
    return destination;
}

}  // namespace

void requireWritableTarget(const std::string& target, TargetLinks links) {
    checkedDestination(target, links);
}

std::string besideWrittenFile(const std::string& target, TargetLinks links) {
    return utf8OfPath(namesakeBeside(replacedFile(target, links), target));
}

// Named after the target, whose extension picks the driver, in the folder of
// the file it replaces.
SafeOutputFile::SafeOutputFile(std::string target, TargetLinks links) : mTarget(std::move(target)) {
    const fs::path destination = checkedDestination(mTarget, links);
    mStaged = std::make_unique<ovStagedFile>(destination, pathOfUtf8(mTarget));
    if (const std::error_code& error = mStaged->creationError()) {
        const std::string folder = folderText(destination.parent_path());
        refuse(mTarget, error == std::errc::file_exists
                            ? "no free temporary name in folder '" + folder + "'"
                            : "cannot create a file in folder '" + folder + "': " + error.message());
    }
    mTemporary = utf8OfPath(mStaged->temporaryPath());
    std::error_code error;
    const fs::file_status replaced = fs::symlink_status(destination, error);
    if (fs::is_regular_file(replaced)) {
        fs::permissions(mStaged->temporaryPath(), replaced.permissions() & fs::perms::all, error);
        if (error) {
            refuse(mTarget, "cannot give it the permissions of the file it replaces");
        }
    }
}

SafeOutputFile::~SafeOutputFile() = default;

void SafeOutputFile::commit() {
    if (const std::error_code error = mStaged->commit()) {
        throw ServiceError("cannot write '" + mTarget + "': " + error.message());
    }
}

void removeTemporariesOf(const std::string& target) {
    const fs::path destination = pathOfUtf8(target);
    const std::string prefix = stagedFilePrefix(destination.filename());
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(
             destination.parent_path().empty() ? fs::path(".") : destination.parent_path(), error)) {
        if (utf8OfPath(entry.path().filename()).starts_with(prefix)) {
            fs::remove(entry.path(), error);
        }
    }
}

}  // namespace ov
