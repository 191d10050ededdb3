#include "step/Part21CheckerSchema.h"

#include <algorithm>
#include <deque>
#include <list>
#include <tuple>

#include "express/ExpressFile.h"
#include "express/ExpressTokens.h"
#include "system/ovStringUtils.h"

namespace ov::step {

namespace {

// A chain of defined types longer than this is taken for a cycle.
constexpr size_t kMaxTypeHops = 64;
// Types visited while a SELECT's members are gathered; beyond it the SELECT
// accepts every value rather than keep a hostile schema busy.
constexpr size_t kMaxClosureSteps = 100'000;

std::string bound(int64_t value) {
    return value == DeclaredType::kUnbounded ? "?" : std::to_string(value);
}

}  // namespace

bool Part21Schema::load(const std::string& path, std::string& error) {
    // One reading of the file, in the one spelling both readers expect.
    std::string text;
    const bool read = express::readExpressFile(path, text);
    text = express::canonicalExpressText(text);
    if (!read || !express::loadSchemaText(layouts, text)) {
        error = "cannot read the EXPRESS schema " + path;
        return false;
    }
    types.parse(text);
    std::map<std::string_view, uint32_t> bySpelling;
    for (const auto& [name, entity] : layouts.entities) {
        bySpelling.emplace(name, static_cast<uint32_t>(entities.size()));
        entities.push_back({ovStringUtils::uppered(name), name, {}});
    }
    for (uint32_t index = 0; index < entities.size(); ++index) {
        byUpperName.emplace(entities[index].upperName, index);
    }
    for (Entity& entity : entities) {
        for (const std::string& supertype : layouts.entities.at(entity.spelledName).supertypes) {
            const auto found = bySpelling.find(supertype);
            if (found != bySpelling.end()) {
                entity.supertypes.push_back(found->second);
            }
        }
    }
    return true;
}

std::optional<uint32_t> Part21Schema::entityIndex(std::string_view upperName) const {
    const auto found = byUpperName.find(upperName);
    return found == byUpperName.end() ? std::nullopt : std::optional<uint32_t>(found->second);
}

SchemaView::SchemaView(const Part21Schema& schema)
    : mSchema(schema),
      mResolved(schema.types.typeCount()),
      mAncestors(schema.entities.size()),
      mSimpleLayouts(schema.entities.size()) {
    mShapes.emplace_back();
}

ResolvedType SchemaView::resolve(TypeId id) {
    using Kind = DeclaredType::Kind;
    using Resolved = ResolvedType::Kind;
    if (mResolved[id]) {
        return *mResolved[id];
    }
    ResolvedType resolved;
    TypeId current = id;
    for (size_t hop = 0; hop < kMaxTypeHops; ++hop) {
        const DeclaredType& type = declared(current);
        if (type.kind != Kind::Named) {
            static constexpr std::pair<Kind, Resolved> kKinds[] = {
                {Kind::Any, Resolved::Any},
                {Kind::Integer, Resolved::Integer},
                {Kind::Real, Resolved::Real},
                {Kind::Number, Resolved::Number},
                {Kind::Boolean, Resolved::Boolean},
                {Kind::Logical, Resolved::Logical},
                {Kind::String, Resolved::String},
                {Kind::Binary, Resolved::Binary},
                {Kind::Select, Resolved::Select},
                {Kind::Enumeration, Resolved::Enumeration},
                {Kind::Aggregate, Resolved::Aggregate},
            };
            for (const auto& [from, to] : kKinds) {
                resolved.kind = from == type.kind ? to : resolved.kind;
            }
            resolved.index = current;
            break;
        }
        if (const std::optional<TypeId> underlying = mSchema.types.definedType(type.name)) {
            current = *underlying;
            continue;
        }
        if (const std::optional<uint32_t> entity = mSchema.entityIndex(type.name)) {
            resolved = {Resolved::Entity, *entity};
        }
        break;
    }
    mResolved[id] = resolved;
    return resolved;
}

// Every entity and typed member reachable through the SELECT's members,
// nested SELECTs and BASED_ON extensions, each SELECT visited once.
const SchemaView::SelectClosure& SchemaView::closure(TypeId select) {
    const auto cached = mClosures.find(select);
    if (cached != mClosures.end()) {
        return cached->second;
    }
    SelectClosure gathered;
    std::set<TypeId> seen{select};
    std::deque<TypeId> pending{select};
    size_t steps = 0;
    auto visitSelect = [&](TypeId id) {
        if (seen.insert(id).second) {
            pending.push_back(id);
        }
    };
    while (!pending.empty() && !gathered.open) {
        const DeclaredType& type = declared(pending.front());
        pending.pop_front();
        std::vector<std::string> members = type.items;
        if (!type.basedOn.empty()) {
            members.push_back(type.basedOn);
        }
        for (const std::string& member : members) {
            gathered.open = ++steps > kMaxClosureSteps;
            if (const std::optional<TypeId> defined = mSchema.types.definedType(member)) {
                const ResolvedType resolved = resolve(*defined);
                if (resolved.kind == ResolvedType::Kind::Select) {
                    visitSelect(resolved.index);
                } else {
                    gathered.typedMembers.emplace(member, *defined);
                }
            } else if (const std::optional<uint32_t> entity = mSchema.entityIndex(member)) {
                gathered.entities.insert(*entity);
            }
        }
    }
    return mClosures.emplace(select, std::move(gathered)).first->second;
}

// The entity and all its supertypes, each once; an explicit stack keeps deep
// or cyclic SUBTYPE OF chains from exhausting the call stack.
const std::vector<uint32_t>& SchemaView::ancestors(uint32_t entity) {
    if (mAncestors[entity]) {
        return *mAncestors[entity];
    }
    std::vector<uint32_t> found;
    std::set<uint32_t> seen{entity};
    std::vector<uint32_t> pending{entity};
    while (!pending.empty()) {
        const uint32_t next = pending.back();
        pending.pop_back();
        found.push_back(next);
        for (const uint32_t supertype : mSchema.entities[next].supertypes) {
            if (seen.insert(supertype).second) {
                pending.push_back(supertype);
            }
        }
    }
    std::sort(found.begin(), found.end());
    mAncestors[entity] = std::move(found);
    return *mAncestors[entity];
}

std::optional<TypeId> SchemaView::typedMember(TypeId select, std::string_view name) {
    const SelectClosure& members = closure(select);
    if (members.open) {
        return express::ExpressTypes::kAnyType;
    }
    const auto found = members.typedMembers.find(name);
    return found == members.typedMembers.end() ? std::nullopt : std::optional<TypeId>(found->second);
}

bool SchemaView::hasEnumerationItem(TypeId enumeration, std::string_view item) {
    TypeId current = enumeration;
    for (size_t hop = 0; hop < kMaxTypeHops; ++hop) {
        const DeclaredType& type = declared(current);
        if (std::find(type.items.begin(), type.items.end(), item) != type.items.end()) {
            return true;
        }
        const std::optional<TypeId> base = mSchema.types.definedType(type.basedOn);
        if (type.basedOn.empty() || !base || resolve(*base).kind != ResolvedType::Kind::Enumeration) {
            return false;
        }
        current = resolve(*base).index;
    }
    return true;
}

uint32_t SchemaView::shapeOf(const std::vector<uint32_t>& entities) {
    const auto [slot, added] = mShapeIds.try_emplace(entities, static_cast<uint32_t>(mShapes.size()));
    if (added) {
        mShapes.push_back(entities);
    }
    return slot->second;
}

bool SchemaView::accepts(TypeId type, uint32_t shape) {
    if (shape == kUnknownShape) {
        return true;
    }
    const uint64_t key = (uint64_t{type} << 32) | shape;
    const auto cached = mMatches.find(key);
    if (cached != mMatches.end()) {
        return cached->second;
    }
    const bool result = matches(resolve(type), shape);
    mMatches.emplace(key, result);
    return result;
}

bool SchemaView::matches(const ResolvedType& type, uint32_t shape) {
    using Kind = ResolvedType::Kind;
    if (type.kind == Kind::Any) {
        return true;
    }
    if (type.kind != Kind::Entity && type.kind != Kind::Select) {
        return false;
    }
    const SelectClosure* select = type.kind == Kind::Select ? &closure(type.index) : nullptr;
    if (select != nullptr && select->open) {
        return true;
    }
    for (const uint32_t entity : mShapes[shape]) {
        for (const uint32_t ancestor : ancestors(entity)) {
            if (select != nullptr ? select->entities.count(ancestor) > 0 : ancestor == type.index) {
                return true;
            }
        }
    }
    return false;
}

ParameterSlot SchemaView::slotFor(const express::Attribute& attribute) const {
    ParameterSlot slot;
    slot.attribute = attribute.name;
    slot.type = mSchema.types.attributeType(ovStringUtils::uppered(attribute.entity), attribute.name,
                                            attribute.redeclared);
    slot.optional = attribute.optional;
    slot.derived = attribute.derivedInSubtype || (attribute.redeclared && attribute.derived);
    const std::optional<uint32_t> entity = mSchema.entityIndex(ovStringUtils::uppered(attribute.entity));
    slot.declaredIn =
        attribute.redeclared ? mSchema.entityIndex(ovStringUtils::uppered(attribute.supertype)) : entity;
    slot.redeclaredIn = attribute.redeclared ? entity : std::nullopt;
    return slot;
}

// A simple instance writes every attribute once, each redeclaration in the
// place of the attribute it redeclares; an ancestor reached along two paths
// contributes its attributes once.
PartialLayout SchemaView::simplePartial(const std::string& upperName,
                                        const std::vector<express::Attribute>& attributes) {
    PartialLayout partial{upperName, {}};
    // (declaring entity, name) to the slot that attribute's value takes.
    std::map<std::pair<std::string_view, std::string_view>, size_t> slotOf;
    std::set<std::tuple<std::string_view, std::string_view, bool>> seen;
    for (const express::Attribute& attribute : attributes) {
        if (!seen.emplace(attribute.entity, attribute.name, attribute.redeclared).second) {
            continue;
        }
        const auto original =
            attribute.redeclared ? slotOf.find({attribute.supertype, attribute.name}) : slotOf.end();
        if (original != slotOf.end()) {
            partial.slots[original->second] = slotFor(attribute);
            slotOf.try_emplace({attribute.entity, attribute.name}, original->second);
            continue;
        }
        slotOf.try_emplace({attribute.entity, attribute.name}, partial.slots.size());
        partial.slots.push_back(slotFor(attribute));
    }
    return partial;
}

std::unique_ptr<InstanceLayout> SchemaView::buildLayout(const std::vector<uint32_t>& entities) {
    auto layout = std::make_unique<InstanceLayout>();
    std::list<std::string> names;
    for (const uint32_t entity : entities) {
        names.push_back(mSchema.entities[entity].spelledName);
    }
    std::map<std::string, std::vector<express::Attribute>> lists;
    if (!mSchema.layouts.getAttributeList(names, lists)) {
        layout->failure = "the schema cannot lay out " + ovStringUtils::uppered(names.front()) +
                          (names.size() > 1 ? " with the other partial values" : "");
        return layout;
    }
    std::vector<uint32_t> shapeEntities;
    for (const auto& [upperName, attributes] : lists) {
        if (entities.size() == 1) {
            layout->partials.push_back(simplePartial(upperName, attributes));
            continue;
        }
        PartialLayout partial{upperName, {}};
        for (const express::Attribute& attribute : attributes) {
            if (!attribute.superseded) {
                partial.slots.push_back(slotFor(attribute));
            }
        }
        layout->partials.push_back(std::move(partial));
        if (const std::optional<uint32_t> entity = mSchema.entityIndex(upperName)) {
            shapeEntities.push_back(*entity);
        }
    }
    layout->shape = shapeOf(entities.size() == 1 ? entities : shapeEntities);
    addUniqueChecks(*layout);
    return layout;
}

// The rules of every entity the instance is one of, its supertypes included:
// a rule counts the instances of its entity and all its subtypes together.
void SchemaView::addUniqueChecks(InstanceLayout& layout) {
    std::set<uint32_t> entities;
    for (const uint32_t entity : mShapes[layout.shape]) {
        const std::vector<uint32_t>& found = ancestors(entity);
        entities.insert(found.begin(), found.end());
    }
    for (const uint32_t entity : entities) {
        const std::vector<express::UniqueRule>& rules =
            mSchema.layouts.entities.at(mSchema.entities[entity].spelledName).uniqueRules;
        for (uint32_t rule = 0; rule < rules.size(); ++rule) {
            if (std::optional<UniqueCheck> check = uniqueCheck(layout, entity, rules[rule])) {
                check->rule = rule;
                layout.uniqueChecks.push_back(std::move(*check));
            }
        }
    }
}

std::optional<UniqueCheck> SchemaView::uniqueCheck(const InstanceLayout& layout, uint32_t entity,
                                                   const express::UniqueRule& rule) {
    UniqueCheck check;
    check.entity = entity;
    check.name = mSchema.entities[entity].upperName +
                 (rule.label.empty() ? "" : "." + ovStringUtils::uppered(rule.label));
    for (const express::AttributeReference& reference : rule.attributes) {
        const std::optional<UniqueCheck::Position> found = position(layout, entity, reference);
        if (!found) {
            return std::nullopt;
        }
        check.positions.push_back(*found);
        check.attributes += (check.attributes.empty() ? "" : ", ") + reference.name;
    }
    return check;
}

// Where the instance writes the attribute: SELF\s.n names the n that s
// declares or redeclares; n alone the n of the rule's entity or a supertype.
std::optional<UniqueCheck::Position> SchemaView::position(const InstanceLayout& layout, uint32_t ruleEntity,
                                                          const express::AttributeReference& reference) {
    // The entities one of which must declare or redeclare the attribute, in ascending order.
    std::vector<uint32_t> owners;
    if (reference.supertype.empty()) {
        owners = ancestors(ruleEntity);
    } else if (const std::optional<uint32_t> qualifier =
                   mSchema.entityIndex(ovStringUtils::uppered(reference.supertype))) {
        owners.push_back(*qualifier);
    }
    const auto names = [&](const std::optional<uint32_t>& entity) {
        return entity && std::binary_search(owners.begin(), owners.end(), *entity);
    };
    for (uint32_t partial = 0; partial < layout.partials.size(); ++partial) {
        const std::vector<ParameterSlot>& slots = layout.partials[partial].slots;
        for (uint32_t slot = 0; slot < slots.size(); ++slot) {
            if (slots[slot].attribute == reference.name &&
                (names(slots[slot].declaredIn) || names(slots[slot].redeclaredIn))) {
                return UniqueCheck::Position{partial, slot};
            }
        }
    }
    return std::nullopt;
}

const InstanceLayout& SchemaView::layout(const std::vector<uint32_t>& entities) {
    const InstanceLayout** simple = entities.size() == 1 ? &mSimpleLayouts[entities.front()] : nullptr;
    if (simple != nullptr && *simple != nullptr) {
        return **simple;
    }
    auto found = mLayouts.find(entities);
    if (found == mLayouts.end()) {
        found = mLayouts.emplace(entities, buildLayout(entities)).first;
    }
    if (simple != nullptr) {
        *simple = found->second.get();
    }
    return *found->second;
}

std::string SchemaView::describe(TypeId id) const {
    using Kind = DeclaredType::Kind;
    std::string text;
    TypeId current = id;
    for (size_t depth = 0; depth < kMaxTypeHops; ++depth) {
        const DeclaredType& type = declared(current);
        switch (type.kind) {
            case Kind::Aggregate: {
                static const char* const kNames[] = {"LIST", "SET", "BAG", "ARRAY"};
                text += std::string(kNames[static_cast<size_t>(type.aggregate)]) + " [" + bound(type.lower) +
                        ":" + bound(type.upper) + "] OF ";
                current = type.element;
                continue;
            }
            case Kind::Any:
                return text + "(undeclared type)";
            case Kind::Integer:
                return text + "INTEGER";
            case Kind::Real:
                return text + "REAL";
            case Kind::Number:
                return text + "NUMBER";
            case Kind::Boolean:
                return text + "BOOLEAN";
            case Kind::Logical:
                return text + "LOGICAL";
            case Kind::String:
                return text + "STRING";
            case Kind::Binary:
                return text + "BINARY";
            default:
                return text + type.name;
        }
    }
    return text + "...";
}

}  // namespace ov::step
