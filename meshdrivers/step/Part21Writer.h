#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <list>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ovMeshDriversExport.h"
#include "express/ExpressSchema.h"
#include "step/Part21WriterUserData.h"
#include "system/ovIoDevice.h"
#include "system/ovVariant.h"
#include "system/ovVariantContainers.h"

namespace ov::step {

// What the header section of a file says; the application protocol decides
// the schema identifiers.
struct Part21Header {
    std::string fileName{};
    std::string author{};
    std::string preprocessorVersion{};
    std::vector<std::string> schemaIdentifiers{};
    // Texts in the exchange-file encoding; otherwise the author loses its
    // apostrophes and the version is written as it stands, as older files have them.
    bool encodeTexts = true;
};

// One attribute value of a record under its name as the schema spells it: a
// record given as a few of these, rather than as a value map, is written
// without building a map (the writing functions' own records).
struct Part21Attribute {
    std::string_view name;
    ovVariant value;
};

// How values are spelled in the records.
struct Part21ValueSpelling {
    // .T. and .F. rather than 1 and 0.
    bool logicalBooleans = false;
    // The shortest digits that read back to the same double, a number that
    // is not finite failing its record; otherwise every digit of the binary value.
    bool shortestReals = false;
};

// Writes an exchange file in the clear-text encoding: the header section, one
// data record per entity instance laid out from the EXPRESS schema, and the
// closing lines. Every token goes to the device by its own write, so the
// device is expected to buffer.
//
// Use: beginWritePart21, then for each instance an id from generateEntityId and
// one writeEntity, then endWritePart21. Any failure makes the writer refuse all
// further work until the next beginWritePart21.
class OVMESHDRIVERS_API Part21Writer {
public:
    // The preprocessor the FILE_NAME record names: how the library knows its own files.
    static constexpr std::string_view kPreprocessorVersion = "Part21 Writer";

    Part21Writer();
    Part21Writer(const Part21Writer& other);
    Part21Writer& operator=(const Part21Writer& other);
    ~Part21Writer();

    // Resets the writer and writes the header. The schema and the device stay
    // the caller's and must outlive the file.
    bool beginWritePart21(const Part21Header& header, express::ExpressSchema* schema, ovIoDevice* device);
    // The next instance id (1, 2, ...); every id handed out must be written once.
    Part21WriterUserData generateEntityId();

    // One data record. Several names make a complex instance. The value map is
    // keyed by the attribute names as the schema spells them; a missing optional
    // attribute is written "$", a missing mandatory one fails the record.
    bool writeEntity(const std::list<std::string>& entityNames, const ovVariantMapImpl& values,
                     const Part21WriterUserData& id);
    bool writeEntity(const std::string& entityName, const ovVariantMapImpl& values,
                     const Part21WriterUserData& id);
    bool writeEntity(std::initializer_list<std::string> entityNames, const ovVariantMapImpl& values,
                     const Part21WriterUserData& id);
    // The same record from its attributes; a name given twice takes its first value.
    bool writeAttributes(const std::string& entityName, std::span<const Part21Attribute> attributes,
                         const Part21WriterUserData& id);
    bool writeAttributes(const std::list<std::string>& entityNames,
                         std::span<const Part21Attribute> attributes, const Part21WriterUserData& id);

    // Bulk records that the caller formats itself, for data far too large to
    // travel as value maps (mesh geometry): the caller answers for their
    // layout. reserveEntityIds hands out count consecutive ids and answers the
    // first; writeFormattedRecords writes text, which begins the records of the
    // count ids from firstId on (count may be 0 for text that continues
    // records already begun). Each id is accepted as writeEntity accepts it.
    uint64_t reserveEntityIds(uint64_t count);
    bool writeFormattedRecords(const char* text, size_t length, uint64_t firstId, uint64_t count);

    // The exchange-file form of a UTF-8 text, without its apostrophes; false
    // when the text is not valid UTF-8 (out then holds what converted).
    static bool Utf8ToPart21Encoding(const std::string& in, std::string& out);

    // Checks that every id handed out was written, then writes the closing lines.
    bool endWritePart21();
    bool isWriteError() const { return writeError; }

    // How values are spelled; kept across files.
    void setValueSpelling(const Part21ValueSpelling& newSpelling) { spelling = newSpelling; }

private:
    friend struct Part21WriterTestAccess;

