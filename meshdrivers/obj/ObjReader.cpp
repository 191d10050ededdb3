#include "obj/ObjReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/InputFiles.h"
#include "core/PolygonTessellator.h"
#include "obj/TextLines.h"
#include "system/ovStringUtils.h"

namespace ov::obj {

namespace {

// Statements that carry nothing the driver draws or meshes (smoothing, merging,
// display and render attributes, parameter-space vertices): skipped quietly.
const std::set<std::string_view> kQuietlySkipped{"s",          "mg",        "lod",    "bevel", "c_interp",
                                                 "d_interp",   "usemap",    "maplib", "ctech", "stech",
                                                 "shadow_obj", "trace_obj", "vp"};

bool isKeyword(std::string_view word) {
    return std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

// More digits than this may overflow a long: such indices go the slow way.
constexpr ptrdiff_t kMostPlainDigits = 18;

bool isDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// The kinds of element an index can name.
enum Kind : size_t { Position, Texcoord, Normal };

struct KindText {
    const char* name;
    const char* plural;
};

constexpr KindText kKindTexts[] = {
    {"vertex", "vertices"}, {"texture coordinate", "texture coordinates"}, {"normal", "normals"}};

// A face whose corners name data further down: triangulated at the end.
struct PendingPolygon {
    size_t group;
    size_t part;
    size_t line;
    std::vector<int> vertices;
};

}  // namespace

class ObjReader::Lines {
public:
    explicit Lines(std::string source) : mSource(std::move(source)) {}

    void read(std::string_view text) {
        if (!mCarry.empty()) {
            const size_t end = text.find('\n');
            mCarry.append(text.substr(0, end));
            if (end == std::string_view::npos) {
                return;
            }
            readLine(mCarry);
            mCarry.clear();
            text.remove_prefix(end + 1);
        }
        const size_t lastEnd = text.rfind('\n');
        const std::string_view complete =
            lastEnd == std::string_view::npos ? "" : text.substr(0, lastEnd + 1);
        forEachLine(complete, [this](std::string_view line, size_t) { readLine(line); });
        mCarry.assign(text.substr(complete.size()));
    }

    ObjModel finish() {
        if (!mCarry.empty()) {
            readLine(mCarry);
            mCarry.clear();
        }
        checkForwardIndices();
        for (const PendingPolygon& polygon : mPending) {
            mLine = polygon.line;
            triangulate(mModel.groups[polygon.group].meshes[polygon.part], polygon.vertices);
        }
        requireContent();
        for (ObjGroup& group : mModel.groups) {
            for (auto* parts : {&group.meshes, &group.lines}) {
                std::for_each(parts->begin(), parts->end(), [](ObjPart& part) { part.dropLookup(); });
            }
        }
        return std::move(mModel);
    }

private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw ReadError(mSource + ":" + std::to_string(mLine) + ": " + reason);
    }

    void warnOnce(std::string_view keyword, const std::string& reason) {
        if (mWarnedKeywords.insert(std::string(keyword)).second) {
            mModel.warnings.push_back(mSource + ":" + std::to_string(mLine) + ": " + reason);
        }
    }

    size_t count(Kind kind) const {
        const size_t sizes[] = {mModel.positions.size(), mModel.texcoords.size(), mModel.normals.size()};
        return sizes[kind];
    }

    void readLine(std::string_view line) {
        ++mLine;
        std::string_view rest = line;
        const std::string_view keyword = takeWord(rest);
        if (keyword.empty() || keyword.front() == '#') {
            return;
        }
        if (keyword == "v") {
            readVertex(rest);
        } else if (keyword == "vt") {
            mModel.texcoords.push_back(readNumbers<2>(keyword, rest, 1));
        } else if (keyword == "vn") {
            mModel.normals.push_back(readNumbers<3>(keyword, rest, 3));
        } else if (keyword == "f") {
            readFace(rest);
        } else if (keyword == "l") {
            readPolyline(rest);
        } else {
            readNaming(keyword, rest);
        }
    }

