#include "assimp/DeclaredCounts.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

#include "core/InputFiles.h"
#include "core/Utf8Text.h"

namespace ov::assimpimport {

namespace {

// The fewest bytes a value takes in a text format: a digit and a separator.
constexpr uint64_t kTextValueBytes = 2;
// An OFF vertex is three numbers at least; a face, its corner count at least.
constexpr uint64_t kOffVertexBytes = 3 * kTextValueBytes;
constexpr uint64_t kOffFaceBytes = kTextValueBytes;
// A binary STL is an 80-byte header, a triangle count, and 50 bytes a triangle.
constexpr uint64_t kStlHeaderBytes = 84;
constexpr uint64_t kStlTriangleBytes = 50;
constexpr size_t kStlCountAt = 80;

const std::map<std::string_view, uint64_t> kPlyTypeBytes{
    {"char", 1},   {"int8", 1},    {"uchar", 1},  {"uint8", 1},  {"short", 2}, {"int16", 2},
    {"ushort", 2}, {"uint16", 2},  {"int", 4},    {"int32", 4},  {"uint", 4},  {"uint32", 4},
    {"float", 4},  {"float32", 4}, {"double", 8}, {"float64", 8}};

const std::vector<std::string_view> kPlyHeaderEnd{"end_header"};

struct Declared {
    std::string what;
    uint64_t count;
    // The fewest bytes one of them takes.
    uint64_t bytes;
};

// The header's lines and where the data after them starts.
struct Header {
    std::vector<std::string_view> lines;
    size_t dataAt = 0;
};

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    for (size_t at = line.find_first_not_of(" \t\r"); at != std::string_view::npos;
         at = line.find_first_not_of(" \t\r", at)) {
        const size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

std::optional<uint64_t> countOf(std::string_view word) {
    uint64_t count = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), count);
    if (error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return count;
}

class CountCheck {
public:
    CountCheck(std::string_view head, uint64_t size, std::string source)
        : mHead(head), mSize(size), mSource(std::move(source)) {}

    [[noreturn]] void refuse(const std::string& reason) const {
        throw ReadError("cannot read '" + mSource + "': " + reason);
    }

    // The lines up to and including the one that ends is true for.
    template <typename Ends>
    Header headerUpTo(Ends ends, const char* name) const {
        Header header;
        const bool whole = mHead.size() == mSize;
        for (size_t at = 0; at < mHead.size();) {
            // The file's last line may lack its line feed.
            const size_t end = std::min(mHead.find('\n', at), whole ? mHead.size() : std::string_view::npos);
            if (end == std::string_view::npos) {
                break;
            }
            header.lines.push_back(mHead.substr(at, end - at));
            at = std::min(end + 1, mHead.size());
            if (ends(header.lines.back())) {
                header.dataAt = at;
                return header;
            }
        }
        // assimp's readers look for it as long as the file lasts, and longer.
        refuse(std::string("its ") + name +
               (!whole ? " is not within its first " + std::to_string(kDeclaredCountsHead) + " bytes"
                       : " is missing"));
    }

    void requireFit(const std::vector<Declared>& declared, uint64_t dataAt) const {
        uint64_t left = mSize > dataAt ? mSize - dataAt : 0;
        for (const Declared& items : declared) {
            const uint64_t bytes = std::max<uint64_t>(items.bytes, 1);
            // The last value of a text may end the file without its separator.
            if (items.count > (left + 1) / bytes) {
                refuse("its header declares " + std::to_string(items.count) + " " + items.what +
                       ", which take at least " + std::to_string(bytes) + " bytes each, but " +
                       std::to_string(left) + " bytes of the file are left for them");
            }
            left -= std::min(left, items.count * bytes);
        }
    }

