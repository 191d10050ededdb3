#include "ovmesh/output/SafeOutputFile.h"

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

// ".NAME.tmp-XXXXXX.EXT" beside the target, so that it keeps the extension.
fs::path temporaryCandidate(const fs::path& target) {
    const fs::path name = target.filename();
    return target.parent_path() /
           fs::path("." + utf8Path(name) + ".tmp-" + randomTag() + utf8Path(name.extension()));
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

}  // namespace

SafeOutputFile::SafeOutputFile(std::string target) : mTarget(std::move(target)) {
    const fs::path targetPath = fsPath(mTarget);
    const fs::path folder = targetPath.parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        throw ToolError("cannot write '" + mTarget + "': folder '" + utf8Path(folder) + "' does not exist");
    }
    if (fs::is_directory(targetPath, error)) {
        throw ToolError("cannot write '" + mTarget + "': it is a folder");
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path candidate = temporaryCandidate(targetPath);
        if (createExclusively(candidate)) {
            mTemporary = utf8Path(candidate);
            return;
        }
        if (errno != EEXIST) {
            throw ToolError("cannot write '" + mTarget + "': cannot create a file in folder '" +
                            folderText(folder) + "': " + std::generic_category().message(errno));
        }
    }
    throw ToolError("cannot write '" + mTarget + "': no free temporary name in folder '" +
                    folderText(folder) + "'");
}

SafeOutputFile::~SafeOutputFile() {
    if (!mCommitted) {
        std::error_code ignored;
        fs::remove(fsPath(mTemporary), ignored);
    }
}

void SafeOutputFile::commit() {
    std::error_code error;
    fs::rename(fsPath(mTemporary), fsPath(mTarget), error);
    if (error) {
        throw ToolError("cannot write '" + mTarget + "': " + error.message());
    }
    mCommitted = true;
}

}  // namespace ov::ovmesh
