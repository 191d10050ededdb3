#include "step/StepFile.h"

#include <utf8.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <limits>

#include "core/InputFiles.h"
#include "core/TextEncoding.h"

namespace ov::step {

namespace {

using ItemKind = Part21Item::Kind;

std::string upper(std::string_view name) {
    std::string result(name);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

// The application protocols whose product structure and geometry this reader
// knows, by the start of their schema names.
bool knownSchema(std::string_view name) {
    static constexpr std::string_view kKnown[] = {"AP203", "AP214", "AP242", "AUTOMOTIVE_DESIGN",
                                                  "CONFIG_CONTROL_DESIGN"};
    const std::string named = upper(name);
    return std::any_of(std::begin(kKnown), std::end(kKnown),
                       [&named](std::string_view known) { return named.starts_with(known); });
}

// An item as written, for a message: a long string or list is cut short.
std::string written(const Part21Item& item) {
    constexpr size_t kShown = 40;
    return "'" + std::string(item.text.substr(0, kShown)) + (item.text.size() > kShown ? "...'" : "'");
}

uint32_t hexValue(std::string_view digits, bool& valid) {
    uint32_t value = 0;
    const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    valid = valid && failure == std::errc() && end == digits.data() + digits.size();
    return value;
}

// Appends the code points of \X2\ (four hex digits each) or \X4\ (eight)
// up to \X0\; answers the position after it, or npos when malformed.
size_t appendWide(std::string_view content, size_t at, size_t width, std::string& text) {
    const size_t end = content.find("\\X0\\", at);
    if (end == std::string_view::npos || (end - at) % width != 0) {
        return std::string_view::npos;
    }
    bool valid = true;
    std::u32string points;
    for (size_t i = at; i < end; i += width) {
        points.push_back(hexValue(content.substr(i, width), valid));
    }
    if (width == 4) {
        std::u16string units(points.begin(), points.end());
        std::string decoded;
        try {
            utf8::utf16to8(units.begin(), units.end(), std::back_inserter(decoded));
        } catch (const utf8::exception&) {
            return std::string_view::npos;
        }
        text += decoded;
    } else {
        for (const char32_t point : points) {
            if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
                return std::string_view::npos;
            }
            utf8::append(point, std::back_inserter(text));
        }
    }
    return valid ? end + 4 : std::string_view::npos;
}

// The text of a string's content (between its apostrophes); false when a
// directive is malformed.
bool decodeString(std::string_view content, std::string& text) {
    // Bytes outside the basic alphabet break the standard, but writers on
    // Windows put their code page's letters in raw.
    const bool rawUtf8 = utf8::is_valid(content.begin(), content.end());
    for (size_t at = 0; at < content.size();) {
        const char c = content[at];
        if (c == '\'') {
            text += '\'';
            at += 2;
        } else if (c != '\\' && (rawUtf8 || static_cast<unsigned char>(c) < 0x80)) {
            text += c;
            ++at;
        } else if (c != '\\') {
            appendWindows1252(static_cast<unsigned char>(c), text);
            ++at;
        } else if (content.substr(at, 2) == "\\\\") {
            text += '\\';
            at += 2;
        } else if (content.substr(at, 3) == "\\X\\" && at + 5 <= content.size()) {
            bool valid = true;
            utf8::append(hexValue(content.substr(at + 3, 2), valid), std::back_inserter(text));
            if (!valid) {
                return false;
            }
            at += 5;
        } else if (content.substr(at, 4) == "\\X2\\" || content.substr(at, 4) == "\\X4\\") {
            at = appendWide(content, at + 4, content[at + 2] == '2' ? 4 : 8, text);
            if (at == std::string_view::npos) {
                return false;
            }
        } else if (content.substr(at, 3) == "\\S\\" && at + 4 <= content.size()) {
            utf8::append(static_cast<unsigned char>(content[at + 3]) + 128U, std::back_inserter(text));
            at += 4;
        } else if (content.substr(at, 2) == "\\P" && at + 4 <= content.size() && content[at + 3] == '\\') {
            // Code pages other than Latin-1 are rare; their letters stay as \S\ gives them.
            at += 4;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

class StepFileHandler : public Part21Handler {
public:
    explicit StepFileHandler(StepFile& file) : mFile(file) {}

    void headerRecord(const Part21Record& record) override {
        if (record.parts.size() != 1 || upper(record.parts[0].name) != "FILE_SCHEMA") {
            return;
        }
        for (uint32_t i = record.parts[0].first; i < record.parts[0].end; ++i) {
            const Part21Item& item = record.items[i];
            if (item.kind == ItemKind::String && item.text.size() >= 2) {
                std::string name;
                const std::string_view content = item.text.substr(1, item.text.size() - 2);
                if (!decodeString(content, name) || !knownSchema(name)) {
                    throw ReadError(mFile.where(record.line) + ": unknown schema '" + name +
                                    "': this reader knows AP203, AP214 and AP242 files");
                }
                mKnown = true;
            }
        }
    }
    void dataRecord(const Part21Record& record) override {
        if (!mKnown) {
            throw ReadError(mFile.where(record.line) + ": the header names no FILE_SCHEMA");
        }
        mFile.add(record);
    }
    void syntaxError(uint64_t line, const std::string& message) override {
        throw ReadError(mFile.where(line) + ": " + message);
    }
    void unreadableInstance(uint64_t, uint64_t line) override {
        throw ReadError(mFile.where(line) + ": unreadable instance");
    }

private:
    StepFile& mFile;
    bool mKnown = false;
};

StepFile::StepFile(std::string_view text, std::string source) : mSource(std::move(source)) {
    // Sizes a file's records commonly come close to, so that the tables
    // seldom move as they grow; the items stay where the reader reads them.
    mRecords.reserve(text.size() / 48);
    mParts.reserve(text.size() / 48);
    StepFileHandler handler(*this);
    Part21Reader reader(text, handler, true);
    reader.read();
    mItems = reader.takeItems();
    index();
}

void StepFile::index() {
    uint64_t largest = 0;
    for (const Record& record : mRecords) {
        largest = std::max(largest, record.id);
    }
    const bool dense = largest <= 4 * static_cast<uint64_t>(mRecords.size()) + 1024;
    if (dense) {
        mDense.assign(static_cast<size_t>(largest) + 1, 0);
    }
    for (uint32_t record = 0; record < mRecords.size(); ++record) {
        indexOne(record, dense ? mDense[mRecords[record].id] : mSparse[mRecords[record].id]);
    }
}

void StepFile::indexOne(uint32_t record, uint32_t& slot) {
    if (slot != 0) {
        throw ReadError(where(mRecords[record].line) + ": instance #" + std::to_string(mRecords[record].id) +
                        " is defined a second time (first at line " +
                        std::to_string(mRecords[slot - 1].line) + ")");
    }
    slot = record + 1;
}

std::string StepFile::where(uint64_t line) const {
    return mSource + ":" + std::to_string(line);
}

void StepFile::fail(uint32_t record, const std::string& message, const Part21Item* item) const {
    const uint64_t line = mRecords[record].line + (item != nullptr ? item->lineOffset : 0);
    throw ReadError(where(line) + ": #" + std::to_string(mRecords[record].id) + " " +
                    std::string(nameOf(record)) + ": " + message);
}

uint32_t StepFile::nameId(std::string_view upperName) {
    const auto [entry, added] = mNameIds.try_emplace(std::string(upperName), mNames.size());
    if (added) {
        mNames.emplace_back(upperName);
    }
    return entry->second;
}

void StepFile::add(const Part21Record& record) {
    constexpr size_t kMost = std::numeric_limits<uint32_t>::max() - 1;
    if (mRecords.size() >= kMost) {
        throw ReadError(where(record.line) + ": the file holds more values than this reader takes");
    }
    mRecords.push_back({record.id, record.line, static_cast<uint32_t>(mParts.size()),
                        static_cast<uint32_t>(record.parts.size())});
    for (const Part21Record::Part& part : record.parts) {
        auto [spelled, added] = mSpelledNameIds.try_emplace(part.name, 0);
        if (added) {
            spelled->second = nameId(upper(part.name));
        }
        mParts.push_back({spelled->second, part.first, part.end});
    }
}

bool StepFile::has(uint32_t record, uint32_t name) const {
    const Record& r = mRecords[record];
    for (uint32_t p = r.firstPart; p < r.firstPart + r.partCount; ++p) {
        if (mParts[p].name == name) {
            return true;
        }
    }
    return false;
}

StepParams StepFile::params(uint32_t record) const {
    const Part& part = mParts[mRecords[record].firstPart];
    return {*this, record, part.first, part.end};
}

StepParams StepFile::params(uint32_t record, uint32_t name) const {
    const Record& r = mRecords[record];
    for (uint32_t p = r.firstPart; p < r.firstPart + r.partCount; ++p) {
        if (mParts[p].name == name) {
            return {*this, record, mParts[p].first, mParts[p].end};
        }
    }
    fail(record, "has no partial value " + mNames[name]);
}

uint32_t StepFile::target(uint32_t from, const Part21Item& item) const {
    if (item.kind != ItemKind::Reference) {
        fail(from, "expected a reference but found " + written(item), &item);
    }
    uint64_t id = 0;
    std::from_chars(item.text.data() + 1, item.text.data() + item.text.size(), id);
    const std::optional<uint32_t> record = recordOf(id);
    if (!record) {
        fail(from, "refers to " + std::string(item.text) + ", which the file does not define", &item);
    }
    return *record;
}

std::optional<uint32_t> StepFile::recordOf(uint64_t instance) const {
    uint32_t slot = 0;
    if (!mDense.empty()) {
        slot = instance < mDense.size() ? mDense[instance] : 0;
    } else if (const auto found = mSparse.find(instance); found != mSparse.end()) {
        slot = found->second;
    }
    if (slot == 0) {
        return std::nullopt;
    }
    return slot - 1;
}

double StepFile::real(uint32_t from, const Part21Item& item) const {
    // A typed value (LENGTH_MEASURE(25.4)) holds its number as the next item.
    const Part21Item& value =
        item.kind == ItemKind::Typed && &item + 1 < mItems.data() + mItems.size() ? *(&item + 1) : item;
    double number = 0;
    if (value.kind == ItemKind::Real || value.kind == ItemKind::Integer) {
        const char* begin = value.text.data() + (value.text.starts_with('+') ? 1 : 0);
        const auto [end, failure] = std::from_chars(begin, value.text.data() + value.text.size(), number);
        if (failure == std::errc() && std::isfinite(number)) {
            return number;
        }
    }
    fail(from, "expected a number but found " + written(value), &item);
}

int64_t StepFile::integer(uint32_t from, const Part21Item& item) const {
    int64_t number = 0;
    if (item.kind == ItemKind::Integer) {
        const char* begin = item.text.data() + (item.text.starts_with('+') ? 1 : 0);
        const auto [end, failure] = std::from_chars(begin, item.text.data() + item.text.size(), number);
        if (failure == std::errc()) {
            return number;
        }
    }
    fail(from, "expected an integer but found " + written(item), &item);
}

bool StepFile::boolean(uint32_t from, const Part21Item& item) const {
    const std::string_view value = enumeration(from, item);
    if (value == "T" || value == "F") {
        return value == "T";
    }
    fail(from, "expected .T. or .F. but found " + written(item), &item);
}

std::string_view StepFile::enumeration(uint32_t from, const Part21Item& item) const {
    if (item.kind != ItemKind::Enumeration) {
        fail(from, "expected an enumeration but found " + written(item), &item);
    }
    return item.text.substr(1, item.text.size() - 2);
}

std::string StepFile::text(uint32_t from, const Part21Item& item) const {
    if (isUnset(item)) {
        return {};
    }
    std::string decoded;
    if (item.kind != ItemKind::String || !decodeString(item.text.substr(1, item.text.size() - 2), decoded)) {
        fail(from, "expected a string but found " + written(item), &item);
    }
    return decoded;
}

StepParams::Iterator::Iterator(const Part21Item& packed)
    : mAt(0), mLexer(packed.text), mListLineOffset(packed.lineOffset) {
    mLexer.next();  // the opening parenthesis
    readElement();
}

// The reader packed the list only when each element was a number or a reference.
void StepParams::Iterator::readElement() {
    using TokenKind = Part21Token::Kind;
    const Part21Token token = mLexer.next();
    const ItemKind kind = token.kind == TokenKind::Integer        ? ItemKind::Integer
                          : token.kind == TokenKind::Real         ? ItemKind::Real
                          : token.kind == TokenKind::InstanceName ? ItemKind::Reference
                                                                  : ItemKind::Unset;
    if (kind == ItemKind::Unset) {
        mAt = kPackedEnd;
        return;
    }
    mElement = {kind, false, mListLineOffset + static_cast<uint32_t>(token.line - 1), 0, token.text};
}

const Part21Item& StepParams::Iterator::operator*() const {
    return mFile != nullptr ? mFile->mItems[mAt] : mElement;
}

StepParams::Iterator& StepParams::Iterator::operator++() {
    if (mFile != nullptr) {
        mAt = mFile->mItems[mAt].next;
    } else if (mLexer.next().kind == Part21Token::Kind::Comma) {
        ++mAt;
        readElement();
    } else {
        mAt = kPackedEnd;
    }
    return *this;
}

size_t StepParams::size() const {
    size_t count = 0;
    for (Iterator it = begin(); it != end(); ++it) {
        ++count;
    }
    return count;
}

const Part21Item& StepParams::at(size_t position) const {
    Iterator it = begin();
    for (size_t i = 0; i < position && it != end(); ++i) {
        ++it;
    }
    if (it == end()) {
        mFile->fail(mRecord, "has fewer than " + std::to_string(position + 1) + " parameters");
    }
    if (mPacked != nullptr) {
        mElement = *it;
        return mElement;
    }
    return mFile->mItems[it.index()];
}

StepParams StepParams::elements(const Part21Item& list) const {
    if (list.kind != ItemKind::List) {
        mFile->fail(mRecord, "expected a list but found " + written(list), &list);
    }
    if (list.packed) {
        return {*mFile, mRecord, list};
    }
    const auto first = static_cast<uint32_t>(&list - mFile->mItems.data()) + 1;
    return {*mFile, mRecord, first, list.next};
}

StepParams StepParams::list(size_t position) const {
    return elements(at(position));
}

}  // namespace ov::step
