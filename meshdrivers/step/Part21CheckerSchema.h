#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "express/ExpressSchema.h"
#include "express/ExpressTypes.h"
#include "step/Part21Checker.h"

namespace ov::step {

using express::DeclaredType;
using express::TypeId;

// The two readings of one schema file: the instance layouts and the declared
// types, with the entities indexed by their upper-cased names.
struct Part21Schema {
    struct Entity {
        std::string upperName;
        std::string spelledName;
        std::vector<uint32_t> supertypes;
    };

    bool load(const std::string& path, std::string& error);
    std::optional<uint32_t> entityIndex(std::string_view upperName) const;

    express::ExpressSchema layouts;
    express::ExpressTypes types;
    std::vector<Entity> entities;
    // Views of the entities' upper-cased names.
    std::unordered_map<std::string_view, uint32_t> byUpperName;
};

// What a declared type comes to once defined types are followed.
struct ResolvedType {
    enum class Kind : uint8_t {
        Any,
        Integer,
        Real,
        Number,
        Boolean,
        Logical,
        String,
        Binary,
        Entity,
        Select,
        Enumeration,
        Aggregate
    };
    Kind kind = Kind::Any;
    // Entity: the entity's index; Select, Enumeration, Aggregate: the declared type.
    uint32_t index = 0;
};

// One parameter position of a partial value.
struct ParameterSlot {
    std::string attribute;
    TypeId type = 0;
    bool optional = false;
    // Written "*": a subtype of the instance derives it.
    bool derived = false;
    // The entity that declares the attribute and, for a redeclaration, the one that redeclares it.
    std::optional<uint32_t> declaredIn;
    std::optional<uint32_t> redeclaredIn;
};

struct PartialLayout {
    std::string upperName;
    std::vector<ParameterSlot> slots;
};

// A UNIQUE rule of the entity or one of its supertypes as it applies to
// instances of one layout: where each of its attributes is written.
struct UniqueCheck {
    struct Position {
        uint32_t partial = 0;
        uint32_t slot = 0;
    };
    // The entity that declares the rule, and the rule's place among its rules.
    uint32_t entity = 0;
    uint32_t rule = 0;
    std::vector<Position> positions;
    // "ENTITY.LABEL" and the attribute names, for the messages.
    std::string name;
    std::string attributes;
};

// The partial values an instance of some entity names has, in writing order
// (one for a simple instance).
struct InstanceLayout {
    // Set when the schema cannot lay the names out.
    std::string failure;
    std::vector<PartialLayout> partials;
    // What references to such an instance are matched against.
    uint32_t shape = 0;
    // The UNIQUE rules the instance takes part in, each whose attributes the
    // instance writes (a rule on a derived or inverse attribute cannot be
    // checked from the file).
    std::vector<UniqueCheck> uniqueChecks;
};

// Answers questions about the schema while one file is checked, remembering
// each answer: a file asks the same few questions again and again.
class SchemaView {
public:
    // Shape of an instance whose entities are unknown: it matches every type.
    static constexpr uint32_t kUnknownShape = 0;

    explicit SchemaView(const Part21Schema& schema);

    const Part21Schema& schema() const { return mSchema; }
    const DeclaredType& declared(TypeId id) const { return mSchema.types.type(id); }
    ResolvedType resolve(TypeId id);
    // The layout of a simple instance (one name) or a complex one (its names in ascending order).
    const InstanceLayout& layout(const std::vector<uint32_t>& entities);
    // Whether an instance of the shape is a value of the type (an entity, a SELECT, or Any).
    bool accepts(TypeId type, uint32_t shape);
    // The underlying type of a typed parameter NAME(...) in a SELECT; nullopt when NAME is not one of its
    // types.
    std::optional<TypeId> typedMember(TypeId select, std::string_view name);
    bool hasEnumerationItem(TypeId enumeration, std::string_view item);
    // Whether an instance of the shape is one of the entity (by index) or of its subtypes.
    bool isKindOf(uint32_t shape, uint32_t entity) {
        return matches({ResolvedType::Kind::Entity, entity}, shape);
    }
    std::string describe(TypeId id) const;

private:
    struct SelectClosure {
        std::set<uint32_t> entities;
        std::map<std::string, TypeId, std::less<>> typedMembers;
        // Too large to follow: every value is accepted.
        bool open = false;
    };

    const SelectClosure& closure(TypeId select);
    const std::vector<uint32_t>& ancestors(uint32_t entity);
    std::unique_ptr<InstanceLayout> buildLayout(const std::vector<uint32_t>& entities);
    PartialLayout simplePartial(const std::string& upperName,
                                const std::vector<express::Attribute>& attributes);
    ParameterSlot slotFor(const express::Attribute& attribute) const;
    void addUniqueChecks(InstanceLayout& layout);
    std::optional<UniqueCheck> uniqueCheck(const InstanceLayout& layout, uint32_t entity,
                                           const express::UniqueRule& rule);
    std::optional<UniqueCheck::Position> position(const InstanceLayout& layout, uint32_t ruleEntity,
                                                  const express::AttributeReference& reference);
    uint32_t shapeOf(const std::vector<uint32_t>& entities);
    bool matches(const ResolvedType& type, uint32_t shape);

    const Part21Schema& mSchema;
    std::vector<std::optional<ResolvedType>> mResolved;
    std::map<TypeId, SelectClosure> mClosures;
    std::vector<std::optional<std::vector<uint32_t>>> mAncestors;
    std::map<std::vector<uint32_t>, std::unique_ptr<InstanceLayout>> mLayouts;
    // The layouts of simple instances by entity, found without a search.
    std::vector<const InstanceLayout*> mSimpleLayouts;
    std::map<std::vector<uint32_t>, uint32_t> mShapeIds;
    std::vector<std::vector<uint32_t>> mShapes;
    std::unordered_map<uint64_t, bool> mMatches;
};

}  // namespace ov::step