    void readNaming(std::string_view keyword, std::string_view rest) {
        if (keyword == "g") {
            // Several group names make one name.
            std::string name;
            for (std::string_view word = takeWord(rest); !word.empty(); word = takeWord(rest)) {
                name += (name.empty() ? "" : " ") + std::string(word);
            }
            setGroup(name);
        } else if (keyword == "o") {
            setGroup(ovStringUtils::trimmed(rest, kBlanks));
        } else if (keyword == "usemtl") {
            useMaterial(ovStringUtils::trimmed(rest, kBlanks));
        } else if (keyword == "mtllib") {
            if (!ovStringUtils::trimmed(rest, kBlanks).empty()) {
                mModel.materialLibraries.push_back(
                    {std::string(ovStringUtils::trimmed(rest, kBlanks)), mLine});
            }
        } else if (keyword == "p") {
            readPoints(rest);
        } else if (!isKeyword(keyword)) {
            fail(quoted(keyword) + " is not an OBJ statement");
        } else if (!kQuietlySkipped.contains(keyword)) {
            warnOnce(keyword, quoted(keyword) + " statements are not supported: skipped");
        }
    }

    std::string checkedName(std::string_view bytes) {
        std::string readAs;
        std::string name = utf8Name(bytes, readAs);
        const std::string fault = nameFault(name);
        if (!fault.empty()) {
            fail(fault);
        }
        if (!readAs.empty()) {
            // Once a name, however often it is used; the blank keeps it apart from the keywords.
            warnOnce(" " + name, readAs);
        }
        return name;
    }

    void setGroup(std::string_view name) {
        std::string key = checkedName(name.empty() ? std::string_view("default") : name);
        if (key != mGroup) {
            mGroup = std::move(key);
            forgetParts();
        }
    }

    void useMaterial(std::string_view name) {
        std::string material = checkedName(name);
        if (!material.empty() && mMaterialsUsed.insert(material).second) {
            mModel.materialsUsed.push_back({material, mLine});
        }
        if (material != mMaterial) {
            mMaterial = std::move(material);
            forgetParts();
        }
    }

    void forgetParts() {
        mMeshPart.reset();
        mLinePart.reset();
    }

    // "x y z", "x y z w" or "x y z r g b": six numbers give the vertex a
    // colour. From the first coloured vertex on, every vertex has an entry
    // in the colours, NaN red for one without.
    void readVertex(std::string_view rest) {
        size_t read = 0;
        const std::array<float, 6> values = readNumbers<6>("v", rest, 3, &read);
        mModel.positions.push_back({values[0], values[1], values[2]});
        if (read != 6 && mModel.colours.size() == 0) {
            return;
        }
        while (mModel.colours.size() + 1 < mModel.positions.size()) {
            mModel.colours.push_back(kNoColour);
        }
        mModel.colours.push_back(read == 6 ? ObjVector{values[3], values[4], values[5]} : kNoColour);
    }

    // Keeps the first Kept numbers (a missing v of a texture coordinate is 0);
    // later ones are checked and left aside. read receives how many there were.
    template <size_t Kept>
    std::array<float, Kept> readNumbers(std::string_view keyword, std::string_view rest, size_t minimum,
                                        size_t* count = nullptr) {
        rest = withoutComment(rest);
        std::array<float, Kept> values{};
        size_t read = 0;
        for (skipBlanks(rest); !rest.empty(); skipBlanks(rest), ++read) {
            const float value = takeNumber(rest);
            if (read < Kept) {
                values[read] = value;
            }
        }
        if (read < minimum) {
            fail(quoted(keyword) + " needs at least " + std::to_string(minimum) +
                 (minimum == 1 ? " number" : " numbers"));
        }
        if (count) {
            *count = read;
        }
        return values;
    }

    // Takes the number at the front of text: in one pass when it is a plain
    // decimal ended by a blank, by the word and parseFloat's rules otherwise.
    float takeNumber(std::string_view& text) {
        float value = 0.0f;
        const char* const end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error == std::errc() && (stop == end || isBlank(*stop)) && std::isfinite(value)) {
            text.remove_prefix(static_cast<size_t>(stop - text.data()));
            return value;
        }
        const std::string_view word = takeWord(text);
        const std::optional<float> parsed = parseFloat(word);
        if (!parsed) {
            fail(quoted(word) + " is not a finite decimal number");
        }
        return *parsed;
    }

