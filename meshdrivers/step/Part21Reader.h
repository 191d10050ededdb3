#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ov::step {

// One token of an exchange file in the clear-text encoding.
struct Part21Token {
    enum class Kind : uint8_t {
        End,
        Keyword,
        InstanceName,
        Integer,
        Real,
        String,
        Binary,
        Enumeration,
        Open,
        Close,
        Comma,
        Semicolon,
        Equals,
        Unset,
        Derived,
        // text holds the reason.
        Error,
    };
    Kind kind = Kind::End;
    // The token as written (a string with its apostrophes), or the reason of an Error.
    std::string_view text;
    uint64_t line = 1;
};

// Splits the text into tokens, skipping blanks, line ends and /* */ comments.
class Part21Lexer {
public:
    explicit Part21Lexer(std::string_view text) : mText(text) {}
    Part21Token next();

private:
    Part21Token make(Part21Token::Kind kind, size_t start);
    Part21Token error(std::string_view reason);
    bool skipBlanksAndComments(Part21Token& failure);
    Part21Token number(size_t start);
    Part21Token delimited(char close, Part21Token::Kind kind, std::string_view unterminated);
    Part21Token enumeration(size_t start);
    void scanWord();
    void scanDigits();

    std::string_view mText;
    size_t mAt = 0;
    uint64_t mLine = 1;
};

// One parameter of a record, flattened: a list or typed parameter is followed
// by its content, and next is the index just past the whole parameter.
struct Part21Item {
    enum class Kind : uint8_t {
        Integer,
        Real,
        String,
        Binary,
        Enumeration,
        Reference,
        Unset,
        Derived,
        List,
        Typed
    };
    Kind kind = Kind::Unset;
    // A list of numbers and references only that a keeping reader holds as
    // one item: its text is the list as written, and its elements are no
    // items of their own.
    bool packed = false;
    // Lines below the record's first line.
    uint32_t lineOffset = 0;
    uint32_t next = 0;
    // As written; for a Typed parameter its type name, for a List "(".
    std::string_view text;
};

// One record: a header entity, or a data instance (simple, or complex with one
// part per partial value).
struct Part21Record {
    struct Part {
        std::string_view name;
        // Items of its parameter list: [first, end).
        uint32_t first = 0;
        uint32_t end = 0;
    };
    uint64_t line = 0;
    // 0 in the header section.
    uint64_t id = 0;
    bool complex = false;
    std::vector<Part> parts;
    std::vector<Part21Item> items;
};

// What the reader hands over while it reads.
class Part21Handler {
public:
    virtual ~Part21Handler() = default;
    virtual void headerRecord(const Part21Record& record) = 0;
    virtual void dataRecord(const Part21Record& record) = 0;
    // The file is not well-formed at line; the reader goes on after the next semicolon.
    virtual void syntaxError(uint64_t line, const std::string& message) = 0;
    // An instance whose number was read but whose value was not.
    virtual void unreadableInstance(uint64_t id, uint64_t line) = 0;
};

// Reads the exchange structure one record at a time: the ISO-10303-21 and
// HEADER lines, header records, DATA sections with their instances, and the
// END-ISO-10303-21 line. Nesting is followed with explicit stacks, so deep
// lists cannot exhaust the call stack.
class Part21Reader {
public:
    // With keepItems, the items of every record stay where they were read,
    // after those of the records before it: a record's parts and items then
    // index all the items read so far, which takeItems hands over at the end.
    // Lists of numbers and references only are then packed: geometry is
    // mostly such lists, and an item per value would take eight times the
    // text's size.
    Part21Reader(std::string_view text, Part21Handler& handler, bool keepItems = false);
    void read();
    std::vector<Part21Item> takeItems() { return std::move(mRecord.items); }

private:
    enum class Section { Start, HeaderDue, Header, BetweenSections, Data, End };
    // A list or typed parameter waiting for its closing parenthesis.
    struct Open {
        uint32_t item;
        bool packable;
    };

    Part21Token advance();
    bool expect(Part21Token::Kind kind, const char* what);
    void fail(const std::string& message);
    void failAt(const Part21Token& token, const std::string& message);
    void recover();
    bool isKeyword(std::string_view word) const;
    void readStatement();
    void readSectionStart();
    void readHeaderRecord();
    void readInstance();
    bool readInstanceValue();
    void startRecord();
    bool readSimple(std::string_view name);
    bool readComplex();
    bool readParameters();
    bool addScalar(const Part21Token& token);
    void closeParameter();
    uint32_t lineOffset(const Part21Token& token) const;

    Part21Lexer mLexer;
    Part21Handler& mHandler;
    Part21Token mToken;
    Section mSection = Section::Start;
    bool mKeepItems;
    Part21Record mRecord;
    std::vector<Open> mOpen;
};

}  // namespace ov::step
