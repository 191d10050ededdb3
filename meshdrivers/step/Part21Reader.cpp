#include "step/Part21Reader.h"

#include <charconv>
#include <limits>

namespace ov::step {

namespace {

using Kind = Part21Token::Kind;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isKeywordStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isKeywordChar(char c) {
    // The hyphen belongs to ISO-10303-21 and END-ISO-10303-21.
    return isKeywordStart(c) || isDigit(c) || c == '-';
}

std::string quoted(std::string_view text) {
    constexpr size_t kShown = 40;
    return '\'' + std::string(text.substr(0, kShown)) + (text.size() > kShown ? "...'" : "'");
}

}  // namespace

Part21Token Part21Lexer::make(Kind kind, size_t start) {
    return {kind, mText.substr(start, mAt - start), mLine};
}

Part21Token Part21Lexer::error(std::string_view reason) {
    return {Kind::Error, reason, mLine};
}

// False with failure set on an unterminated comment.
bool Part21Lexer::skipBlanksAndComments(Part21Token& failure) {
    while (mAt < mText.size()) {
        const char c = mText[mAt];
        if (c == '\n') {
            ++mLine;
            ++mAt;
        } else if (c == ' ' || c == '\r' || c == '\t') {
            ++mAt;
        } else if (c == '/' && mAt + 1 < mText.size() && mText[mAt + 1] == '*') {
            const uint64_t startLine = mLine;
            const size_t end = mText.find("*/", mAt + 2);
            const size_t stop = end == std::string_view::npos ? mText.size() : end + 2;
            for (size_t i = mAt; i < stop; ++i) {
                mLine += mText[i] == '\n' ? 1 : 0;
            }
            mAt = stop;
            if (end == std::string_view::npos) {
                failure = {Kind::Error, "comment not closed", startLine};
                return false;
            }
        } else {
            return true;
        }
    }
    return true;
}

Part21Token Part21Lexer::next() {
    Part21Token failure;
    if (!skipBlanksAndComments(failure)) {
        return failure;
    }
    if (mAt == mText.size()) {
        return {Kind::End, {}, mLine};
    }
    const size_t start = mAt;
    const char c = mText[mAt];
    static constexpr std::pair<char, Kind> kSingles[] = {
        {'(', Kind::Open},   {')', Kind::Close}, {',', Kind::Comma},   {';', Kind::Semicolon},
        {'=', Kind::Equals}, {'$', Kind::Unset}, {'*', Kind::Derived},
    };
    for (const auto& [single, kind] : kSingles) {
        if (c == single) {
            ++mAt;
            return make(kind, start);
        }
    }
    if (c == '\'') {
        return delimited('\'', Kind::String, "string not closed");
    }
    if (c == '"') {
        return delimited('"', Kind::Binary, "binary not closed");
    }
    if (c == '.') {
        return enumeration(start);
    }
    if (c == '#') {
        ++mAt;
        scanDigits();
        return mAt - start > 1 ? make(Kind::InstanceName, start) : error("'#' without an instance number");
    }
    if (isDigit(c) || c == '+' || c == '-') {
        return number(start);
    }
    if (isKeywordStart(c) || c == '!') {
        ++mAt;
        scanWord();
        return make(Kind::Keyword, start);
    }
    ++mAt;
    return error("unexpected character");
}

void Part21Lexer::scanWord() {
    while (mAt < mText.size() && isKeywordChar(mText[mAt])) {
        ++mAt;
    }
}

void Part21Lexer::scanDigits() {
    while (mAt < mText.size() && isDigit(mText[mAt])) {
        ++mAt;
    }
}

// [+-] digits [ . digits [ E [+-] digits ] ]
Part21Token Part21Lexer::number(size_t start) {
    if (!isDigit(mText[mAt])) {
        ++mAt;
    }
    const size_t digits = mAt;
    scanDigits();
    if (mAt == digits) {
        return error("sign without a number");
    }
    if (mAt == mText.size() || mText[mAt] != '.') {
        return make(Kind::Integer, start);
    }
    ++mAt;
    scanDigits();
    if (mAt < mText.size() && (mText[mAt] == 'E' || mText[mAt] == 'e')) {
        ++mAt;
        if (mAt < mText.size() && (mText[mAt] == '+' || mText[mAt] == '-')) {
            ++mAt;
        }
        const size_t exponent = mAt;
        scanDigits();
        if (mAt == exponent) {
            return error("real number with an empty exponent");
        }
    }
    return make(Kind::Real, start);
}

// A string ends at an apostrophe that is not doubled; a binary at the next quote.
Part21Token Part21Lexer::delimited(char close, Kind kind, std::string_view unterminated) {
    const size_t start = mAt;
    const uint64_t startLine = mLine;
    ++mAt;
    while (mAt < mText.size()) {
        const char c = mText[mAt++];
        if (c == '\n') {
            ++mLine;
        } else if (c == close) {
            if (close == '\'' && mAt < mText.size() && mText[mAt] == '\'') {
                ++mAt;
                continue;
            }
            return {kind, mText.substr(start, mAt - start), startLine};
        }
    }
    return {Kind::Error, unterminated, startLine};
}

Part21Token Part21Lexer::enumeration(size_t start) {
    ++mAt;
    if (mAt == mText.size() || !isKeywordStart(mText[mAt])) {
        return error("'.' that starts no enumeration");
    }
    while (mAt < mText.size() && (isKeywordStart(mText[mAt]) || isDigit(mText[mAt]))) {
        ++mAt;
    }
    if (mAt == mText.size() || mText[mAt] != '.') {
        return error("enumeration not closed by '.'");
    }
    ++mAt;
    return make(Kind::Enumeration, start);
}

Part21Reader::Part21Reader(std::string_view text, Part21Handler& handler, bool keepItems)
    : mLexer(text), mHandler(handler), mKeepItems(keepItems) {
    // With lists packed, files of geometry hold an item every 16 to 24
    // bytes: the items seldom move as they grow, and pages not reached are
    // never touched.
    if (keepItems) {
        mRecord.items.reserve(text.size() / 16);
    }
}

Part21Token Part21Reader::advance() {
    mToken = mLexer.next();
    return mToken;
}

void Part21Reader::fail(const std::string& message) {
    failAt(mToken, message);
}

void Part21Reader::failAt(const Part21Token& token, const std::string& message) {
    mHandler.syntaxError(token.line, token.kind == Kind::Error ? std::string(token.text) : message);
    recover();
}

// On to just past the next semicolon (strings and comments are tokens, so a
// semicolon inside one does not count).
void Part21Reader::recover() {
    while (mToken.kind != Kind::Semicolon && mToken.kind != Kind::End) {
        advance();
    }
}

bool Part21Reader::expect(Kind kind, const char* what) {
    if (advance().kind == kind) {
        return true;
    }
    fail(std::string("expected ") + what + " but found " +
         (mToken.kind == Kind::End ? std::string("the end of the file") : quoted(mToken.text)));
    return false;
}

void Part21Reader::read() {
    while (mSection != Section::End) {
        if (advance().kind == Kind::End) {
            mHandler.syntaxError(mToken.line, "the file ends before END-ISO-10303-21;");
            return;
        }
        readStatement();
    }
    if (advance().kind != Kind::End) {
        mHandler.syntaxError(mToken.line, "text after END-ISO-10303-21;");
    }
}

bool Part21Reader::isKeyword(std::string_view word) const {
    return mToken.kind == Kind::Keyword && mToken.text == word;
}

void Part21Reader::readStatement() {
    switch (mSection) {
        case Section::Start:
            mSection = Section::HeaderDue;
            if (isKeyword("ISO-10303-21")) {
                expect(Kind::Semicolon, "';'");
            } else {
                fail("the file does not start with ISO-10303-21;");
            }
            return;
        case Section::HeaderDue:
            mSection = Section::Header;
            if (isKeyword("HEADER")) {
                expect(Kind::Semicolon, "';'");
                return;
            }
            mHandler.syntaxError(mToken.line, "expected HEADER;");
            break;
        case Section::BetweenSections:
            readSectionStart();
            return;
        default:
            break;
    }
    if (mToken.kind == Kind::Keyword && mToken.text == "ENDSEC") {
        mSection = Section::BetweenSections;
        expect(Kind::Semicolon, "';'");
    } else if (mSection == Section::Header) {
        readHeaderRecord();
    } else if (mToken.kind == Kind::InstanceName) {
        readInstance();
    } else {
        fail("expected an instance #n= but found " + quoted(mToken.text));
    }
}

void Part21Reader::readSectionStart() {
    if (isKeyword("END-ISO-10303-21")) {
        mSection = Section::End;
        expect(Kind::Semicolon, "';'");
        return;
    }
    if (!isKeyword("DATA")) {
        fail("expected DATA; or END-ISO-10303-21; but found " + quoted(mToken.text));
        return;
    }
    mSection = Section::Data;
    // DATA may name its section: DATA('name', ('schema'));
    if (advance().kind == Kind::Open) {
        startRecord();
        if (!readParameters()) {
            return;
        }
        advance();
    }
    if (mToken.kind != Kind::Semicolon) {
        fail("expected ';' after DATA");
    }
}

void Part21Reader::readHeaderRecord() {
    if (mToken.kind != Kind::Keyword) {
        fail("expected a header entity but found " + quoted(mToken.text));
        return;
    }
    startRecord();
    if (readSimple(mToken.text) && expect(Kind::Semicolon, "';'")) {
        mHandler.headerRecord(mRecord);
    }
}

void Part21Reader::readInstance() {
    startRecord();
    const std::string_view digits = mToken.text.substr(1);
    const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), mRecord.id);
    if (failure != std::errc() || mRecord.id == 0) {
        fail("instance number " + quoted(mToken.text) + " out of range");
        return;
    }
    if (readInstanceValue() && expect(Kind::Semicolon, "';'")) {
        mHandler.dataRecord(mRecord);
    } else {
        mHandler.unreadableInstance(mRecord.id, mRecord.line);
    }
}