    // Reads the corners of an element line, each "v", "v/vt", "v//vn" or
    // "v/vt/vn" with at most maxParts parts. Corners of plain numbers, as
    // nearly every file writes them, are read in one pass over their bytes;
    // any other word goes to readCorner, which says what is wrong with it.
    const std::vector<ObjCorner>& readCorners(std::string_view rest, size_t maxParts) {
        mCorners.clear();
        rest = withoutComment(rest);
        for (skipBlanks(rest); !rest.empty(); skipBlanks(rest)) {
            if (!readPlainCorner(rest, maxParts)) {
                mCorners.push_back(readCorner(takeWord(rest), maxParts));
            }
        }
        return mCorners;
    }

    // Reads a corner of whole numbers without signs other than '-' off the
    // front of text, and answers true; answers false, leaving text as it is,
    // for a word of any other shape.
    bool readPlainCorner(std::string_view& text, size_t maxParts) {
        int indices[3] = {-1, -1, -1};
        const char* at = text.data();
        const char* const end = at + text.size();
        for (size_t part = 0; part < maxParts; ++part) {
            const bool negative = at != end && *at == '-';
            const char* const digits = at + (negative ? 1 : 0);
            const char* stop = digits;
            long value = 0;
            while (stop != end && isDigit(*stop) && stop - digits < kMostPlainDigits) {
                value = value * 10 + (*stop++ - '0');
            }
            if (stop == digits) {
                // Only the texture coordinate may be left out, between two slashes.
                if (part != Texcoord || negative || stop == end || *stop != '/') {
                    return false;
                }
                at = stop + 1;
                continue;
            }
            const bool lastPart = stop == end || isBlank(*stop);
            if (!lastPart && *stop != '/') {
                return false;
            }
            indices[part] = resolveValue(negative ? -value : value, static_cast<Kind>(part));
            if (lastPart) {
                mCorners.push_back({indices[Position], indices[Texcoord], indices[Normal]});
                text.remove_prefix(static_cast<size_t>(stop - text.data()));
                return true;
            }
            at = stop + 1;
        }
        return false;
    }

    ObjCorner readCorner(std::string_view word, size_t maxParts) {
        int indices[3] = {-1, -1, -1};
        std::string_view rest = word;
        for (size_t part = 0;; ++part) {
            const size_t slash = rest.find('/');
            const std::string_view text = rest.substr(0, slash);
            if (part >= maxParts) {
                fail(quoted(word) + " has too many parts");
            }
            // Only the texture coordinate may be left out, between two slashes.
            const bool skipped = text.empty() && part == Texcoord && slash != std::string_view::npos;
            if (text.empty() && !skipped) {
                fail(quoted(word) + " lacks its " + kKindTexts[part].name + " index");
            }
            if (!skipped) {
                indices[part] = resolveIndex(text, static_cast<Kind>(part));
            }
            if (slash == std::string_view::npos) {
                return {indices[Position], indices[Texcoord], indices[Normal]};
            }
            rest.remove_prefix(slash + 1);
        }
    }

