#include "assimp/DeclaredCounts.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

#include "core/InputFiles.h"
#include "system/ovFiles.h"

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

// What ends a line for assimp's OFF reader; a NUL also ends the data.
constexpr std::string_view kOffLineEnds("\r\n\f\0", 4);
// assimp's OFF reader copies each vertex and face line into a buffer of this
// many bytes and writes its terminating NUL one past a line that fills it.
constexpr size_t kOffLineBuffer = 4096;
constexpr uint32_t kOffMostCorners = 9;

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

// A count as assimp reads it: the digits a word starts with, modulo 2^32.
uint32_t leadingCountOf(std::string_view word) {
    uint32_t count = 0;
    for (size_t at = 0; at < word.size() && word[at] >= '0' && word[at] <= '9'; ++at) {
        count = count * 10 + static_cast<uint32_t>(word[at] - '0');
    }
    return count;
}

class CountCheck {
public:
    // data is the file's start, or all of it; headers are looked for in its
    // first kDeclaredCountsHead bytes only, whatever the source.
    CountCheck(std::string_view data, uint64_t size, std::string source)
        : mData(data), mHead(data.substr(0, kDeclaredCountsHead)), mSize(size), mSource(std::move(source)) {}

    [[noreturn]] void refuse(const std::string& reason) const {
        throw ReadError("cannot read '" + mSource + "': " + reason);
    }