    std::string_view head() const { return mHead; }
    uint64_t size() const { return mSize; }

private:
    std::string_view mHead;
    uint64_t mSize;
    std::string mSource;
};

uint64_t plyPropertyBytes(const std::vector<std::string_view>& words, bool text) {
    if (text) {
        return kTextValueBytes;
    }
    // A list takes its length at least; a value of a type assimp does not know, a byte.
    const std::string_view type = words.size() > 2 && words[1] == "list" ? words[2] : words[1];
    const auto known = kPlyTypeBytes.find(type);
    return known == kPlyTypeBytes.end() ? 1 : known->second;
}

void checkPly(const CountCheck& check) {
    if (!check.head().starts_with("ply")) {
        return;
    }
    const Header header = check.headerUpTo(
        [](std::string_view line) { return wordsOf(line) == kPlyHeaderEnd; }, "header's end_header line");
    bool text = true;
    std::vector<Declared> declared;
    for (const std::string_view line : header.lines) {
        const std::vector<std::string_view> words = wordsOf(line);
        if (words.size() >= 2 && words[0] == "format") {
            text = words[1] == "ascii";
        } else if (words.size() >= 3 && words[0] == "element") {
            const std::optional<uint64_t> count = countOf(words[2]);
            if (!count) {
                check.refuse("its header line '" + std::string(line) + "' has no element count");
            }
            declared.push_back({std::string(words[1]) + " elements", *count, 0});
        } else if (words.size() >= 2 && words[0] == "property" && !declared.empty()) {
            declared.back().bytes += plyPropertyBytes(words, text);
        }
    }
    check.requireFit(declared, header.dataAt);
}

bool isOffKeyword(std::string_view word) {
    return word.ends_with("OFF") && word.find_first_not_of("STCN4n") == word.size() - 3;
}

void checkOff(const CountCheck& check) {
    std::vector<std::string_view> counts;
    bool first = true;
    const Header header = check.headerUpTo(
        [&](std::string_view line) {
            std::vector<std::string_view> words = wordsOf(line.substr(0, line.find('#')));
            const bool blank = words.empty();
            if (first && !blank && isOffKeyword(words.front())) {
                words.erase(words.begin());
            }
            first = first && blank;
            counts = words;
            return !words.empty();
        },
        "line of vertex and face counts");
    const std::optional<uint64_t> vertices = counts.size() >= 2 ? countOf(counts[0]) : std::nullopt;
    const std::optional<uint64_t> faces = counts.size() >= 2 ? countOf(counts[1]) : std::nullopt;
    if (vertices && faces) {
        check.requireFit({{"vertices", *vertices, kOffVertexBytes}, {"faces", *faces, kOffFaceBytes}},
                         header.dataAt);
    }
}

// assimp takes an STL for binary when its size is the one its triangle count
// gives, computed in 32 bits: a count that wraps around must not pass.
void checkBinaryStl(const CountCheck& check) {
    if (check.head().size() < kStlHeaderBytes) {
        return;
    }
    uint32_t count = 0;
    for (size_t i = 4; i-- > 0;) {
        count = count << 8 | static_cast<unsigned char>(check.head()[kStlCountAt + i]);
    }
    const uint64_t needed = kStlHeaderBytes + kStlTriangleBytes * count;
    if (needed != check.size() && static_cast<uint32_t>(needed) == check.size()) {
        check.requireFit({{"triangles", count, kStlTriangleBytes}}, kStlHeaderBytes);
    }
}

}  // namespace

void requireFileCountsFit(const std::string& path, const std::string& extension) {
    std::ifstream file = openForReading(path);
    std::string head(kDeclaredCountsHead, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(pathOfUtf8(path), error);
    requireCountsFit(head, error ? head.size() : size, extension, path);
}

void requireCountsFit(std::string_view head, uint64_t size, const std::string& extension,
                      const std::string& source) {
    const CountCheck check(head, size, source);
    if (extension == "ply") {
        checkPly(check);
    } else if (extension == "off") {
        checkOff(check);
    } else if (extension == "stl") {
        checkBinaryStl(check);
    }
}

}  // namespace ov::assimpimport