    int resolveIndex(std::string_view text, Kind kind) {
        long value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size()) {
            fail(quoted(text) + " is not a " + kKindTexts[kind].name + " index");
        }
        return resolveValue(value, kind);
    }

    // The 0-based element an index names, counting back from the last one
    // defined when negative.
    int resolveValue(long value, Kind kind) {
        if (value == 0) [[unlikely]] {
            fail(std::string(kKindTexts[kind].name) + " index 0 is not allowed: indices count from 1");
        }
        const auto defined = static_cast<long>(count(kind));
        if (value < 0) {
            if (-value > defined) {
                failOutOfRange(kind, value, defined, " before it");
            }
            return static_cast<int>(defined + value);
        }
        if (value > mLargest[kind].first) {
            mLargest[kind] = {value, mLine};
        }
        return static_cast<int>(std::min<long>(value, std::numeric_limits<int>::max()) - 1);
    }

    [[noreturn]] void failOutOfRange(Kind kind, long value, long defined, const char* where) const {
        fail(std::string(kKindTexts[kind].name) + " index " + std::to_string(value) +
             " is out of range: " + std::to_string(defined) + " " +
             (defined == 1 ? kKindTexts[kind].name : kKindTexts[kind].plural) + " defined" + where);
    }

    void checkForwardIndices() {
        for (const Kind kind : {Position, Texcoord, Normal}) {
            const auto [largest, line] = mLargest[kind];
            if (largest > static_cast<long>(count(kind))) {
                mLine = line;
                failOutOfRange(kind, largest, static_cast<long>(count(kind)), " in the file");
            }
        }
    }

    bool isDefined(const ObjCorner& corner) const {
        return corner.position < static_cast<int>(count(Position)) &&
               corner.texcoord < static_cast<int>(count(Texcoord)) &&
               corner.normal < static_cast<int>(count(Normal));
    }

    void readFace(std::string_view rest) {
        const std::vector<ObjCorner>& corners = readCorners(rest, 3);
        if (corners.size() < 3) {
            fail("a face needs at least 3 vertices");
        }
        auto [groupIndex, partIndex] = currentPart(mMeshPart, &ObjGroup::meshes);
        ObjPart& part = mModel.groups[groupIndex].meshes[partIndex];
        if (corners.size() == 3) {
            for (const ObjCorner& corner : corners) {
                part.indices.push_back(part.vertexOf(corner));
            }
            return;
        }
        std::vector<int> vertices;
        vertices.reserve(corners.size());
        for (const ObjCorner& corner : corners) {
            vertices.push_back(part.vertexOf(corner));
        }
        if (std::all_of(corners.begin(), corners.end(),
                        [this](const ObjCorner& c) { return isDefined(c); })) {
            triangulate(part, vertices);
        } else {
            mPending.push_back({groupIndex, partIndex, mLine, std::move(vertices)});
        }
    }

    void readPolyline(std::string_view rest) {
        const std::vector<ObjCorner>& corners = readCorners(rest, 2);
        if (corners.size() < 2) {
            fail("a line needs at least 2 vertices");
        }
        const auto [groupIndex, partIndex] = currentPart(mLinePart, &ObjGroup::lines);
        ObjPart& part = mModel.groups[groupIndex].lines[partIndex];
        int previous = part.vertexOf({corners.front().position, -1, -1});
        for (size_t i = 1; i < corners.size(); ++i) {
            const int next = part.vertexOf({corners[i].position, -1, -1});
            part.indices.push_back(previous);
            part.indices.push_back(next);
            previous = next;
        }
    }

    // Points are checked like any element, and counted for the message of a
    // file that holds nothing else.
    void readPoints(std::string_view rest) { mPointCount += readCorners(rest, 1).size(); }

    // The part of the current group and material for faces or lines, made
    // when the first element comes.
    std::pair<size_t, size_t> currentPart(std::optional<std::pair<size_t, size_t>>& cached,
                                          std::vector<ObjPart> ObjGroup::*parts) {
        if (!cached) {
            const auto [entry, added] = mGroupIndex.try_emplace(mGroup, mModel.groups.size());
            if (added) {
                mModel.groups.push_back(ObjGroup{mGroup, {}, {}});
            }
            std::vector<ObjPart>& list = mModel.groups[entry->second].*parts;
            const bool lines = parts == &ObjGroup::lines;
            const auto [part, made] = mPartIndex.try_emplace({entry->second, lines, mMaterial}, list.size());
            if (made) {
                list.emplace_back(mMaterial);
            }
            cached = {entry->second, part->second};
        }
        return *cached;
    }

    void triangulate(ObjPart& part, const std::vector<int>& polygon) {
        mPolygon.clear();
        for (const int vertex : polygon) {
            mPolygon.push_back(mModel.position(part.vertices[static_cast<size_t>(vertex)].position));
        }
        if (const std::optional<std::string> reason = PolygonTessellator::refusal(mPolygon)) {
            fail(*reason);
        }
        mTessellator.tessellate(mPolygon, mTessellation);
        // Vertices of the points the tessellator added, in its numbering.
        std::vector<int> added;
        for (const BlendedPoint& point : mTessellation.added) {
            added.push_back(part.addVertex(blendedCorner(part, polygon, added, point)));
        }
        for (const int number : mTessellation.triangles) {
            const auto at = static_cast<size_t>(number);
            part.indices.push_back(at < polygon.size() ? polygon[at] : added[at - polygon.size()]);
        }
    }

    // A corner for a point where edges cross, with the texture coordinates and
    // normal blended from its sources when they all have them.
    ObjCorner blendedCorner(const ObjPart& part, const std::vector<int>& polygon,
                            const std::vector<int>& added, const BlendedPoint& point) {
        std::vector<ObjCorner> sources;
        for (const int number : point.sources) {
            const auto at = static_cast<size_t>(number);
            sources.push_back(part.vertices[static_cast<size_t>(
                at < polygon.size() ? polygon[at] : added[at - polygon.size()])]);
        }
        const int number = addedPointNumber(static_cast<int>(mModel.addedPositions.size()));
        mModel.addedPositions.push_back({point.position.X(), point.position.Y(), point.position.Z()});
        const bool textured =
            std::all_of(sources.begin(), sources.end(), [](const ObjCorner& c) { return c.texcoord != -1; });
        const bool shaded =
            std::all_of(sources.begin(), sources.end(), [](const ObjCorner& c) { return c.normal != -1; });
        float u = 0.0f;
        float v = 0.0f;
        Wm4::Vector3f normal(0.0f, 0.0f, 0.0f);
        for (size_t i = 0; i < sources.size(); ++i) {
            const float weight = point.weights[i];
            if (textured) {
                const auto [su, sv] = mModel.texcoord(sources[i].texcoord);
                u += weight * su;
                v += weight * sv;
            }
            if (shaded) {
                normal = normal + mModel.normal(sources[i].normal) * weight;
            }
        }
        const float length = normal.Length();
        normal = length > 0.0f ? normal * (1.0f / length) : normal;
        mModel.addedTexcoords.push_back({u, v});
        mModel.addedNormals.push_back({normal.X(), normal.Y(), normal.Z()});
        mModel.addedColours.push_back(blendedColour(sources, point.weights));
        return {number, textured ? number : -1, shaded ? number : -1};
    }

    // The colour of a point blended from its sources' colours; none unless
    // they all have one.
    ObjVector blendedColour(const std::vector<ObjCorner>& sources,
                            const std::array<float, 4>& weights) const {
        ObjVector colour{};
        for (size_t i = 0; i < sources.size(); ++i) {
            const std::optional<ObjVector> source = mModel.colour(sources[i].position);
            if (!source) {
                return kNoColour;
            }
            for (size_t c = 0; c < colour.size(); ++c) {
                colour[c] += weights[i] * (*source)[c];
            }
        }
        return colour;
    }

    // A text of vertices or points alone reads as an empty scene, with a
    // warning; one with nothing at all is refused.
    void requireContent() {
        if (!mModel.groups.empty()) {
            return;
        }
        std::string held;
        const std::pair<size_t, const char*> counts[] = {{count(Position), " vertices"},
                                                         {count(Texcoord), " texture coordinates"},
                                                         {count(Normal), " normals"},
                                                         {mPointCount, " points"}};
        for (const auto& [number, what] : counts) {
            if (number > 0) {
                held += (held.empty() ? "" : ", ") + std::to_string(number) + what;
            }
        }
        const std::string reason =
            mSource + ": no faces or lines (f or l elements) to convert: the file holds ";
        if (held.empty()) {
            throw ReadError(reason + "nothing else either");
        }
        mModel.warnings.push_back(reason + "only " + held + "; the scene is empty");
    }

    std::string mSource;
    std::string mCarry;
    size_t mLine = 0;
    ObjModel mModel;
    std::string mGroup = "default";
    std::string mMaterial;
    std::unordered_map<std::string, size_t> mGroupIndex;
    // The part of each group, kind (lines or not) and material, and the
    // materials used: each found in one look-up, so that a file of many
    // materials takes no longer than its size.
    std::map<std::tuple<size_t, bool, std::string>, size_t> mPartIndex;
    std::unordered_set<std::string> mMaterialsUsed;
    std::optional<std::pair<size_t, size_t>> mMeshPart;
    std::optional<std::pair<size_t, size_t>> mLinePart;
    // Per kind, the largest positive index met and its line, checked at the
    // end because an index may name an element defined further down.
    std::pair<long, size_t> mLargest[3] = {};
    std::vector<PendingPolygon> mPending;
    std::set<std::string, std::less<>> mWarnedKeywords;
    size_t mPointCount = 0;
    std::vector<ObjCorner> mCorners;
    std::vector<Wm4::Vector3f> mPolygon;
    PolygonTessellator mTessellator;
    Tessellation mTessellation;
};

ObjReader::ObjReader(std::string source) : mLines(std::make_unique<Lines>(std::move(source))) {}

ObjReader::~ObjReader() = default;

void ObjReader::read(std::string_view text) {
    mLines->read(text);
}

ObjModel ObjReader::finish() {
    return mLines->finish();
}

}  // namespace ov::obj
