#include "step/Part21Writer.h"

#include <algorithm>
#include <charconv>

#include "step/Part21WriterLog.h"
#include "system/ovStringUtils.h"
#include "system/ovSystemUtils.h"

namespace ov::step {

namespace {

constexpr size_t kFormatBufferSize = 256;
constexpr char kEol[] = "\r\n";

std::string joinNames(const std::list<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) {
            joined += ", ";
        }
        joined += name;
    }
    return joined;
}

}  // namespace

Part21Writer::Part21Writer()
    : streamedCount(0),
      formatBuffer(kFormatBufferSize, '\0'),
      schema(nullptr),
      device(nullptr),
      nextEntityId(1),
      writeError(false) {}

Part21Writer::Part21Writer(const Part21Writer& other) = default;

Part21Writer& Part21Writer::operator=(const Part21Writer& other) = default;

Part21Writer::~Part21Writer() = default;

void Part21Writer::clearPart21Writer() {
    device = nullptr;
    schema = nullptr;
    nextEntityId = 1;
    streamedIds.clear();
    streamedCount = 0;
    definitionCache.clear();
    writeError = false;
}

bool Part21Writer::fail() {
    writeError = true;
    return false;
}

bool Part21Writer::hasOutput() {
    if (device != nullptr && schema != nullptr) {
        return true;
    }
    part21ErrorLine() << "Missing output device or schema";
    return fail();
}

bool Part21Writer::beginWritePart21(const std::string& fileName, const SaveMeshOptions& options,
                                    express::ExpressSchema* newSchema, ovIoDevice* newDevice) {
    clearPart21Writer();
    if (newDevice == nullptr || newSchema == nullptr) {
        return hasOutput();
    }
    schema = newSchema;
    device = newDevice;

    const std::string header = buildHeader(fileName, options);
    if (!writeRawStr(header)) {
        part21ErrorLine() << "Fail to write header";
        return fail();
    }
    if (!device->good()) {
        part21ErrorLine() << "Output devise is not good";
        return fail();
    }
    return true;
}

std::string Part21Writer::buildHeader(const std::string& fileName, const SaveMeshOptions& options) const {
    const std::string timeStamp = ovSystemUtils::GetCurrentTimeAsString("%FT%T", true);
    // A file name that is not valid UTF-8 keeps what converted; the reason is logged.
    std::string encodedFileName;
    Utf8ToPart21Encoding(fileName, encodedFileName);
    std::string author = options.author;
    ovStringUtils::ReplaceAllOccurrences(author, "'", "");
    const std::string version = GetSoftwareVersionForStream().toString();

    std::string header;
    header += "ISO-10303-21;";
    header += kEol;
    header += "HEADER;";
    header += kEol;
    header += "FILE_DESCRIPTION(('No description'), '2;1');";
    header += kEol;
    header += "FILE_NAME('" + encodedFileName + "','" + timeStamp + "',('" + author +
              "'),(''),'Part21 Writer','" + version + "','');";
    header += kEol;
    header +=
        "FILE_SCHEMA(('AUTOMOTIVE_DESIGN','AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF',"
        "'AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 }'));";
    header += kEol;
    header += "ENDSEC;";
    header += kEol;
    header += kEol;
    header += "DATA;";
    header += kEol;
    return header;
}

Part21WriterUserData Part21Writer::generateEntityId() {
    return Part21WriterUserData(nextEntityId++);
}

bool Part21Writer::writeEntity(const std::string& entityName, const ovVariantMapImpl& values,
                               const Part21WriterUserData& id) {
    namesScratch.resize(1);
    namesScratch.front() = entityName;
    return writeEntity(namesScratch, values, id);
}

bool Part21Writer::writeEntity(std::initializer_list<std::string> entityNames, const ovVariantMapImpl& values,
                               const Part21WriterUserData& id) {
    namesScratch.resize(entityNames.size());
    std::copy(entityNames.begin(), entityNames.end(), namesScratch.begin());
    return writeEntity(namesScratch, values, id);
}

bool Part21Writer::writeEntity(const std::list<std::string>& entityNames, const ovVariantMapImpl& values,
                               const Part21WriterUserData& id) {
    if (writeError) {
        return false;
    }
    if (!hasOutput()) {
        return false;
    }
    const EntityDefinition* definition = getEntityDefinition(entityNames);
    if (definition == nullptr || definition->size() < entityNames.size()) {
        return fail();
    }
    if (!acceptEntityId(id)) {
        return fail();
    }
    if (!writeRecord(*definition, entityNames, values, id.getRef())) {
        return fail();
    }
    return true;
}

