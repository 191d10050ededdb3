#include "assimp/StatedUnits.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>

#include "core/InputFiles.h"
#include "system/ovFiles.h"

namespace ov::assimpimport {

namespace {

// The root element and the unit elements come first in a document: this
// much of its start is read.
constexpr size_t kHeadBytes = 64 * 1024;

// The units 3MF and AMF name (AMF says "feet" and "micron"), in metres.
const std::map<std::string, double> kNamedUnits{
    {"micron", 1e-6}, {"micrometer", 1e-6}, {"millimeter", 1e-3}, {"centimeter", 1e-2},
    {"inch", 0.0254}, {"foot", 0.3048},     {"feet", 0.3048},     {"meter", 1.0}};
constexpr double kDefaultUnit = 1e-3;

// The first start tag named element, up to its closing bracket.
std::string startTag(const std::string& text, const std::string& element) {
    const std::regex tag("<" + element + "(\\s[^>]*)?>");
    std::smatch match;
    return std::regex_search(text, match, tag) ? match.str() : std::string();
}

std::optional<std::string> attribute(const std::string& tag, const std::string& name) {
    const std::regex value("\\s" + name + "\\s*=\\s*(\"([^\"]*)\"|'([^']*)')");
    std::smatch match;
    if (!std::regex_search(tag, match, value)) {
        return std::nullopt;
    }
    return match[2].matched ? match.str(2) : match.str(3);
}

// 3MF and AMF: the root's unit attribute, millimetres without one.
std::optional<double> rootUnit(const std::string& head, const std::string& root) {
    const std::string tag = startTag(head, root);
    if (tag.empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> unit = attribute(tag, "unit");
    if (!unit) {
        return kDefaultUnit;
    }
    const auto named = kNamedUnits.find(*unit);
    return named == kNamedUnits.end() ? std::nullopt : std::optional(named->second);
}

// X3D: metres unless a unit statement of the length category converts them.
std::optional<double> x3dUnit(const std::string& head) {
    const std::regex unitTag("<unit\\s[^>]*>");
    for (std::sregex_iterator it(head.begin(), head.end(), unitTag), end; it != end; ++it) {
        if (attribute(it->str(), "category") != "length") {
            continue;
        }
        const std::optional<std::string> factor = attribute(it->str(), "conversionFactor");
        char* parsed = nullptr;
        const double metres = factor ? std::strtod(factor->c_str(), &parsed) : 0.0;
        const bool valid = factor && parsed != factor->c_str() && std::isfinite(metres) && metres > 0;
        return valid ? std::optional(metres) : std::nullopt;
    }
    return 1.0;
}

// Minizip reads the archive from memory through these.
struct MemoryArchive {
    std::string_view bytes;
    size_t at = 0;
};

zlib_filefunc64_def memoryFunctions(MemoryArchive& archive) {
    zlib_filefunc64_def functions{};
    functions.opaque = &archive;
    functions.zopen64_file = [](voidpf opaque, const void*, int) -> voidpf { return opaque; };
    functions.zread_file = [](voidpf, voidpf stream, void* buffer, uLong size) -> uLong {
        auto& from = *static_cast<MemoryArchive*>(stream);
        const size_t count = std::min<size_t>(size, from.bytes.size() - from.at);
        std::memcpy(buffer, from.bytes.data() + from.at, count);
        from.at += count;
        return static_cast<uLong>(count);
    };
    functions.zwrite_file = [](voidpf, voidpf, const void*, uLong) -> uLong { return 0; };
    functions.ztell64_file = [](voidpf, voidpf stream) -> ZPOS64_T {
        return static_cast<MemoryArchive*>(stream)->at;
    };
    functions.zseek64_file = [](voidpf, voidpf stream, ZPOS64_T offset, int origin) -> long {
        auto& from = *static_cast<MemoryArchive*>(stream);
        const ZPOS64_T base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                              : origin == ZLIB_FILEFUNC_SEEK_CUR ? from.at
                                                                 : from.bytes.size();
        if (base + offset > from.bytes.size()) {
            return -1;
        }
        from.at = static_cast<size_t>(base + offset);
        return 0;
    };
    functions.zclose_file = [](voidpf, voidpf) -> int { return 0; };
    functions.zerror_file = [](voidpf, voidpf) -> int { return 0; };
    return functions;
}

struct ZipCloser {
    void operator()(void* zip) const { unzClose(zip); }
};
using Zip = std::unique_ptr<void, ZipCloser>;

// The start of one member of the archive; empty when it is not there.
std::string memberHead(const Zip& zip, const std::string& name) {
    if (unzLocateFile(zip.get(), name.c_str(), 0) != UNZ_OK || unzOpenCurrentFile(zip.get()) != UNZ_OK) {
        return {};
    }
    std::string head(kHeadBytes, '\0');
    const int read = unzReadCurrentFile(zip.get(), head.data(), static_cast<unsigned>(head.size()));
    unzCloseCurrentFile(zip.get());
    head.resize(read > 0 ? static_cast<size_t>(read) : 0);
    return head;
}

// The 3D model part the package's relationships name, else its usual place.
std::optional<double> packageUnit(const Zip& zip) {
    if (!zip) {
        return std::nullopt;
    }
    std::string model = "3D/3dmodel.model";
    const std::string relationships = memberHead(zip, "_rels/.rels");
    const std::regex relationship("<Relationship\\s[^>]*>");
    for (std::sregex_iterator it(relationships.begin(), relationships.end(), relationship), end; it != end;
         ++it) {
        const std::optional<std::string> type = attribute(it->str(), "Type");
        const std::optional<std::string> target = attribute(it->str(), "Target");
        if (type && target && type->ends_with("/3dmodel")) {
            model = target->starts_with('/') ? target->substr(1) : *target;
        }
    }
    return rootUnit(memberHead(zip, model), "model");
}

std::optional<double> documentUnit(const std::string& head, const std::string& extension) {
    if (extension == "amf") {
        return rootUnit(head, "amf");
    }
    return extension == "x3d" ? x3dUnit(head) : std::nullopt;
}

}  // namespace

std::optional<double> statedMetresPerUnit(const std::string& path, const std::string& extension) {
    if (extension == "3mf") {
        return packageUnit(Zip(unzOpen64(path.c_str())));
    }
    if (extension != "amf" && extension != "x3d") {
        return std::nullopt;
    }
    std::ifstream file(pathOfUtf8(path), std::ios::binary);
    std::string head(kHeadBytes, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return documentUnit(head, extension);
}

std::optional<double> statedMetresPerUnitOfBytes(std::string_view bytes, const std::string& extension) {
    if (extension == "3mf") {
        MemoryArchive archive{bytes};
        zlib_filefunc64_def functions = memoryFunctions(archive);
        return packageUnit(Zip(unzOpen2_64("memory", &functions)));
    }
    return documentUnit(std::string(bytes.substr(0, kHeadBytes)), extension);
}

}  // namespace ov::assimpimport
