#include "core/InputFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <iterator>
#include <system_error>

#include "system/ovFiles.h"

namespace ov {

namespace fs = std::filesystem;

namespace {

// The path with every link resolved, as far as it exists.
fs::path resolved(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : canonical;
}

fs::path root(const fs::path& folder) {
    return folder.empty() ? fs::path(".") : folder;
}

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

}  // namespace

ReadError::~ReadError() = default;

Confinement::Confinement(const fs::path& folder, bool confine) {
    if (confine) {
        mRoot = resolved(root(folder));
    }
}

bool Confinement::admits(const fs::path& file) const {
    if (!mRoot) {
        return true;
    }
    const fs::path at = resolved(file);
    const auto [rootEnd, atEnd] = std::mismatch(mRoot->begin(), mRoot->end(), at.begin(), at.end());
    // A root that ends in a separator gives an empty last element.
    return rootEnd == mRoot->end() || (std::next(rootEnd) == mRoot->end() && rootEnd->empty());
}

void Confinement::require(const fs::path& file, const std::string& named, const std::string& source) const {
    if (!admits(file)) {
        throw ReadError("cannot read '" + source + "': it names '" + named + "' (" +
                        utf8OfPath(resolved(file)) + "), outside its folder " + utf8OfPath(*mRoot) +
                        ", to which the read is confined");
    }
}

std::ifstream openForReading(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(pathOfUtf8(path), error);
    if (!fs::exists(status)) {
        throw ReadError("cannot read '" + path + "': no such file");
    }
    if (fs::is_directory(status)) {
        throw ReadError("cannot read '" + path + "': it is a folder");
    }
    std::ifstream stream(pathOfUtf8(path), std::ios::binary);
    if (!stream) {
        throw ReadError("cannot read '" + path + "': " + systemReason(errno));
    }
    return stream;
}

// Room for the whole file at once where its size is known (growing the text
// would copy it and touch fresh memory again); read in large pieces, so that
// a file of unknown size (a pipe) is read all the same.
std::string readWholeFile(const std::string& path) {
    constexpr size_t kPiece = size_t{1} << 20;
    std::ifstream stream = openForReading(path);
    std::error_code error;
    const uintmax_t size = fs::file_size(pathOfUtf8(path), error);
    std::string content;
    if (!error && size < content.max_size() - kPiece) {
        content.reserve(static_cast<size_t>(size) + kPiece);
    }
    for (;;) {
        const size_t at = content.size();
        content.resize(at + kPiece);
        stream.read(content.data() + at, static_cast<std::streamsize>(kPiece));
        content.resize(at + static_cast<size_t>(stream.gcount()));
        if (!stream) {
            break;
        }
    }
    if (stream.bad()) {
        throw ReadError("cannot read '" + path + "': " + systemReason(errno));
    }
    return content;
}

std::string readWholeDevice(ovIoDevice& device, const std::string& source) {
    constexpr int64_t kChunk = int64_t{1} << 20;
    std::string content;
    for (;;) {
        const size_t at = content.size();
        content.resize(at + static_cast<size_t>(kChunk));
        const int64_t read = device.read(content.data() + at, kChunk);
        if (read < 0) {
            throw ReadError("cannot read '" + source + "': the read failed");
        }
        content.resize(at + static_cast<size_t>(read));
        if (read == 0) {
            return content;
        }
    }
}

std::string percentDecoded(std::string_view uri) {
    std::string decoded;
    decoded.reserve(uri.size());
    for (size_t at = 0; at < uri.size(); ++at) {
        unsigned char value = 0;
        const char* digits = uri.data() + at + 1;
        if (uri[at] == '%' && at + 3 <= uri.size() &&
            std::from_chars(digits, digits + 2, value, 16).ptr == digits + 2) {
            decoded += static_cast<char>(value);
            at += 2;
        } else {
            decoded += uri[at];
        }
    }
    return decoded;
}

std::optional<fs::path> locateNamedFile(const fs::path& folder, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    std::error_code error;
    for (const std::string& spelling : {name, percentDecoded(name)}) {
        const fs::path named = pathOfUtf8(spelling);
        for (const fs::path& candidate : {folder / named, folder / named.filename()}) {
            if (fs::is_regular_file(candidate, error)) {
                return candidate;
            }
        }
    }
    return std::nullopt;
}

}  // namespace ov
