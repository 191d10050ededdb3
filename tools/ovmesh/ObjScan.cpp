#include "ovmesh/ObjScan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "ovmesh/ToolError.h"

namespace ov::ovmesh {

namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    size_t position = text.find_first_not_of(kBlanks);
    while (position != std::string_view::npos) {
        const size_t end = std::min(text.find_first_of(kBlanks, position), text.size());
        words.push_back(text.substr(position, end - position));
        position = text.find_first_not_of(kBlanks, end);
    }
    return words;
}

// Element lines may end in a comment, which the reader ignores too.
std::string_view withoutComment(std::string_view text) {
    return text.substr(0, text.find('#'));
}

std::string quotedWord(std::string_view word) {
    return "'" + std::string(word) + "'";
}

// The kinds of element an index can name, with what the scan counted of them.
struct IndexKind {
    const char* name;
    const char* plural;
    int ObjScan::*count;
    // The largest positive index met so far and its line, checked at the end
    // because an index may name an element defined further down.
    long largest = 0;
    size_t largestLine = 0;
};

class ObjScanner {
public:
    ObjScanner(std::string_view text, const std::string& source) : mText(text), mSource(source) {}

    ObjScan scan() {
        size_t start = 0;
        while (start <= mText.size()) {
            const size_t end = std::min(mText.find('\n', start), mText.size());
            ++mLine;
            mScan.readerText += scanStatement(mText.substr(start, end - start));
            mScan.readerText += '\n';
            start = end + 1;
        }
        checkForwardIndices();
        requireContent();
        return std::move(mScan);
    }

private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw ToolError(mSource + ":" + std::to_string(mLine) + ": " + reason);
    }

    // Answers the statement as the reader is to see it.
    std::string_view scanStatement(std::string_view statement) {
        const std::vector<std::string_view> words = splitWords(statement);
        if (words.empty()) {
            return statement;
        }
        const std::string_view keyword = words.front();
        if (keyword == "v") {
            scanNumbers(statement, 3, mScan.positionCount);
        } else if (keyword == "vn") {
            scanNumbers(statement, 3, mScan.normalCount);
        } else if (keyword == "vt") {
            scanNumbers(statement, 1, mScan.texcoordCount);
        } else if (keyword == "f") {
            scanFace(statement);
        } else if (keyword == "l") {
            scanPolyline(statement);
        } else {
            scanNaming(keyword, words, statement);
            return statement;
        }
        return withoutComment(statement);
    }

    void scanNaming(std::string_view keyword, const std::vector<std::string_view>& words,
                    std::string_view statement) {
        if (keyword == "g") {
            // Several group names make one name, as the reader joins them.
            std::string name;
            for (size_t i = 1; i < words.size(); ++i) {
                name += (i > 1 ? " " : "") + std::string(words[i]);
            }
            mGroup = objGroupKey(name);
        } else if (keyword == "o") {
            mGroup = objGroupKey(trimmed(statement).substr(1));
        } else if (keyword == "usemtl") {
            mMaterial = words.size() > 1 ? std::string(words[1]) : std::string();
            if (!mMaterial.empty() && std::find(mScan.materialsUsed.begin(), mScan.materialsUsed.end(),
                                                mMaterial) == mScan.materialsUsed.end()) {
                mScan.materialsUsed.push_back(mMaterial);
            }
        }
    }

    void scanNumbers(std::string_view statement, size_t minimum, int& count) {
        const std::vector<std::string_view> words = splitWords(withoutComment(statement));
        if (words.size() - 1 < minimum) {
            fail("'" + std::string(words.front()) + "' needs at least " + std::to_string(minimum) +
                 " numbers");
        }
        for (size_t i = 1; i < words.size(); ++i) {
            requireNumber(words[i]);
        }
        ++count;
    }

    void requireNumber(std::string_view word) const {
        std::string_view digits = word;
        if (digits.starts_with('+')) {
            digits.remove_prefix(1);
        }
        double value = 0.0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
            fail(quotedWord(word) + " is not a number");
        }
        if (!std::isfinite(value)) {
            fail(quotedWord(word) + " is not a finite number");
        }
    }

    void scanFace(std::string_view statement) {
        const std::vector<std::string_view> words = splitWords(withoutComment(statement));
        if (words.size() < 4) {
            fail("a face needs at least 3 vertices");
        }
        for (size_t i = 1; i < words.size(); ++i) {
            resolveCorner(words[i], 3);
        }
        ++mScan.faceCount;
        noteGroupContent();
    }

    void scanPolyline(std::string_view statement) {
        const std::vector<std::string_view> words = splitWords(withoutComment(statement));
        if (words.size() < 3) {
            fail("a line needs at least 2 vertices");
        }
        ObjPolyline polyline{mGroup, mMaterial, {}};
        for (size_t i = 1; i < words.size(); ++i) {
            polyline.vertices.push_back(resolveCorner(words[i], 2));
        }
        mScan.polylines.push_back(std::move(polyline));
        noteGroupContent();
    }

    // Checks "v", "v/vt", "v//vn" or "v/vt/vn" (at most maxParts parts) and
    // answers the 0-based position index, which stays to be checked against
    // the final count when it counts from the start.
    int resolveCorner(std::string_view corner, size_t maxParts) {
        size_t part = 0;
        int position = 0;
        size_t start = 0;
        while (true) {
            const size_t slash = corner.find('/', start);
            const std::string_view text =
                corner.substr(start, slash == std::string_view::npos ? slash : slash - start);
            if (part >= maxParts) {
                fail(quotedWord(corner) + " has too many parts");
            }
            // Only the texture coordinate may be left out, between two slashes.
            const bool skipped = text.empty() && part == 1 && slash != std::string_view::npos;
            if (text.empty() && !skipped) {
                fail(quotedWord(corner) + " lacks its " + mKinds[part].name + " index");
            }
            if (!skipped) {
                const int index = resolveIndex(text, mKinds[part]);
                position = part == 0 ? index : position;
            }
            if (slash == std::string_view::npos) {
                return position;
            }
            start = slash + 1;
            ++part;
        }
    }

    int resolveIndex(std::string_view text, IndexKind& kind) {
        long value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
            fail(quotedWord(text) + " is not a " + kind.name + " index");
        }
        if (value == 0) {
            fail(std::string(kind.name) + " index 0 is not allowed: indices count from 1");
        }
        const int defined = mScan.*kind.count;
        if (value < 0) {
            // Counts back from the last element defined so far.
            if (-value > defined) {
                failOutOfRange(kind, value, defined, " before it");
            }
            return static_cast<int>(defined + value);
        }
        if (value > kind.largest) {
            kind.largest = value;
            kind.largestLine = mLine;
        }
        return static_cast<int>(std::min<long>(value, std::numeric_limits<int>::max()) - 1);
    }

    [[noreturn]] void failOutOfRange(const IndexKind& kind, long value, int defined,
                                     const char* where) const {
        fail(std::string(kind.name) + " index " + std::to_string(value) + " is out of range: " +
             std::to_string(defined) + " " + (defined == 1 ? kind.name : kind.plural) + " defined" + where);
    }

    void checkForwardIndices() {
        for (const IndexKind& kind : mKinds) {
            if (kind.largest > mScan.*kind.count) {
                mLine = kind.largestLine;
                failOutOfRange(kind, kind.largest, mScan.*kind.count, " in the file");
            }
        }
    }

    void noteGroupContent() {
        if (std::find(mScan.groups.begin(), mScan.groups.end(), mGroup) == mScan.groups.end()) {
            mScan.groups.push_back(mGroup);
        }
    }

    void requireContent() const {
        if (mScan.faceCount > 0 || !mScan.polylines.empty()) {
            return;
        }
        if (mScan.positionCount == 0) {
            throw ToolError(mSource + ": empty file: no vertices, faces or lines");
        }
        throw ToolError(mSource + ": no faces or lines (f or l elements) to convert");
    }

    std::string_view mText;
    const std::string& mSource;
    size_t mLine = 0;
    std::string mGroup = objGroupKey("");
    std::string mMaterial;
    IndexKind mKinds[3] = {{"vertex", "vertices", &ObjScan::positionCount},
                           {"texture coordinate", "texture coordinates", &ObjScan::texcoordCount},
                           {"normal", "normals", &ObjScan::normalCount}};
    ObjScan mScan;
};

}  // namespace

std::string objGroupKey(std::string_view name) {
    const std::string_view key = trimmed(name);
    return key.empty() ? "default" : std::string(key);
}

ObjScan scanObj(std::string_view text, const std::string& source) {
    return ObjScanner(text, source).scan();
}

}  // namespace ov::ovmesh
