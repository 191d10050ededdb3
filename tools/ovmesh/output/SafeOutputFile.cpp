#include "ovmesh/output/SafeOutputFile.h"

#include <utf8.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"

namespace ov::ovmesh {

namespace fs = std::filesystem;

namespace {

constexpr int kNameAttempts = 100;
// Links followed before a chain counts as a loop, as systems count them.
constexpr int kLinkHops = 40;

std::string randomTag() {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string tag(6, ' ');
    for (char& c : tag) {
        c = kAlphabet[pick(generator)];
    }
    return tag;
}

// What the temporary files of a target called name begin with.
std::string temporaryPrefix(const fs::path& name) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "." + text at -O3.
    std::string prefix = ".";
    prefix += utf8Path(name);
    prefix += ".tmp-";
    return prefix;
}

// ".NAME.tmp-XXXXXX.EXT" beside the target, so that it keeps the extension.
fs::path temporaryCandidate(const fs::path& target) {
    const fs::path name = target.filename();
    const std::string temporary = temporaryPrefix(name) + randomTag() + utf8Path(name.extension());
    return target.parent_path() / fsPath(temporary);
}

// Creates the file only if it does not exist yet; errno tells why not.
bool createExclusively(const fs::path& path) {
#if defined(_WIN32)
    std::FILE* file = _wfopen(path.c_str(), L"wx");
#else
    std::FILE* file = std::fopen(path.c_str(), "wx");
#endif
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

std::string folderText(const fs::path& folder) {
    return folder.empty() ? "." : utf8Path(folder);
}

[[noreturn]] void refuse(const std::string& target, const std::string& reason) {
    throw ToolError("cannot write '" + target + "': " + reason);
}

// Where the chain of symbolic links that starts at target ends: the target
// itself when it is no link.
fs::path linkChainEnd(const std::string& target) {
    fs::path path = fsPath(target);
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
    return links == TargetLinks::Follow ? linkChainEnd(target) : fsPath(target);
}

fs::path namesakeBeside(const fs::path& destination, const std::string& target) {
    return destination.parent_path() / fsPath(target).filename();
}

// The file a save to target replaces, once it passed the checks of
// requireWritableTarget. Its own status, not that of a file a link of it
// leads to: a link that is replaced is no file written.
fs::path checkedDestination(const std::string& target, TargetLinks links) {
    const std::string name = utf8Path(fsPath(target).filename());
    if (!utf8::is_valid(name.begin(), name.end())) {
        refuse(target, "its name is not UTF-8 text");
    }
    const fs::path destination = replacedFile(target, links);
    const fs::path folder = destination.parent_path().empty() ? fs::path(".") : destination.parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        refuse(target, "folder '" + utf8Path(folder) + "' does not exist");
    }
    const fs::file_status status = fs::symlink_status(destination, error);
    if (fs::is_directory(status)) {
        refuse(target, "it is a folder");
    }
    if (!mayWrite(folder)) {
        refuse(target, "folder '" + utf8Path(folder) + "' is not writable");
    }
    if (fs::exists(status) && !fs::is_symlink(status) && !mayWrite(destination)) {
        refuse(target, "it is read-only");
    }
    return destination;
}

// Named after the target, whose extension picks the driver, in the folder of
// the file it replaces.
fs::path createTemporaryBeside(const fs::path& destination, const std::string& target) {
    const std::string folder = folderText(destination.parent_path());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path candidate = temporaryCandidate(namesakeBeside(destination, target));
        if (createExclusively(candidate)) {
            return candidate;
        }
        if (errno != EEXIST) {
            refuse(target, "cannot create a file in folder '" + folder +
                               "': " + std::generic_category().message(errno));
        }
    }
    refuse(target, "no free temporary name in folder '" + folder + "'");
}

}  // namespace

void requireWritableTarget(const std::string& target, TargetLinks links) {
    checkedDestination(target, links);
}

std::string besideWrittenFile(const std::string& target, TargetLinks links) {
    return utf8Path(namesakeBeside(replacedFile(target, links), target));
}

SafeOutputFile::SafeOutputFile(std::string target, TargetLinks links) : mTarget(std::move(target)) {
    const fs::path destination = checkedDestination(mTarget, links);
    const fs::path temporary = createTemporaryBeside(destination, mTarget);
    mDestination = utf8Path(destination);
    mTemporary = utf8Path(temporary);
    std::error_code error;
    const fs::file_status replaced = fs::symlink_status(destination, error);
    if (fs::is_regular_file(replaced)) {
        fs::permissions(temporary, replaced.permissions() & fs::perms::all, error);
        if (error) {
            fs::remove(temporary, error);
            refuse(mTarget, "cannot give it the permissions of the file it replaces");
        }
    }
}

SafeOutputFile::~SafeOutputFile() {
    if (!mCommitted) {
        std::error_code ignored;
        fs::remove(fsPath(mTemporary), ignored);
    }
}

void SafeOutputFile::commit() {
    std::error_code error;
    fs::rename(fsPath(mTemporary), fsPath(mDestination), error);
    if (error) {
        throw ToolError("cannot write '" + mTarget + "': " + error.message());
    }
    mCommitted = true;
}

void removeTemporariesOf(const std::string& target) {
    const fs::path destination = fsPath(target);
    const std::string prefix = temporaryPrefix(destination.filename());
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(
             destination.parent_path().empty() ? fs::path(".") : destination.parent_path(), error)) {
        if (utf8Path(entry.path().filename()).starts_with(prefix)) {
            fs::remove(entry.path(), error);
        }
    }
}

PrivateFolder::PrivateFolder() {
    std::error_code error;
    const fs::path parent = fs::temp_directory_path(error);
    for (int attempt = 0; attempt < kNameAttempts && !error; ++attempt) {
        const fs::path candidate = parent / ("ovmesh-" + randomTag());
        if (fs::create_directory(candidate, error)) {
            fs::permissions(candidate, fs::perms::owner_all, error);
            mPath = candidate;
            return;
        }
    }
    throw ToolError("cannot create a temporary folder" + (error ? ": " + error.message() : std::string()));
}

PrivateFolder::~PrivateFolder() {
    std::error_code ignored;
    fs::remove_all(mPath, ignored);
}

}  // namespace ov::ovmesh
