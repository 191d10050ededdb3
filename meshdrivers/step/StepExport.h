#pragma once

// The state of one STEP save and the functions that write its product
// structure and properties (internal to the library and its tests).

#include <array>
#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "scenegraph/ovSpatial.h"
#include "step/Part21Writer.h"
#include "step/Part21WriterUserData.h"
#include "step/StepRules.h"
#include "system/ovProgressNotifier.h"
#include "system/ovVariantContainers.h"

namespace ov::step {

class GeometryWriter;

// What a written product definition is referred to by: its definition, and
// its shape representation once that is written (after all its children).
struct DefinitionRefs {
    Part21WriterUserData productDefinition;
    Part21WriterUserData shapeRepresentation;
};

// The node's instance definition (or the node itself without one), and what
// its placements above it could not carry and its geometry bakes (the
// identity in the exact profile): one product per distinct baked shape.
using DefinitionKey = std::pair<const void*, std::array<float, 9>>;

// One per save call; every writing function gets it by reference.
struct StepExportContext {
    explicit StepExportContext(StepRules profileRules) : rules(std::move(profileRules)) {
        writer.setValueSpelling(rules.values);
    }

    const StepRules rules;
    std::map<DefinitionKey, DefinitionRefs> definitions;
    Part21Writer writer;
    Part21WriterUserData zeroPoint;
    Part21WriterUserData productContext;
    Part21WriterUserData productDefinitionContext;
    Part21WriterUserData geometricContext;
    Part21WriterUserData identityPlacement;
    Part21WriterUserData identityTransform;
    Part21WriterUserData documentType;
    Part21WriterUserData identificationRole;
    Part21WriterUserData externalSource;
    Part21WriterUserData objectRole;
    Part21WriterUserData organization;
    Part21WriterUserData organizationRole;
    ovVariantListImpl units;
    // Scene lengths times this are lengths in the file's unit.
    double lengthScale = 1.0;
    ovVariantListImpl partProducts;
    ovVariantListImpl detailProducts;
    ovVariantListImpl assemblyProducts;
    ovProgressNotifierInterface* progress = nullptr;
    // Writes the meshes of nodes as their geometry; without it they are refused.
    GeometryWriter* geometry = nullptr;
    // The name of the entity being written: most names are too long for a
    // string's own storage, and reusing this one spares an allocation per record.
    std::string entityName;
};

// The length, angle and solid angle units and the geometric context that
// holds them (with a length uncertainty in the interop profile); false, with
// the reason logged, when the root's world units are not a number.
bool writeUnits(StepExportContext& context, const ovSpatial& root);

// The organization's ownership of the written parts (none in the exact profile).
void writeOrganizationAssignment(StepExportContext& context);

// Writes the product structure of spatial and, for a node, of its subtree.
// On return definition points at the node's entry of context.definitions, or
// stays null when spatial is not a node.
bool writeSpatialTree(StepExportContext& context, const ovSpatial* spatial, DefinitionRefs*& definition);

// The placement of a child: the shared identity for an identity transform,
// otherwise a placement and transformation of its own.
void writeTransformation(StepExportContext& context, const ovTransformation& transform,
                         Part21WriterUserData& transformationOperator, Part21WriterUserData& placementItem);

// The part, detail and assembly categories; moves the context's lists out.
bool writeProductCategories(StepExportContext& context);

// One property of a product definition: its representation context, the
// representation with one item per value, the property definition and the link.
bool writeProperty(StepExportContext& context, const std::string& key, const ovVariant& value,
                   const Part21WriterUserData& productDefinition);

// One representation item for a value; item receives its reference. Answers
// what the writer answered for the item itself.
bool writeValueItem(StepExportContext& context, const std::string& key, const ovVariant& value,
                    Part21WriterUserData& item);

// The attribute values the writing functions build: a string, an enumeration
// literal, a list holding one reference, a triple of reals.
inline ovVariant text(std::string value) {
    return ovVariant(std::move(value));
}

inline ovVariant enumeration(const char* literal) {
    return Part21WriterUserData(std::string(literal)).toVariant();
}

inline ovVariant listOf(const Part21WriterUserData& reference) {
    ovVariantListImpl list;
    list.push_back(reference.toVariant());
    return ovVariant(std::move(list));
}

inline ovVariant vector3(float x, float y, float z) {
    const float components[] = {x, y, z};
    return ovVariant(components, 3);
}

// The attributes of one record, as stepAttributes builds them.
template <size_t N>
using StepAttributes = std::array<Part21Attribute, N>;

// Each value is made where it stays: no variant is moved.
template <typename Arguments, size_t... Pair>
StepAttributes<sizeof...(Pair)> makeStepAttributes(Arguments&& arguments, std::index_sequence<Pair...>) {
    return {{Part21Attribute{std::get<2 * Pair>(arguments),
                             ovVariant(std::get<2 * Pair + 1>(std::move(arguments)))}...}};
}

// The attributes of a record from names and values in turn: stepAttributes(
// "name", value, ...). Values given as temporaries are moved in.
template <typename... Attributes>
StepAttributes<sizeof...(Attributes) / 2> stepAttributes(Attributes&&... attributes) {
    static_assert(sizeof...(Attributes) % 2 == 0, "names and values in turn");
    return makeStepAttributes(std::forward_as_tuple(std::forward<Attributes>(attributes)...),
                              std::make_index_sequence<sizeof...(Attributes) / 2>());
}

// Writes one entity under a fresh id and answers the id. A failed write shows
// in the writer's error flag.
Part21WriterUserData writeNewEntity(StepExportContext& context,
                                    std::initializer_list<std::string_view> entityNames,
                                    std::span<const Part21Attribute> attributes);

}  // namespace ov::step