bool Part21Reader::readInstanceValue() {
    if (!expect(Kind::Equals, "'='")) {
        return false;
    }
    advance();
    if (mToken.kind == Kind::Open) {
        return readComplex();
    }
    if (mToken.kind == Kind::Keyword) {
        return readSimple(mToken.text);
    }
    fail("expected an entity name after '=' but found " + quoted(mToken.text));
    return false;
}

// Keeps the vectors' room: most records are read without allocating.
void Part21Reader::startRecord() {
    mRecord.line = mToken.line;
    mRecord.id = 0;
    mRecord.complex = false;
    mRecord.parts.clear();
    if (!mKeepItems) {
        mRecord.items.clear();
    }
}

// NAME ( parameters ), the current token being NAME.
bool Part21Reader::readSimple(std::string_view name) {
    if (!expect(Kind::Open, "'('")) {
        return false;
    }
    Part21Record::Part part;
    part.name = name;
    part.first = static_cast<uint32_t>(mRecord.items.size());
    if (!readParameters()) {
        return false;
    }
    part.end = static_cast<uint32_t>(mRecord.items.size());
    mRecord.parts.push_back(part);
    return true;
}

// ( NAME ( parameters ) NAME ( parameters ) ... ), the current token being "(".
bool Part21Reader::readComplex() {
    mRecord.complex = true;
    while (advance().kind == Kind::Keyword) {
        if (!readSimple(mToken.text)) {
            return false;
        }
    }
    if (mToken.kind != Kind::Close || mRecord.parts.empty()) {
        fail("expected a partial value NAME(...) or ')' in a complex instance but found " +
             quoted(mToken.text));
        return false;
    }
    return true;
}

