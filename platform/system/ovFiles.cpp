#include "system/ovFiles.h"

#include <cerrno>
#include <cstdio>
#include <random>

#include "system/ovStringUtils.h"
#include "system/ovUtf8.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace ov {

namespace fs = std::filesystem;

namespace {

constexpr int kNameAttempts = 100;

// Each thread draws its own names: saves run side by side in a host.
std::string randomTag() {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string tag(6, ' ');
    for (char& c : tag) {
        c = kAlphabet[pick(generator)];
    }
    return tag;
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

}  // namespace

#if defined(_WIN32)
// std::filesystem throws where a name is not UTF-8, or not UTF-16 the other way; names are text
// from files and folders of any origin, so their bad units become U+FFFD instead.
fs::path pathOfUtf8(std::string_view utf8Path) {
    return fs::path(ovStringUtils::convertToUnicode(utf8Path, ovCharSetUtf8));
}

std::string utf8OfPath(const fs::path& path) {
    const std::wstring& wide = path.native();
    std::string utf8;
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t unit = wide[i];
        const bool pairs = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                           wide[i + 1] <= 0xDFFF;
        if (pairs) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (wide[++i] - 0xDC00u);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = kReplacementCharacter;
        }
        appendUtf8(unit, utf8);
    }
    return utf8;
}
#else
// A POSIX path is its bytes.
fs::path pathOfUtf8(std::string_view utf8Path) {
    return fs::path(utf8Path);
}

std::string utf8OfPath(const fs::path& path) {
    return path.native();
}
#endif

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

std::string stagedFilePrefix(const fs::path& fileName) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "." + text at -O3.
    std::string prefix = ".";
    prefix += utf8OfPath(fileName);
    prefix += ".tmp-";
    return prefix;
}

ovStagedFile::ovStagedFile(fs::path target, const fs::path& namesake) : mTarget(std::move(target)) {
    const fs::path name = namesake.empty() ? mTarget.filename() : namesake.filename();
    const std::string stem = stagedFilePrefix(name);
    const std::string extension = utf8OfPath(name.extension());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path candidate = mTarget.parent_path() / pathOfUtf8(stem + randomTag() + extension);
        if (createExclusively(candidate)) {
            mTemporary = candidate;
            return;
        }
        if (errno != EEXIST) {
            mCreationError = std::error_code(errno, std::generic_category());
            return;
        }
    }
    mCreationError = std::make_error_code(std::errc::file_exists);
}

ovStagedFile::~ovStagedFile() {
    if (!mCommitted && !mTemporary.empty()) {
        std::error_code ignored;
        fs::remove(mTemporary, ignored);
    }
}

std::error_code ovStagedFile::commit() {
    std::error_code error;
    fs::rename(mTemporary, mTarget, error);
    mCommitted = !error;
    return error;
}

ovPrivateFolder::ovPrivateFolder() {
    const fs::path parent = fs::temp_directory_path(mCreationError);
    for (int attempt = 0; attempt < kNameAttempts && !mCreationError; ++attempt) {
        const fs::path candidate = parent / ("ov-" + randomTag());
        if (fs::create_directory(candidate, mCreationError)) {
            std::error_code ignored;
            fs::permissions(candidate, fs::perms::owner_all, ignored);
            mPath = candidate;
            return;
        }
    }
    if (!mCreationError) {
        mCreationError = std::make_error_code(std::errc::file_exists);
    }
}

ovPrivateFolder::~ovPrivateFolder() {
    if (!mPath.empty()) {
        std::error_code ignored;
        fs::remove_all(mPath, ignored);
    }
}

}  // namespace ov