bool Part21Writer::NameListLess::operator()(const std::list<std::string>& left,
                                            const std::list<std::string>& right) const {
    if (left.size() != right.size()) {
        return left.size() < right.size();
    }
    for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) {
        if (l->size() != r->size()) {
            return l->size() < r->size();
        }
        const int order = l->compare(*r);
        if (order != 0) {
            return order < 0;
        }
    }
    return false;
}

const Part21Writer::EntityDefinition* Part21Writer::getEntityDefinition(
    const std::list<std::string>& entityNames) {
    auto cached = definitionCache.find(entityNames);
    if (cached != definitionCache.end()) {
        return &cached->second;
    }
    auto inserted = definitionCache.emplace(entityNames, EntityDefinition()).first;
    if (!schema->getAttributeList(entityNames, inserted->second)) {
        definitionCache.erase(inserted);
        return nullptr;
    }
    return &inserted->second;
}

bool Part21Writer::acceptEntityId(const Part21WriterUserData& id) {
    const uint64_t number = id.getRef();
    if (id.getType() != Part21WriterUserData::Ref || number == 0 || number >= nextEntityId) {
        part21ErrorLine() << "Invalid entity id " << number;
        return false;
    }
    if (streamedIds.size() <= number) {
        streamedIds.resize(nextEntityId);
    }
    if (streamedIds[number]) {
        part21ErrorLine() << "Entity " << number << " was already streamed";
        return false;
    }
    // The id counts as written even when the record fails below.
    streamedIds[number] = true;
    ++streamedCount;
    return true;
}

bool Part21Writer::writeRecord(const EntityDefinition& definition, const std::list<std::string>& entityNames,
                               const ovVariantMapImpl& values, uint64_t id) {
    char* const begin = formatBuffer.data();
    begin[0] = '#';
    char* end = std::to_chars(begin + 1, begin + formatBuffer.size() - 1, id).ptr;
    *end++ = '=';
    if (!writeRawStr(begin, static_cast<size_t>(end - begin))) {
        return false;
    }
    const bool complexInstance = definition.size() > 1;
    if (complexInstance && !writeRawStr("(", 1)) {
        return false;
    }
    for (const auto& [upperName, attributes] : definition) {
        if (!writeUtf8Str(upperName) || !writeRawStr("(", 1) ||
            !writeParameters(attributes, entityNames, values) || !writeRawStr(")", 1)) {
            return false;
        }
    }
    if (complexInstance && !writeRawStr(")", 1)) {
        return false;
    }
    return writeRawStr(";\r\n", 3);
}

bool Part21Writer::writeParameters(const std::vector<express::Attribute>& attributes,
                                   const std::list<std::string>& entityNames,
                                   const ovVariantMapImpl& values) {
    bool first = true;
    for (const express::Attribute& attribute : attributes) {
        if (attribute.superseded) {
            continue;
        }
        if (!first && !writeRawStr(",", 1)) {
            return false;
        }
        first = false;
        if (!writeParameter(attribute, entityNames, values)) {
            return false;
        }
    }
    return true;
}

bool Part21Writer::writeParameter(const express::Attribute& attribute,
                                  const std::list<std::string>& entityNames, const ovVariantMapImpl& values) {
    if (attribute.derivedInSubtype) {
        return writeRawStr("*", 1);
    }
    const auto value = values.find(attribute.name);
    if (value != values.end()) {
        return writeValue(value->second);
    }
    if (attribute.optional) {
        return writeRawStr("$", 1);
    }
    part21ErrorLine() << "Missing value for attribute '" << attribute.name << "' while writing entity '["
                      << joinNames(entityNames) << "]'";
    return false;
}

bool Part21Writer::endWritePart21() {
    if (writeError) {
        return false;
    }
    if (!hasOutput()) {
        return false;
    }
    if (streamedCount + 1 != nextEntityId) {
        part21ErrorLine() << "Entities were not streamed";
        return fail();
    }
    static constexpr char kFooter[] = "ENDSEC;\r\nEND-ISO-10303-21;\r\n";
    if (!writeRawStr(kFooter, sizeof(kFooter) - 1)) {
        part21ErrorLine() << "Fail to write footer";
        return fail();
    }
    if (!device->good()) {
        part21ErrorLine() << "Output devise is not good";
        return fail();
    }
    return true;
}

bool Part21Writer::writeRawStr(const char* bytes, size_t length) {
    const auto wanted = static_cast<int64_t>(length);
    return device->write(bytes, wanted) >= wanted;
}

}  // namespace ov::step