uint32_t Part21Reader::lineOffset(const Part21Token& token) const {
    const uint64_t offset = token.line - mRecord.line;
    return offset > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                         : static_cast<uint32_t>(offset);
}

bool Part21Reader::addScalar(const Part21Token& token) {
    using ItemKind = Part21Item::Kind;
    static constexpr std::pair<Kind, ItemKind> kScalars[] = {
        {Kind::Integer, ItemKind::Integer},
        {Kind::Real, ItemKind::Real},
        {Kind::String, ItemKind::String},
        {Kind::Binary, ItemKind::Binary},
        {Kind::Enumeration, ItemKind::Enumeration},
        {Kind::InstanceName, ItemKind::Reference},
        {Kind::Unset, ItemKind::Unset},
        {Kind::Derived, ItemKind::Derived},
    };
    for (const auto& [tokenKind, itemKind] : kScalars) {
        if (token.kind == tokenKind) {
            const auto index = static_cast<uint32_t>(mRecord.items.size());
            mRecord.items.push_back({itemKind, false, lineOffset(token), index + 1, token.text});
            if (!mOpen.empty() && itemKind != ItemKind::Integer && itemKind != ItemKind::Real &&
                itemKind != ItemKind::Reference) {
                mOpen.back().packable = false;
            }
            return true;
        }
    }
    return false;
}

