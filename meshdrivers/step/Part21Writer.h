#pragma once

#include <cstdint>
#include <initializer_list>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "core/ovMeshDriversExport.h"
#include "express/ExpressSchema.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "step/Part21WriterUserData.h"
#include "system/ovIoDevice.h"
#include "system/ovVariant.h"
#include "system/ovVariantContainers.h"

namespace ov::step {

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
    Part21Writer();
    Part21Writer(const Part21Writer& other);
    Part21Writer& operator=(const Part21Writer& other);
    ~Part21Writer();

    // Resets the writer and writes the header. The schema and the device stay
    // the caller's and must outlive the file.
    bool beginWritePart21(const std::string& fileName, const SaveMeshOptions& options,
                          express::ExpressSchema* schema, ovIoDevice* device);
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

    // Checks that every id handed out was written, then writes the closing lines.
    bool endWritePart21();
    bool isWriteError() const { return writeError; }

private:
    friend struct Part21WriterTestAccess;

    // Upper-cased entity name to the attributes of its partial value, in the
    // order the partial values are written.
    using EntityDefinition = std::map<std::string, std::vector<express::Attribute>>;
    // Name lists compared element by element, a shorter name before a longer
    // one: most entity names differ in length, which decides without reading
    // their characters. Every record looks its names up here.
    struct NameListLess {
        bool operator()(const std::list<std::string>& left, const std::list<std::string>& right) const;
    };

    void clearPart21Writer();
    bool fail();
    bool hasOutput();
    std::string buildHeader(const std::string& fileName, const SaveMeshOptions& options) const;
    const EntityDefinition* getEntityDefinition(const std::list<std::string>& entityNames);
    bool acceptEntityId(const Part21WriterUserData& id);
    bool writeRecord(const EntityDefinition& definition, const std::list<std::string>& entityNames,
                     const ovVariantMapImpl& values, uint64_t id);
    bool writeParameters(const std::vector<express::Attribute>& attributes,
                         const std::list<std::string>& entityNames, const ovVariantMapImpl& values);
    bool writeParameter(const express::Attribute& attribute, const std::list<std::string>& entityNames,
                        const ovVariantMapImpl& values);

    bool writeValue(const ovVariant& value);
    bool writeUserData(const ovVariant::UserDataInterface* userData);
    bool writeVector(const double* components, int count);
    bool writeList(const ovVariantListImpl& list);
    bool writeInteger(int64_t value);
    bool writeDouble(double value);
    bool writeUtf8Str(const std::string& text);
    bool writeRawStr(const char* bytes, size_t length);
    bool writeRawStr(const std::string& text) { return writeRawStr(text.data(), text.size()); }
    static bool Utf8ToPart21Encoding(const std::string& in, std::string& out);

    // Ids are handed out densely from 1, so the written ones are kept as one
    // flag per id: far cheaper per record than a tree of numbers.
    std::vector<bool> streamedIds;
    uint64_t streamedCount;
    std::map<std::list<std::string>, EntityDefinition, NameListLess> definitionCache;
    std::vector<char> formatBuffer;
    express::ExpressSchema* schema;
    ovIoDevice* device;
    uint64_t nextEntityId;
    bool writeError;

    // Reused between records so that the usual record needs no allocation.
    std::list<std::string> namesScratch;
    std::string encodingScratch;
};

}  // namespace ov::step
