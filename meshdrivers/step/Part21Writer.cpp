#include "step/Part21Writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

#include "core/DriverLog.h"
#include "step/ExactReal.h"
#include "system/ovStringUtils.h"
#include "system/ovSystemUtils.h"

namespace ov::step {

namespace {

constexpr size_t kFormatBufferSize = 256;
static_assert(kExactRealMaxLength <= kFormatBufferSize);
constexpr char kEol[] = "\r\n";

// Above this many map entries per attribute name, a record's values are
// searched for instead of found in one walk over the map.
constexpr size_t kWalkedMapSizePerName = 8;

constexpr size_t kFirstDefinitionSlots = 64;

// Puts a definition's index into the first free slot from its hash on.
void placeDefinitionSlot(std::vector<uint32_t>& slots, size_t hash, size_t index) {
    const size_t mask = slots.size() - 1;
    size_t slot = hash & mask;
    while (slots[slot] != 0) {
        slot = (slot + 1) & mask;
    }
    slots[slot] = static_cast<uint32_t>(index + 1);
}

template <class Word>
Word load(const char* bytes) {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

uint64_t loadWord(const char* bytes) {
    return load<uint64_t>(bytes);
}

uint64_t mixHash(uint64_t hash, uint64_t word) {
    hash = (hash ^ word) * 0x9E3779B97F4A7C15u;
    return hash ^ (hash >> 29);
}

// Compares the words of one size at the same offset of two texts: 0 when
// they are equal, otherwise the order of their first differing byte as
// std::string::compare sees it.
template <class Word>
int compareWordAt(const char* left, const char* right, size_t offset) {
    const Word leftWord = load<Word>(left + offset);
    const Word rightWord = load<Word>(right + offset);
    if (leftWord == rightWord) {
        return 0;
    }
    const Word difference = leftWord ^ rightWord;
    const int bit = std::endian::native == std::endian::little ? std::countr_zero(difference)
                                                               : std::countl_zero(difference);
    const size_t index = offset + static_cast<size_t>(bit) / 8;
    return static_cast<unsigned char>(left[index]) < static_cast<unsigned char>(right[index]) ? -1 : 1;
}

// The order of the first `common` bytes of two texts, a word at a time: the
// words from the start, then one that ends with the common part and may
// overlap the one before. Names of 4 to 16 bytes take two comparisons, which
// keeps branches few and predictable; a call into the C library would cost
// more.
int compareCommonBytes(const char* left, const char* right, size_t common) {
    int order = 0;
    if (common >= 8) {
        for (size_t offset = 0; order == 0 && offset + 8 < common; offset += 8) {
            order = compareWordAt<uint64_t>(left, right, offset);
        }
        return order != 0 ? order : compareWordAt<uint64_t>(left, right, common - 8);
    }
    if (common >= 4) {
        order = compareWordAt<uint32_t>(left, right, 0);
        return order != 0 ? order : compareWordAt<uint32_t>(left, right, common - 4);
    }
    for (size_t index = 0; order == 0 && index < common; ++index) {
        order = compareWordAt<uint8_t>(left, right, index);
    }
    return order;
}

// The order of std::string::compare. A record's keys mostly equal the names
// they are compared with, so the whole name is read.
int compareBytes(const std::string& left, const std::string& right) {
    const int order = compareCommonBytes(left.data(), right.data(), std::min(left.size(), right.size()));
    if (order != 0 || left.size() == right.size()) {
        return order;
    }
    return left.size() < right.size() ? -1 : 1;
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
    definitionSlots.clear();
    writeError = false;
}

bool Part21Writer::fail() {
    writeError = true;
    return false;
}

bool Part21Writer::reportMissingOutput() {
    logLine(ovLogError) << "Missing output device or schema";
    return fail();
}

bool Part21Writer::beginWritePart21(const Part21Header& header, express::ExpressSchema* newSchema,
                                    ovIoDevice* newDevice) {
    clearPart21Writer();
    if (newDevice == nullptr || newSchema == nullptr) {
        return reportMissingOutput();
    }
    schema = newSchema;
    device = newDevice;

    const std::string text = buildHeader(header);
    return writeFrame(text.data(), text.size(), "Fail to write header");
}

bool Part21Writer::writeFrame(const char* bytes, size_t length, const char* failureText) {
    if (!writeRawStr(bytes, length)) {
        logLine(ovLogError) << failureText;
        return fail();
    }
    if (!device->good()) {
        logLine(ovLogError) << "Output devise is not good";
        return fail();
    }
    return true;
}

std::string Part21Writer::buildHeader(const Part21Header& header) {
    const std::string timeStamp = ovSystemUtils::GetCurrentTimeAsString("%FT%T", true);
    // A text that is not valid UTF-8 keeps what converted; the reason is logged.
    const auto encoded = [](const std::string& text) {
        std::string converted;
        Utf8ToPart21Encoding(text, converted);
        return converted;
    };
    std::string author = header.author;
    std::string version = header.preprocessorVersion;
    if (header.encodeTexts) {
        author = encoded(author);
        version = encoded(version);
    } else {
        ovStringUtils::ReplaceAllOccurrences(author, "'", "");
    }
    std::string schemas;
    for (const std::string& identifier : header.schemaIdentifiers) {
        schemas += (schemas.empty() ? "'" : ",'") + encoded(identifier) + "'";
    }

    std::string text;
    text += "ISO-10303-21;";
    text += kEol;
    text += "HEADER;";
    text += kEol;
    text += "FILE_DESCRIPTION(('No description'), '2;1');";
    text += kEol;
    text += "FILE_NAME('" + encoded(header.fileName) + "','" + timeStamp + "',('" + author + "'),(''),'" +
            std::string(kPreprocessorVersion) + "','" + version + "','');";
    text += kEol;
    text += "FILE_SCHEMA((" + schemas + "));";
    text += kEol;
    text += "ENDSEC;";
    text += kEol;
    text += kEol;
    text += "DATA;";
    text += kEol;
    return text;
}

Part21WriterUserData Part21Writer::generateEntityId() {
    return Part21WriterUserData(nextEntityId++);
}

uint64_t Part21Writer::reserveEntityIds(uint64_t count) {
    const uint64_t first = nextEntityId;
    nextEntityId += count;
    return first;
}

bool Part21Writer::writeFormattedRecords(const char* text, size_t length, uint64_t firstId, uint64_t count) {
    if (writeError) {
        return false;
    }
    if (!hasOutput()) {
        return reportMissingOutput();
    }
    for (uint64_t id = firstId; id < firstId + count; ++id) {
        if (!acceptEntityId(Part21WriterUserData(id))) {
            return fail();
        }
    }
    return writeRawStr(text, length) || fail();
}

bool Part21Writer::writeNamedEntity(const EntityNames& entityNames, const RecordValues& values,
                                    const Part21WriterUserData& id) {
    if (writeError) {
        return false;
    }
    if (!hasOutput()) {
        return reportMissingOutput();
    }
    const EntityDefinition* definition = getEntityDefinition(entityNames);
    if (definition == nullptr || definition->partialValues.size() < entityNames.size()) {
        return fail();
    }
    if (!acceptEntityId(id)) {
        return fail();
    }
    if (values.map != nullptr) {
        findValues(*definition, *values.map);
    } else {
        findValues(*definition, values.attributes);
    }
    if (!writeRecord(*definition, entityNames, id.getRef())) {
        return fail();
    }
    return true;
}

bool Part21Writer::writeEntity(const std::string& entityName, const ovVariantMapImpl& values,
                               const Part21WriterUserData& id) {
    return writeNamedEntity(EntityNames(std::span<const std::string>(&entityName, 1)), {&values}, id);
}

bool Part21Writer::writeEntity(std::initializer_list<std::string> entityNames, const ovVariantMapImpl& values,
                               const Part21WriterUserData& id) {
    return writeNamedEntity(
        EntityNames(std::span<const std::string>(entityNames.begin(), entityNames.size())), {&values}, id);
}

bool Part21Writer::writeEntity(const std::list<std::string>& entityNames, const ovVariantMapImpl& values,
                               const Part21WriterUserData& id) {
    return writeNamedEntity(EntityNames(entityNames), {&values}, id);
}

bool Part21Writer::writeAttributes(const std::string& entityName, std::span<const Part21Attribute> attributes,
                                   const Part21WriterUserData& id) {
    return writeNamedEntity(EntityNames(std::span<const std::string>(&entityName, 1)), {nullptr, attributes},
                            id);
}

bool Part21Writer::writeAttributes(const std::list<std::string>& entityNames,
                                   std::span<const Part21Attribute> attributes,
                                   const Part21WriterUserData& id) {
    return writeNamedEntity(EntityNames(entityNames), {nullptr, attributes}, id);
}

bool Part21Writer::EntityNames::equals(const std::list<std::string>& names) const {
    if (mList != nullptr) {
        return *mList == names;
    }
    return std::equal(mSpan.begin(), mSpan.end(), names.begin(), names.end());
}

std::list<std::string> Part21Writer::EntityNames::toList() const {
    std::list<std::string> names;
    forEach([&names](const std::string& name) { names.push_back(name); });
    return names;
}

std::string Part21Writer::EntityNames::join() const {
    std::string joined;
    forEach([&joined](const std::string& name) {
        if (!joined.empty()) {
            joined += ", ";
        }
        joined += name;
    });
    return joined;
}

size_t Part21Writer::EntityNames::hash() const {
    uint64_t hash = size();
    forEach([&hash](const std::string& name) {
        hash = mixHash(hash, name.size());
        if (name.size() >= sizeof(uint64_t)) {
            // First, middle and last eight bytes, overlapping in short names.
            const char* const data = name.data();
            const size_t last = name.size() - sizeof(uint64_t);
            hash = mixHash(hash, loadWord(data));
            hash = mixHash(hash, loadWord(data + last / 2));
            hash = mixHash(hash, loadWord(data + last));
        } else {
            for (const char byte : name) {
                hash = mixHash(hash, static_cast<unsigned char>(byte));
            }
        }
    });
    return static_cast<size_t>(hash ^ (hash >> 32));
}

const Part21Writer::EntityDefinition* Part21Writer::getEntityDefinition(const EntityNames& entityNames) {
    const size_t hash = entityNames.hash();
    if (const EntityDefinition* cached = findCachedDefinition(entityNames, hash)) {
        return cached;
    }
    CachedDefinition resolved{entityNames.toList(), hash, {}};
    AttributeLists attributeLists;
    if (!schema->getAttributeList(resolved.entityNames, attributeLists)) {
        return nullptr;
    }
    resolved.definition = planDefinition(attributeLists);
    return addCachedDefinition(std::move(resolved));
}

const Part21Writer::EntityDefinition* Part21Writer::findCachedDefinition(const EntityNames& entityNames,
                                                                         size_t hash) const {
    if (definitionSlots.empty()) {
        return nullptr;
    }
    const size_t mask = definitionSlots.size() - 1;
    for (size_t slot = hash & mask; definitionSlots[slot] != 0; slot = (slot + 1) & mask) {
        const CachedDefinition& cached = definitionCache[definitionSlots[slot] - 1];
        if (cached.hash == hash && entityNames.equals(cached.entityNames)) {
            return &cached.definition;
        }
    }
    return nullptr;
}

const Part21Writer::EntityDefinition* Part21Writer::addCachedDefinition(CachedDefinition cached) {
    definitionCache.push_back(std::move(cached));
    // At most half the slots in use keeps the probe sequences short.
    if (definitionSlots.size() < 2 * definitionCache.size()) {
        definitionSlots.assign(std::max(kFirstDefinitionSlots, 2 * definitionSlots.size()), 0);
        for (size_t index = 0; index < definitionCache.size(); ++index) {
            placeDefinitionSlot(definitionSlots, definitionCache[index].hash, index);
        }
    } else {
        placeDefinitionSlot(definitionSlots, definitionCache.back().hash, definitionCache.size() - 1);
    }
    return &definitionCache.back().definition;
}

Part21Writer::EntityDefinition Part21Writer::planDefinition(const AttributeLists& attributeLists) {
    EntityDefinition definition;
    std::vector<std::string>& names = definition.lookupNames;
    for (const auto& [upperName, attributes] : attributeLists) {
        for (const express::Attribute& attribute : attributes) {
            if (!attribute.superseded && !attribute.derivedInSubtype) {
                names.push_back(attribute.name);
            }
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());

    for (const auto& [upperName, attributes] : attributeLists) {
        EntityDefinition::PartialValue& partial = definition.partialValues.emplace_back();
        partial.name = upperName;
        partial.plainName = isPlainPart21Text(upperName);
        for (const express::Attribute& attribute : attributes) {
            if (attribute.superseded) {
                continue;
            }
            EntityDefinition::Parameter& parameter = partial.parameters.emplace_back();
            parameter.derivedInSubtype = attribute.derivedInSubtype;
            parameter.optional = attribute.optional;
            if (!attribute.derivedInSubtype) {
                const auto name = std::lower_bound(names.begin(), names.end(), attribute.name);
                parameter.lookupIndex = static_cast<uint32_t>(name - names.begin());
            }
        }
    }
    return definition;
}

bool Part21Writer::acceptEntityId(const Part21WriterUserData& id) {
    const uint64_t number = id.getRef();
    if (id.getType() != Part21WriterUserData::Ref || number == 0 || number >= nextEntityId) {
        logLine(ovLogError) << "Invalid entity id " << number;
        return false;
    }
    const auto word = static_cast<size_t>(number / 64);
    const uint64_t bit = uint64_t{1} << (number % 64);
    if (streamedIds.size() <= word) {
        streamedIds.resize(static_cast<size_t>(nextEntityId / 64) + 1);
    }
    if ((streamedIds[word] & bit) != 0) {
        logLine(ovLogError) << "Entity " << number << " was already streamed";
        return false;
    }
    // The id counts as written even when the record fails below.
    streamedIds[word] |= bit;
    ++streamedCount;
    return true;
}

void Part21Writer::findValues(const EntityDefinition& definition, const ovVariantMapImpl& values) {
    const std::vector<std::string>& names = definition.lookupNames;
    if (foundValues.size() < names.size()) {
        foundValues.resize(names.size());
    }
    // A map far larger than the attribute list is cheaper to search than to walk.
    if (values.size() > kWalkedMapSizePerName * names.size()) {
        for (size_t index = 0; index < names.size(); ++index) {
            const auto value = values.find(names[index]);
            foundValues[index] = value != values.end() ? &value->second : nullptr;
        }
        return;
    }
    // Both sides ascend: keys before a name match no attribute, the first key
    // equal to it holds its value, as find would answer it.
    auto entry = values.begin();
    const auto end = values.end();
    for (size_t index = 0; index < names.size(); ++index) {
        const ovVariant* value = nullptr;
        for (; entry != end; ++entry) {
            const int order = compareBytes(entry->first, names[index]);
            if (order > 0) {
                break;
            }
            if (order == 0) {
                value = &(entry++)->second;
                break;
            }
        }
        foundValues[index] = value;
    }
}

void Part21Writer::findValues(const EntityDefinition& definition,
                              std::span<const Part21Attribute> attributes) {
    const std::vector<std::string>& names = definition.lookupNames;
    if (foundValues.size() < names.size()) {
        foundValues.resize(names.size());
    }
    // A record has a handful of attributes: searching them beats sorting them.
    for (size_t index = 0; index < names.size(); ++index) {
        const auto found = std::find_if(
            attributes.begin(), attributes.end(),
            [&name = names[index]](const Part21Attribute& attribute) { return attribute.name == name; });
        foundValues[index] = found != attributes.end() ? &found->value : nullptr;
    }
}

bool Part21Writer::writeRecord(const EntityDefinition& definition, const EntityNames& entityNames,
                               uint64_t id) {
    char* const begin = formatBuffer.data();
    begin[0] = '#';
    char* end = std::to_chars(begin + 1, begin + formatBuffer.size() - 1, id).ptr;
    *end++ = '=';
    if (!writeRawStr(begin, static_cast<size_t>(end - begin))) {
        return false;
    }
    const bool complexInstance = definition.partialValues.size() > 1;
    if (complexInstance && !writeRawStr("(", 1)) {
        return false;
    }
    for (const EntityDefinition::PartialValue& partial : definition.partialValues) {
        const bool nameWritten = partial.plainName ? writeRawStr(partial.name) : writeUtf8Str(partial.name);
        if (!nameWritten || !writeRawStr("(", 1) || !writeParameters(definition, partial, entityNames) ||
            !writeRawStr(")", 1)) {
            return false;
        }
    }
    if (complexInstance && !writeRawStr(")", 1)) {
        return false;
    }
    return writeRawStr(";\r\n", 3);
}

bool Part21Writer::writeParameters(const EntityDefinition& definition,
                                   const EntityDefinition::PartialValue& partial,
                                   const EntityNames& entityNames) {
    bool first = true;
    for (const EntityDefinition::Parameter& parameter : partial.parameters) {
        if (!first && !writeRawStr(",", 1)) {
            return false;
        }
        first = false;
        if (parameter.derivedInSubtype) {
            if (!writeRawStr("*", 1)) {
                return false;
            }
        } else if (const ovVariant* value = foundValues[parameter.lookupIndex]) {
            if (!writeValue(*value)) {
                return false;
            }
        } else if (parameter.optional) {
            if (!writeRawStr("$", 1)) {
                return false;
            }
        } else {
            reportMissingValue(definition.lookupNames[parameter.lookupIndex], entityNames);
            return false;
        }
    }
    return true;
}

void Part21Writer::reportMissingValue(const std::string& attributeName, const EntityNames& entityNames) {
    logLine(ovLogError) << "Missing value for attribute '" << attributeName << "' while writing entity '["
                        << entityNames.join() << "]'";
}

bool Part21Writer::endWritePart21() {
    if (writeError) {
        return false;
    }
    if (!hasOutput()) {
        return reportMissingOutput();
    }
    if (streamedCount + 1 != nextEntityId) {
        logLine(ovLogError) << "Entities were not streamed";
        return fail();
    }
    static constexpr char kFooter[] = "ENDSEC;\r\nEND-ISO-10303-21;\r\n";
    return writeFrame(kFooter, sizeof(kFooter) - 1, "Fail to write footer");
}

}  // namespace ov::step
