#include "core/ImageFiles.h"

#include <algorithm>
#include <array>

#include "core/DriverLog.h"
#include "core/FileNames.h"
#include "scenegraph/ovIoManager.h"
#include "system/ovFiles.h"
#include "system/ovIoDevice.h"
#include "system/ovUtf8.h"

namespace ov {
namespace fs = std::filesystem;

namespace {

// Longer ids and prefixes are cut, so that a long material or document name
// still gives a file name (and a temporary name) every file system takes.
constexpr size_t kMaxIdCharacters = 128;
constexpr size_t kMaxPrefixBytes = 64;

bool isAsciiLetterOrDigit(uint32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// What a file name keeps of an id: only characters that mean nothing to any
// file system, shell or URI.
std::string idPart(std::string_view id) {
    std::string part;
    forEachCharacter(id, [&part](uint32_t c, std::string_view) {
        part += isAsciiLetterOrDigit(c) || c == '.' || c == '_' || c == '-' ? static_cast<char>(c) : '_';
    });
    part.resize(std::min(part.size(), kMaxIdCharacters));
    return part;
}

// What a file name keeps of the prefix, which the host chooses: every
// character but separators, control characters, bytes that are not UTF-8 and
// those Windows refuses in a name; whole characters up to kMaxPrefixBytes.
std::string prefixPart(std::string_view prefix) {
    constexpr std::string_view kRefused = "/\\:*?\"<>|";
    std::string part;
    bool full = false;
    forEachCharacter(prefix, [&](uint32_t c, std::string_view bytes) {
        const bool refused = c < 0x20 || c == 0x7F || c == kNotUtf8 ||
                             (c < 0x80 && kRefused.find(static_cast<char>(c)) != std::string_view::npos);
        const std::string_view kept = refused ? "_" : bytes;
        full = full || part.size() + kept.size() > kMaxPrefixBytes;
        if (!full) {
            part.append(kept);
        }
    });
    return part;
}

// Windows opens a device, not a file, for these names whatever their extension.
bool isWindowsDeviceName(std::string_view base) {
    std::string stem = fileNameKey(base.substr(0, base.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    constexpr std::array<std::string_view, 6> kDevices = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    const bool numbered = stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
                          stem[3] >= '1' && stem[3] <= '9';
    return numbered || std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end();
}

void logError(const std::string& text) {
    logLine(ovLogError) << text;
}

}  // namespace

ImageFiles::ImageFiles(fs::path folder, std::string_view prefix, std::string driverName)
    : mFolder(std::move(folder)), mPrefix(prefixPart(prefix)), mDriverName(std::move(driverName)) {}

ImageFiles::~ImageFiles() = default;

std::string ImageFiles::nameFor(std::string_view imageId, std::string_view extension) {
    std::string base = mPrefix + idPart(imageId);
    if (base.empty()) {
        base.assign(1, '_');
    } else if (base.front() == '.') {
        base.front() = '_';
    }
    if (isWindowsDeviceName(base)) {
        base.insert(base.begin(), '_');
    }
    return mNamesTaken.give(base, extension);
}

fs::path ImageFiles::stage(const std::string& fileName) {
    const fs::path target = mFolder / pathOfUtf8(fileName);
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(target, error))) {
        logError(mDriverName + ", cannot write the file " + utf8OfPath(target) + ": a folder stands there");
        return {};
    }
    auto staged = std::make_unique<ovStagedFile>(target);
    if (staged->creationError()) {
        logError(mDriverName + ", cannot write the file " + utf8OfPath(target) + ": " +
                 staged->creationError().message());
        return {};
    }
    mStaged.push_back(std::move(staged));
    return mStaged.back()->temporaryPath();
}

bool ImageFiles::write(const ovImage& image, const std::string& fileName, const SaveImageOptions& options) {
    const fs::path temporary = stage(fileName);
    if (temporary.empty()) {
        return false;
    }
    if (!ovIoManager::msInstance.getImageIOManager().saveImage(&image, utf8OfPath(temporary), nullptr,
                                                               options)) {
        logError(mDriverName + ", could not write the image file " + utf8OfPath(mStaged.back()->target()));
        return false;
    }
    return true;
}

bool ImageFiles::writeFile(std::string_view bytes, const std::string& fileName) {
    const fs::path temporary = stage(fileName);
    if (temporary.empty()) {
        return false;
    }
    ovIoDeviceFileStream file(utf8OfPath(temporary), ovIoDevice::WriteOnly, true);
    const auto length = static_cast<int64_t>(bytes.size());
    if (!file.isOpen() || file.write(bytes.data(), length) != length || !file.close()) {
        logError(mDriverName + ", could not write the image file " + utf8OfPath(mStaged.back()->target()));
        return false;
    }
    return true;
}

bool ImageFiles::commit() {
    for (; mCommitted < mStaged.size(); ++mCommitted) {
        if (const std::error_code error = mStaged[mCommitted]->commit()) {
            logError(mDriverName + ", could not give the file " + utf8OfPath(mStaged[mCommitted]->target()) +
                     " its name: " + error.message());
            return false;
        }
    }
    return true;
}

std::vector<std::string> ImageFiles::committedPaths() const {
    std::vector<std::string> paths;
    for (size_t i = 0; i < mCommitted; ++i) {
        paths.push_back(utf8OfPath(mStaged[i]->target()));
    }
    return paths;
}

std::string uriPathSegment(std::string_view fileName) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string uri;
    for (const char c : fileName) {
        const auto byte = static_cast<unsigned char>(c);
        if (isAsciiLetterOrDigit(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += c;
        } else {
            uri += '%';
            uri += kHexDigits[byte >> 4];
            uri += kHexDigits[byte & 0x0F];
        }
    }
    return uri;
}

}  // namespace ov