    // How the records of one name list are laid out, worked out from the schema
    // once per file: the partial values in writing order with the parameters
    // each writes, and the names of the attributes that take values, sorted the
    // way a value map sorts its keys so that one walk over a record's map finds
    // all its values.
    struct EntityDefinition {
        struct Parameter {
            // Index of the attribute's name in lookupNames.
            uint32_t lookupIndex = 0;
            bool derivedInSubtype = false;
            bool optional = false;
        };
        struct PartialValue {
            // Upper-cased entity name.
            std::string name;
            // The name is written as it stands, without encoding.
            bool plainName = false;
            std::vector<Parameter> parameters;
        };
        std::vector<PartialValue> partialValues;
        // Distinct, in ascending byte order.
        std::vector<std::string> lookupNames;
    };
    // Upper-cased entity name to the attributes of its partial value, as the
    // schema lays an instance out.
    using AttributeLists = std::map<std::string, std::vector<express::Attribute>>;
    // The entity names of one call, read where the caller holds them: most
    // records are written without copying a name.
    class EntityNames {
    public:
        explicit EntityNames(const std::list<std::string>& names) : mList(&names) {}
        explicit EntityNames(std::span<const std::string> names) : mSpan(names) {}

        size_t size() const { return mList != nullptr ? mList->size() : mSpan.size(); }
        bool equals(const std::list<std::string>& names) const;
        // Of the names' lengths and a few words of each: cheap, and enough to
        // tell the entity names of a schema apart.
        size_t hash() const;
        std::list<std::string> toList() const;
        // "a, b, c"
        std::string join() const;
        template <class Visit>
        void forEach(Visit visit) const {
            if (mList != nullptr) {
                std::for_each(mList->begin(), mList->end(), visit);
            } else {
                std::for_each(mSpan.begin(), mSpan.end(), visit);
            }
        }

    private:
        const std::list<std::string>* mList = nullptr;
        std::span<const std::string> mSpan;
    };
    // The layout resolved for one name list, with the hash it is found by.
    struct CachedDefinition {
        std::list<std::string> entityNames;
        size_t hash = 0;
        EntityDefinition definition;
    };

    void clearPart21Writer();
    bool fail();
    bool hasOutput() const { return device != nullptr && schema != nullptr; }
    bool reportMissingOutput();
    static std::string buildHeader(const Part21Header& header);
    // Header and footer: written whole, then the device must still be good.
    bool writeFrame(const char* bytes, size_t length, const char* failureText);
    // A record's values: a value map, or else attributes.
    struct RecordValues {
        const ovVariantMapImpl* map = nullptr;
        std::span<const Part21Attribute> attributes{};
    };
    bool writeNamedEntity(const EntityNames& entityNames, const RecordValues& values,
                          const Part21WriterUserData& id);
    const EntityDefinition* getEntityDefinition(const EntityNames& entityNames);
    const EntityDefinition* findCachedDefinition(const EntityNames& entityNames, size_t hash) const;
    const EntityDefinition* addCachedDefinition(CachedDefinition cached);
    static EntityDefinition planDefinition(const AttributeLists& attributeLists);
    bool acceptEntityId(const Part21WriterUserData& id);
    void findValues(const EntityDefinition& definition, const ovVariantMapImpl& values);
    void findValues(const EntityDefinition& definition, std::span<const Part21Attribute> attributes);
    bool writeRecord(const EntityDefinition& definition, const EntityNames& entityNames, uint64_t id);
    bool writeParameters(const EntityDefinition& definition, const EntityDefinition::PartialValue& partial,
                         const EntityNames& entityNames);
    static void reportMissingValue(const std::string& attributeName, const EntityNames& entityNames);

    bool writeValue(const ovVariant& value);
    bool writeUserData(const ovVariant::UserDataInterface* userData);
    bool writeVector(const double* components, int count);
    bool writeList(const ovVariantListImpl& list);
    bool writeInteger(int64_t value);
    bool writeDouble(double value);
    // The shortest digits that read back to value, always with a decimal point.
    bool writeShortestReal(double value);
    bool writeUtf8Str(const std::string& text);
    bool writeRawStr(const char* bytes, size_t length) {
        const auto wanted = static_cast<int64_t>(length);
        return device->write(bytes, wanted) >= wanted;
    }
    bool writeRawStr(const std::string& text) { return writeRawStr(text.data(), text.size()); }
    // Text that the exchange-file string encoding leaves as it is.
    static bool isPlainPart21Text(const std::string& text);

    // Ids are handed out densely from 1, so the written ones are kept as one
    // bit per id, 64 to a word: far cheaper per record than a tree of numbers.
    std::vector<uint64_t> streamedIds;
    uint64_t streamedCount;
    // One entry per distinct name list met since beginWritePart21, found
    // through definitionSlots: an open-addressing table of a power-of-two size,
    // each slot an index into definitionCache plus one, 0 when free. Cheaper
    // per record than a tree or a node-based hash map.
    std::vector<CachedDefinition> definitionCache;
    std::vector<uint32_t> definitionSlots;
    std::vector<char> formatBuffer;
    express::ExpressSchema* schema;
    ovIoDevice* device;
    uint64_t nextEntityId;
    bool writeError;
    Part21ValueSpelling spelling;

    // Reused between records so that the usual record needs no allocation.
    std::string encodingScratch;
    // The value of each lookup name in the record being written; null when the
    // map has none.
    std::vector<const ovVariant*> foundValues;
};

}  // namespace ov::step
