#pragma once

#include <list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/ovMeshDriversExport.h"

namespace ov::express {

// One attribute of an entity as the schema declares it, or as an instance
// layout resolves it (the last two flags).
struct OVMESHDRIVERS_API Attribute {
    // For a redeclaration SELF\s.n this is n.
    std::string name;
    // The entity whose body declares the attribute, spelled as in the file.
    std::string entity;
    // For a redeclaration SELF\s.n this is s; empty otherwise.
    std::string supertype;
    bool optional = false;
    // Declared after the DERIVE keyword of its entity.
    bool derived = false;
    // Written SELF\s.n.
    bool redeclared = false;
    // Instance layout only: a subtype of a complex instance derives this
    // attribute, so its value is written "*".
    bool derivedInSubtype = false;
    // Instance layout only: another entry stands for this attribute; it is not written.
    bool superseded = false;

    void clearAttribute();
};

// An attribute a UNIQUE rule names: SELF\supertype.name, or name alone.
struct OVMESHDRIVERS_API AttributeReference {
    // Empty when the rule names the attribute without SELF\.
    std::string supertype;
    std::string name;
};

// No two instances of the entity, its subtypes' instances included, may have
// the same values in all of the rule's attributes together.
struct OVMESHDRIVERS_API UniqueRule {
    // Empty when the rule has none.
    std::string label;
    std::vector<AttributeReference> attributes;
};

struct OVMESHDRIVERS_API EntityTemplate {
    // Spelled as in the file, case included.
    std::string name;
    // The names inside SUBTYPE OF ( ... ), in written order.
    std::vector<std::string> supertypes;
    // Own explicit attributes and SELF\ redeclarations, in declaration order.
    std::vector<Attribute> attributes;
    std::vector<UniqueRule> uniqueRules;

    void clearEntity();
};

// How a schema file may be spelled.
enum class SchemaSpelling {
    // As a long form is written: keywords in capitals, (* *) comments only,
    // "SUBTYPE OF (" and "END_ENTITY;" as they stand. The driver's own schema.
    LongForm,
    // Any spelling EXPRESS allows: keywords in any case, -- remarks, blanks
    // anywhere between tokens. Names are read in lower case.
    Any,
};

// The parts of an EXPRESS schema that lay out entity instances (entity names,
// supertypes and attributes) and the UNIQUE rules over them.
class OVMESHDRIVERS_API ExpressSchema {
public:
    // Replaces the content with the entities of the file; false when the file
    // could not be read or parsed completely (the entities parsed before the
    // failure stay).
    bool loadSchema(const std::string& path, SchemaSpelling spelling = SchemaSpelling::LongForm);

    // Lays out one instance: a single name gives one entry holding the full
    // inherited attribute list; several names (a complex instance) give one
    // entry per entity of the instance and its ancestors with that entity's own
    // attributes. Keys are the upper-cased entity names.
    bool getAttributeList(const std::list<std::string>& entityNames,
                          std::map<std::string, std::vector<Attribute>>& result) const;

    // Byte-wise, case-sensitive order of the names as spelled in the file.
    std::map<std::string, EntityTemplate> entities;

private:
    bool getAttributeList(const std::string& entityName, std::set<std::string>* visited,
                          std::vector<Attribute>* out, bool ownOnly) const;
};

}  // namespace ov::express
