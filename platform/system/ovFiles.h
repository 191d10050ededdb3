#pragma once

// Files as the library and its hosts handle them: paths kept as UTF-8 texts,
// and files that are written under a temporary name and take their own only
// once whole.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace ov {

// The path type of the file system for a UTF-8 path, and back: the system
// gets the wide path where it wants one.
std::filesystem::path pathOfUtf8(std::string_view utf8Path);
std::string utf8OfPath(const std::filesystem::path& path);

// Whether the user may write the file, or create files in the folder, path
// names: the system lets them, and its mode leaves someone write permission.
// What nobody may write counts as read-only even for an administrator, whom
// the system would let through: somebody marked it so.
bool mayWrite(const std::filesystem::path& path);

// What the temporary files staged for a file of that name begin with, so
// that what a killed process left behind can be found.
std::string stagedFilePrefix(const std::filesystem::path& fileName);

// A file written under a hidden temporary name, which takes the place of its
// target only on commit and is removed otherwise, so that nobody ever finds
// the target half written. The temporary file is created empty, beside the
// target and named after namesake (the target's own name unless given); it
// ends in namesake's extension, because writers choose their format by it.
class ovStagedFile {
public:
    explicit ovStagedFile(std::filesystem::path target, const std::filesystem::path& namesake = {});
    ~ovStagedFile();
    ovStagedFile(const ovStagedFile&) = delete;
    ovStagedFile& operator=(const ovStagedFile&) = delete;

    // Why the temporary file could not be created (file_exists when no free
    // name was found); none once it is.
    const std::error_code& creationError() const { return mCreationError; }
    const std::filesystem::path& temporaryPath() const { return mTemporary; }
    const std::filesystem::path& target() const { return mTarget; }

    // Moves the temporary file onto the target, replacing it; the reason when
    // that fails, the temporary file then being removed.
    std::error_code commit();

private:
    std::filesystem::path mTarget;
    std::filesystem::path mTemporary;
    std::error_code mCreationError;
    bool mCommitted = false;
};

// A new empty folder of this process's own in the system's temporary folder,
// removed with what it holds when the object goes; creationError() tells why
// there is none.
class ovPrivateFolder {
public:
    ovPrivateFolder();
    ~ovPrivateFolder();
    ovPrivateFolder(const ovPrivateFolder&) = delete;
    ovPrivateFolder& operator=(const ovPrivateFolder&) = delete;

    const std::error_code& creationError() const { return mCreationError; }
    const std::filesystem::path& path() const { return mPath; }

private:
    std::filesystem::path mPath;
    std::error_code mCreationError;
};

}  // namespace ov