    // The lines up to and including the one that ends is true for.
    template <typename Ends>
    Header headerUpTo(Ends ends, const char* name) const {
        Header header;
        const bool whole = mHead.size() == mSize;
        // Each line ends with its line feed: assimp may read for ever after a
        // header line that ends the file without one (a fuzzer's find).
        for (size_t at = 0; at < mHead.size();) {
            const size_t end = mHead.find('\n', at);
            if (end == std::string_view::npos) {
                break;
            }
            header.lines.push_back(mHead.substr(at, end - at));
            at = end + 1;
            if (ends(header.lines.back())) {
                header.dataAt = at;
                return header;
            }
        }
        // assimp's readers look for it as long as the file lasts, and longer.
        refuse(std::string("its ") + name +
               (!whole ? " is not within its first " + std::to_string(kDeclaredCountsHead) + " bytes"
                       : ", ended by a line feed, is missing"));
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
    // All of the file, or nothing when only its start was read.
    std::string_view whole() const { return mData.size() == mSize ? mData : std::string_view(); }
    uint64_t size() const { return mSize; }

private:
    std::string_view mData;
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

struct PlyElement {
    std::string_view name;
    uint64_t count = 0;
    // Whether each property is a list, in order.
    std::vector<bool> isList;
    std::vector<std::string_view> lists;
};

// The elements assimp's PLY reader parses; it skips the lines of others.
const std::vector<std::string_view> kPlyParsedElements{"vertex", "face", "tristrips", "edge", "material"};

// The data lines as assimp's PLY reader takes them: a line's content ends at
// any line end, and the next line starts after a line feed.
class PlyTextLines {
public:
    PlyTextLines(std::string_view data, size_t at) : mData(data), mAt(at) {}

    std::optional<std::string_view> next() {
        if (mAt < mData.size() && kOffLineEnds.find(mData[mAt]) != std::string_view::npos) {
            mAt = std::min(mData.find('\n', mAt), mData.size()) + 1;
        }
        if (mAt >= mData.size()) {
            return std::nullopt;
        }
        const size_t end = std::min(mData.find_first_of(kOffLineEnds, mAt), mData.size());
        const std::string_view line = mData.substr(mAt, end - mAt);
        mAt = end + 1;
        return line;
    }

private:
    std::string_view mData;
    size_t mAt;
};

bool isPlainNumber(std::string_view word) {
    if (word.starts_with('+')) {
        word.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size();
}

// assimp's text PLY reader sizes each list by the count its line gives,
// whatever else the line holds (a fuzzer's find: 533 MB for 300 bytes), and
// reads a value up to the first byte that is no part of a number, where the
// next value then starts.
void checkPlyTextLine(const CountCheck& check, std::string_view line, const PlyElement& element) {
    const std::vector<std::string_view> words = wordsOf(line);
    for (const std::string_view word : words) {
        if (!isPlainNumber(word)) {
            check.refuse("a line of its " + std::string(element.name) + " elements holds '" +
                         std::string(word) + "', which is not a number");
        }
    }
    size_t at = 0;
    for (const bool list : element.isList) {
        if (at >= words.size()) {
            return;
        }
        const std::optional<uint64_t> count = list ? countOf(words[at]) : uint64_t{0};
        if (!count || *count > words.size() - at - 1) {
            check.refuse("a list of its " + std::string(element.name) + " elements has " +
                         std::string(words[at]) + " values, but its line holds " +
                         std::to_string(words.size() - at - 1));
        }
        at += 1 + *count;
    }
}

void checkPlyTextLists(const CountCheck& check, const std::vector<PlyElement>& elements, size_t dataAt) {
    PlyTextLines lines(check.whole(), dataAt);
    // Past the end of the file, assimp reads its last line again for every
    // instance left (a fuzzer's find).
    std::string_view last;
    for (const PlyElement& element : elements) {
        const bool parsed = !element.lists.empty() &&
                            std::find(kPlyParsedElements.begin(), kPlyParsedElements.end(), element.name) !=
                                kPlyParsedElements.end();
        for (uint64_t instance = 0; instance < element.count; ++instance) {
            const std::optional<std::string_view> line = lines.next();
            last = line.value_or(last);
            if (parsed) {
                checkPlyTextLine(check, last, element);
            }
            if (!line) {
                break;
            }
        }
    }
}

// assimp's PLY reader sizes its one mesh by the first vertex element and by
// the first face or strip element, and writes each later one into the same
// arrays (a fuzzer's find that wrote past them). It places a face's texture
// coordinates through the face's corners, which must then be listed.
void requirePlyLayoutAssimpReads(const CountCheck& check, const std::vector<PlyElement>& elements) {
    const auto named = [&](std::initializer_list<std::string_view> names) {
        return std::count_if(elements.begin(), elements.end(), [&](const PlyElement& element) {
            return std::find(names.begin(), names.end(), element.name) != names.end();
        });
    };
    if (named({"vertex"}) > 1 || named({"face", "tristrips"}) > 1) {
        check.refuse(
            "its header declares more than one vertex element, or more than one face or tristrips "
            "element, which assimp's PLY reader writes past its arrays");
    }
    for (const PlyElement& element : elements) {
        const auto lists = [&](std::string_view name) {
            return std::find(element.lists.begin(), element.lists.end(), name) != element.lists.end();
        };
        if (element.name == "face" && lists("texcoord") && !lists("vertex_indices") &&
            !lists("vertex_index")) {
            check.refuse("its faces have texture coordinates but no vertex_indices list");
        }
    }
}

void checkPly(const CountCheck& check) {
    // assimp takes the magic number in any case.
    std::string magic(check.head().substr(0, 3));
    std::transform(magic.begin(), magic.end(), magic.begin(), [](char c) { return c | 0x20; });
    if (magic != "ply") {
        return;
    }
    const Header header = check.headerUpTo(
        [](std::string_view line) { return wordsOf(line) == kPlyHeaderEnd; }, "header's end_header line");
    // assimp reads a header line partly as a C string, so that a NUL cuts some
    // of its reading short and not the rest (a fuzzer's find: 12 GB).
    if (check.head().substr(0, header.dataAt).find('\0') != std::string_view::npos) {
        check.refuse("its header holds a NUL byte");
    }
    bool text = true;
    std::vector<Declared> declared;
    std::vector<PlyElement> elements;
    for (const std::string_view line : header.lines) {
        const std::vector<std::string_view> words = wordsOf(line);
        if (words.size() >= 2 && words[0] == "format") {
            text = words[1] == "ascii";
        } else if (!words.empty() && words[0] == "element") {
            // assimp takes a count from elsewhere when a line has none (a fuzzer's
            // find: 80 GB), and counts an element it does not know by the digits its
            // name starts with.
            const std::optional<uint64_t> stated = words.size() >= 3 ? countOf(words[2]) : std::nullopt;
            if (!stated) {
                check.refuse("its header line '" + std::string(line) + "' has no element name and count");
            }
            const uint64_t count = std::max<uint64_t>(leadingCountOf(words[1]), *stated);
            declared.push_back({std::string(words[1]) + " elements", count, 0});
            elements.push_back({words[1], count, {}, {}});
        } else if (words.size() >= 2 && words[0] == "property" && !declared.empty()) {
            declared.back().bytes += plyPropertyBytes(words, text);
            elements.back().isList.push_back(words[1] == "list");
            if (words.size() >= 5 && words[1] == "list") {
                elements.back().lists.push_back(words[4]);
            }
        }
    }
    requirePlyLayoutAssimpReads(check, elements);
    check.requireFit(declared, header.dataAt);
    if (text && !check.whole().empty()) {
        checkPlyTextLists(check, elements, header.dataAt);
    }
}

// Walks an OFF header the way assimp's reader does: tokens run across lines,
// a line whose token starts with '#' is skipped, and counts are the leading
// digits of a token taken modulo 2^32. The counts checked are then the ones
// assimp allocates for, whatever else the header holds.
class OffHeaderWalk {
public:
    explicit OffHeaderWalk(std::string_view head) : mHead(head) {}

    // The vertex and face counts, or nothing when the head ends first.
    std::optional<std::pair<uint32_t, uint32_t>> counts() {
        nextToken();
        skipKeyword();
        nextToken();
        const std::optional<uint32_t> vertices = number();
        nextToken();
        const std::optional<uint32_t> faces = number();
        if (!vertices || !faces) {
            return std::nullopt;
        }
        return std::pair{*vertices, *faces};
    }

    // Where the vertex lines start: after the edge count, which is skipped.
    size_t bodyAt() {
        nextToken();
        number();
        nextToken();
        return mAt;
    }

    size_t at() const { return mAt; }

private:
    bool at(char c) const { return mAt < mHead.size() && mHead[mAt] == c; }

    void skipBlanks() {
        while (mAt < mHead.size() && std::string_view(" \t\r\n").find(mHead[mAt]) != std::string_view::npos) {
            ++mAt;
        }
    }

    void nextToken() {
        skipBlanks();
        while (at('#')) {
            mAt = std::min(mHead.find_first_of(kOffLineEnds, mAt), mHead.size());
            skipBlanks();
        }
    }

    void skipPrefix(std::string_view prefix) {
        if (mHead.substr(mAt).starts_with(prefix)) {
            mAt += prefix.size();
        }
    }

    // The ST, C, N, 4 and n letters are taken even when no OFF follows, and
    // after an n comes a dimension count.
    void skipKeyword() {
        for (const std::string_view prefix : {"ST", "C", "N", "4"}) {
            skipPrefix(prefix);
        }
        const bool dimension = at('n');
        skipPrefix("n");
        skipPrefix("OFF");
        if (dimension) {
            nextToken();
            number();
        }
    }

    std::optional<uint32_t> number() {
        if (mAt >= mHead.size()) {
            return std::nullopt;
        }
        const uint32_t value = leadingCountOf(mHead.substr(mAt));
        mAt = std::min(mHead.find_first_not_of("0123456789", mAt), mHead.size());
        return value;
    }

    std::string_view mHead;
    size_t mAt = 0;
};

// The vertex and face lines as assimp's OFF reader takes them: up to a line
// end, blank lines skipped, the data ending at a NUL.
class OffLines {
public:
    OffLines(std::string_view data, size_t at) : mData(data), mAt(at) {}

    std::optional<std::string_view> next() {
        if (mAt >= mData.size() || mData[mAt] == '\0') {
            return std::nullopt;
        }
        const size_t end = std::min(mData.find_first_of(kOffLineEnds, mAt), mData.size());
        const std::string_view line = mData.substr(mAt, end - mAt);
        mAt = std::min(mData.find_first_not_of(kOffLineEnds.substr(0, 3), end), mData.size());
        return line;
    }

private:
    std::string_view mData;
    size_t mAt;
};

// assimp reads a corner count and corners by their leading digits, and
// silently drops a face of no corners or more than nine (miscounting the
// faces: a fuzzer's find that reads past them), takes a missing corner for
// the first vertex, and moves a corner past the vertices onto the last one.
void checkOffFace(const CountCheck& check, std::string_view line, uint32_t face, uint32_t vertices) {
    const std::string name = "face " + std::to_string(face + 1);
    size_t at = 0;
    const auto nextNumber = [&]() -> std::optional<uint32_t> {
        at = std::min(line.find_first_not_of(" \t", at), line.size());
        if (at == line.size() || line[at] < '0' || line[at] > '9') {
            return std::nullopt;
        }
        const uint32_t value = leadingCountOf(line.substr(at));
        at = std::min(line.find_first_not_of("0123456789", at), line.size());
        return value;
    };
    const uint32_t corners = nextNumber().value_or(0);
    if (corners == 0 || corners > kOffMostCorners) {
        check.refuse(name + " has " + std::to_string(corners) +
                     " corners, and assimp's OFF reader takes 1 to " + std::to_string(kOffMostCorners));
    }
    for (uint32_t corner = 0; corner < corners; ++corner) {
        const std::optional<uint32_t> vertex = nextNumber();
        if (!vertex) {
            check.refuse(name + " does not list its " + std::to_string(corners) + " vertex numbers");
        }
        if (*vertex >= vertices) {
            check.refuse(name + " names vertex " + std::to_string(*vertex) + " of " +
                         std::to_string(vertices));
        }
    }
}

void checkOffBody(const CountCheck& check, size_t bodyAt, uint32_t vertices, uint32_t faces) {
    OffLines lines(check.whole(), bodyAt);
    for (uint64_t index = 0; index < uint64_t{vertices} + faces; ++index) {
        const std::optional<std::string_view> line = lines.next();
        if (!line) {
            // assimp finds the missing lines itself and refuses the file.
            return;
        }
        if (line->size() >= kOffLineBuffer) {
            check.refuse("a line of its vertices or faces is longer than " +
                         std::to_string(kOffLineBuffer - 1) + " bytes, which assimp's OFF reader overruns");
        }
        if (index >= vertices) {
            checkOffFace(check, *line, static_cast<uint32_t>(index - vertices), vertices);
        }
    }
}

void checkOff(const CountCheck& check) {
    OffHeaderWalk walk(check.whole().empty() ? check.head() : check.whole());
    const auto counts = walk.counts();
    if (check.whole().empty() && walk.at() >= check.head().size()) {
        check.refuse("its vertex and face counts are not within its first " +
                     std::to_string(kDeclaredCountsHead) + " bytes");
    }
    if (!counts) {
        return;
    }
    check.requireFit({{"vertices", counts->first, kOffVertexBytes}, {"faces", counts->second, kOffFaceBytes}},
                     walk.at());
    if (!check.whole().empty()) {
        checkOffBody(check, walk.bodyAt(), counts->first, counts->second);
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

// assimp takes text that starts with a 16- or 32-bit byte order mark (in
// either byte order) for UTF-16 or UTF-32, reads past the end of UTF-32
// (a fuzzer's find), and then drops what it converted.
void refuseWideText(const CountCheck& check) {
    const std::string_view head = check.head();
    for (const std::string_view mark :
         {std::string_view("\xFE\xFF"), std::string_view("\xFF\xFE"), std::string_view("\0\0\xFE\xFF", 4)}) {
        if (head.starts_with(mark)) {
            check.refuse(
                "it starts with a UTF-16 or UTF-32 byte order mark, and assimp's readers take 8-bit "
                "text only");
        }
    }
}

}  // namespace

void requireFileCountsFit(const std::string& path, const std::string& extension) {
    std::ifstream file = openForReading(path);
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(pathOfUtf8(path), error);
    // OFF faces and text PLY lists are checked too: the whole file is read,
    // as assimp reads it.
    const bool whole = !error && (extension == "off" || extension == "ply");
    std::string head(whole ? size : kDeclaredCountsHead, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    requireCountsFit(head, error ? head.size() : size, extension, path);
}

void requireCountsFit(std::string_view data, uint64_t size, const std::string& extension,
                      const std::string& source) {
    const CountCheck check(data, size, source);
    refuseWideText(check);
    if (extension == "ply") {
        checkPly(check);
    } else if (extension == "off") {
        checkOff(check);
    } else if (extension == "stl") {
        checkBinaryStl(check);
    }
}

}  // namespace ov::assimpimport