// Ends the innermost list or typed parameter at the current ")". A kept list
// of numbers and references becomes one packed item; the items read into it
// are dropped, so their room serves the next list.
void Part21Reader::closeParameter() {
    const Open open = mOpen.back();
    mOpen.pop_back();
    Part21Item& item = mRecord.items[open.item];
    if (mKeepItems && open.packable && mRecord.items.size() > open.item + 1) {
        item.packed = true;
        item.text = std::string_view(item.text.data(),
                                     static_cast<size_t>(mToken.text.data() + 1 - item.text.data()));
        mRecord.items.resize(open.item + 1);
    }
    item.next = static_cast<uint32_t>(mRecord.items.size());
}

// The parameters after an opening parenthesis, up to its closing one. Lists
// and typed parameters nest through mOpen, the items still waiting for their
// closing parenthesis.
bool Part21Reader::readParameters() {
    constexpr size_t kMaxItems = std::numeric_limits<uint32_t>::max() - 1;
    mOpen.clear();
    bool afterValue = false;
    bool justOpened = true;
    while (true) {
        advance();
        if (mRecord.items.size() >= kMaxItems) {
            fail("record too large");
            return false;
        }
        const bool inTyped =
            !mOpen.empty() && mRecord.items[mOpen.back().item].kind == Part21Item::Kind::Typed;
        if (mToken.kind == Kind::Close && (afterValue || (justOpened && !inTyped))) {
            if (mOpen.empty()) {
                return true;
            }
            closeParameter();
            afterValue = true;
            justOpened = false;
            continue;
        }
        if (afterValue) {
            if (mToken.kind != Kind::Comma || inTyped) {
                fail("expected ',' or ')' but found " + quoted(mToken.text));
                return false;
            }
            afterValue = false;
            justOpened = false;
            continue;
        }
        if (addScalar(mToken)) {
            afterValue = true;
            continue;
        }
        const auto index = static_cast<uint32_t>(mRecord.items.size());
        if (mToken.kind == Kind::Open) {
            mRecord.items.push_back({Part21Item::Kind::List, false, lineOffset(mToken), 0, mToken.text});
        } else if (mToken.kind == Kind::Keyword) {
            mRecord.items.push_back({Part21Item::Kind::Typed, false, lineOffset(mToken), 0, mToken.text});
            if (!expect(Kind::Open, "'(' after a type name")) {
                return false;
            }
        } else {
            fail("expected a parameter but found " +
                 (mToken.kind == Kind::End ? std::string("the end of the file") : quoted(mToken.text)));
            return false;
        }
        if (!mOpen.empty()) {
            mOpen.back().packable = false;
        }
        mOpen.push_back({index, mRecord.items[index].kind == Part21Item::Kind::List});
        justOpened = true;
    }
}

}  // namespace ov::step
