#pragma once

// The data section of an exchange file, read whole and indexed by instance
// number, for readers that follow references from record to record.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "step/Part21Reader.h"

namespace ov::step {

class StepFile;

// The parameters of one partial value (a simple record has one), and the
// elements of a list parameter.
class StepParams {
public:
    StepParams(const StepFile& file, uint32_t record, uint32_t first, uint32_t end)
        : mFile(&file), mRecord(record), mFirst(first), mEnd(end) {}
    // The elements of a packed list.
    StepParams(const StepFile& file, uint32_t record, const Part21Item& packed)
        : mFile(&file), mRecord(record), mPacked(&packed) {}

    // The parameters in order; a list or typed parameter counts as one. In a
    // packed list, the iterator holds the element it is at.
    class Iterator {
    public:
        Iterator(const StepFile& file, uint32_t at) : mFile(&file), mAt(at) {}
        explicit Iterator(const Part21Item& packed);
        static Iterator packedEnd() { return Iterator(kPackedEnd); }
        const Part21Item& operator*() const;
        Iterator& operator++();
        bool operator==(const Iterator& other) const { return mAt == other.mAt; }
        uint32_t index() const { return mAt; }

    private:
        static constexpr uint32_t kPackedEnd = UINT32_MAX;
        explicit Iterator(uint32_t at) : mAt(at) {}
        void readElement();

        const StepFile* mFile = nullptr;
        // The item's index; in a packed list, the element's position.
        uint32_t mAt;
        Part21Lexer mLexer{std::string_view()};
        uint32_t mListLineOffset = 0;
        Part21Item mElement;
    };
    Iterator begin() const { return mPacked != nullptr ? Iterator(*mPacked) : Iterator(*mFile, mFirst); }
    Iterator end() const { return mPacked != nullptr ? Iterator::packedEnd() : Iterator(*mFile, mEnd); }

    size_t size() const;
    // The parameter at position, or a ReadError naming the record when it
    // has fewer. A packed list's element lives until the next call.
    const Part21Item& at(size_t position) const;
    // The list at position (a ReadError unless it is one).
    StepParams list(size_t position) const;
    // The elements of a list item of this record.
    StepParams elements(const Part21Item& list) const;
    uint32_t record() const { return mRecord; }

private:
    const StepFile* mFile;
    uint32_t mRecord;
    uint32_t mFirst = 0;
    uint32_t mEnd = 0;
    const Part21Item* mPacked = nullptr;
    mutable Part21Item mElement;
};

// Every instance of the data sections, its parameters kept as the reader
// flattened them. Entity names are interned, upper case: a record's kind is a
// number to compare. A ReadError names the source and line of what is wrong.
class StepFile {
public:
    // Reads text (which must outlive the object) as an exchange structure.
    // ReadError at the first syntax error, a second instance of one number,
    // or a file schema this reader does not know.
    StepFile(std::string_view text, std::string source);

    // The number of an entity name (upper case); a name no record uses gets
    // one too, which no record has.
    uint32_t nameId(std::string_view upperName);
    size_t recordCount() const { return mRecords.size(); }
    uint64_t lineOf(uint32_t record) const { return mRecords[record].line; }
    uint64_t instanceOf(uint32_t record) const { return mRecords[record].id; }
    bool isComplex(uint32_t record) const { return mRecords[record].partCount > 1; }
    // Whether the record is an instance of the entity, or has it as a partial value.
    bool has(uint32_t record, uint32_t name) const;
    // The name of a simple record (the first part's of a complex one).
    uint32_t kindOf(uint32_t record) const { return mParts[mRecords[record].firstPart].name; }
    std::string_view nameOf(uint32_t record) const { return mNames[kindOf(record)]; }
    // The parameters of a simple record, or of the named partial value of a
    // complex one; ReadError when it has no such part.
    StepParams params(uint32_t record) const;
    StepParams params(uint32_t record, uint32_t part) const;

    // The record an item refers to; ReadError, naming the line where the
    // reference is written, when it is no reference or refers to no instance.
    uint32_t target(uint32_t from, const Part21Item& item) const;
    // The record of an instance number, if the file defines it.
    std::optional<uint32_t> recordOf(uint64_t instance) const;
    // The values of items, ReadError when they are of another kind.
    double real(uint32_t from, const Part21Item& item) const;
    int64_t integer(uint32_t from, const Part21Item& item) const;
    bool boolean(uint32_t from, const Part21Item& item) const;
    // Text decoded to UTF-8; an unset value is empty.
    std::string text(uint32_t from, const Part21Item& item) const;
    std::string_view enumeration(uint32_t from, const Part21Item& item) const;
    bool isUnset(const Part21Item& item) const {
        return item.kind == Part21Item::Kind::Unset || item.kind == Part21Item::Kind::Derived;
    }

    // A ReadError naming the source and the line of the record (plus the
    // item's offset, when given).
    [[noreturn]] void fail(uint32_t record, const std::string& message,
                           const Part21Item* item = nullptr) const;
    std::string where(uint64_t line) const;
    const std::string& source() const { return mSource; }

private:
    friend class StepParams;
    friend class StepFileHandler;
    struct Part {
        uint32_t name;
        uint32_t first;
        uint32_t end;
    };
    struct Record {
        uint64_t id;
        uint64_t line;
        uint32_t firstPart;
        uint32_t partCount;
    };

    void add(const Part21Record& record);
    // Builds the lookup by instance number, refusing a number defined twice.
    void index();
    void indexOne(uint32_t record, uint32_t& slot);

    std::string mSource;
    std::vector<Part21Item> mItems;
    std::vector<Part> mParts;
    std::vector<Record> mRecords;
    std::vector<std::string> mNames;
    std::unordered_map<std::string, uint32_t> mNameIds;
    // The names as the text spells them, which most records repeat.
    std::unordered_map<std::string_view, uint32_t> mSpelledNameIds;
    // Record plus one (0: none) by instance number where the numbers are
    // dense, as writers number them; a map otherwise.
    std::vector<uint32_t> mDense;
    std::unordered_map<uint64_t, uint32_t> mSparse;
};

}  // namespace ov::step
