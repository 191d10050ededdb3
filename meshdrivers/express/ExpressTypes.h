#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ov::express {

using TypeId = uint32_t;

// One type as a schema declares it. Names are kept upper-cased, as an
// exchange file spells them.
struct DeclaredType {
    enum class Kind : uint8_t {
        // Nothing known about it: every value is accepted.
        Any,
        Integer,
        Real,
        Number,
        Boolean,
        Logical,
        String,
        Binary,
        // A reference by name to an entity or a defined type, resolved by the reader of the model.
        Named,
        Select,
        Enumeration,
        Aggregate,
    };
    enum class Aggregate : uint8_t { List, Set, Bag, Array };
    static constexpr int64_t kUnbounded = -1;

    Kind kind = Kind::Any;
    Aggregate aggregate = Aggregate::List;
    // ARRAY OF OPTIONAL: elements may be "$".
    bool optionalElements = false;
    // Bounds of an aggregate; a bound that is not a literal number is unbounded.
    int64_t lower = 0;
    int64_t upper = kUnbounded;
    TypeId element = 0;
    // Named: the name referred to; Select, Enumeration: the declaring TYPE's name.
    std::string name;
    // Select: member names; Enumeration: items. BASED_ON extensions are appended.
    std::vector<std::string> items;
    // Select or Enumeration extending another one (BASED_ON), upper-cased.
    std::string basedOn;
};

// The declared types of an EXPRESS schema: each defined TYPE (simple types,
// SELECTs, ENUMERATIONs, aggregates, other named types) and each explicit or
// redeclared entity attribute. It complements ExpressSchema, which lays
// instances out; both read the same text. The reader is a single linear scan
// with no recursion, and a declaration it cannot read is typed Any.
class ExpressTypes {
public:
    static constexpr TypeId kAnyType = 0;

    ExpressTypes();

    // Replaces the content with the declarations of a text in the one spelling
    // of canonicalExpressText, the text the layout reader is given too.
    void parse(std::string_view canonicalText);

    const DeclaredType& type(TypeId id) const { return mTypes[id]; }
    size_t typeCount() const { return mTypes.size(); }
    // The underlying type of a defined TYPE (upper-cased name).
    std::optional<TypeId> definedType(std::string_view upperName) const;
    // The type an entity (upper-cased name) declares for an attribute; for a
    // redeclaration SELF\s.n the redeclared one. kAnyType when unknown.
    TypeId attributeType(std::string_view upperEntity, std::string_view attributeName, bool redeclared) const;

private:
    friend class ExpressTypeParser;

    TypeId add(DeclaredType type);
    // How an attribute is found among its entity's: its name, after "SELF\" for a redeclaration.
    static std::string attributeKey(std::string_view name, bool redeclared);

    std::vector<DeclaredType> mTypes;
    std::map<std::string, TypeId, std::less<>> mDefinedTypes;
    // Upper-cased entity name to its attributes' types; the first declaration of a name counts.
    std::map<std::string, std::map<std::string, TypeId>, std::less<>> mAttributes;
};

}  // namespace ov::express
