// The scene's nodes as AP242 product structure: a product with its
// definition and shape per node definition, an assembly occurrence with its
// placement per child, a document reference per external-reference node.
#include <cmath>
#include <set>
#include <vector>

#include "core/RigidSplit.h"
#include "core/SceneWalk.h"
#include "scenegraph/ovMetadata.h"
#include "step/StepExport.h"
#include "step/StepGeometryWriter.h"
#include "system/ovLog.h"
#include "system/ovStringUtils.h"

namespace ov::step {

namespace {

// A node written with its subtree still open: what its children's
// occurrences and its closing records need.
struct OpenNode {
    const ovNode* node = nullptr;
    DefinitionRefs* definition = nullptr;
    std::string name;
    Part21WriterUserData definitionShape;
    // Taken before the children are written, written after them.
    Part21WriterUserData shapeRepresentation;
    // The identity placement, then one placement per written child.
    ovVariantListImpl items;
    // What the placements down to this node could not carry: its geometry
    // and its children's placements are taken through it.
    Matrix3d residual = Matrix3d::Identity();
    // The ids of its children's occurrences.
    std::set<std::string> occurrenceIds;
    // The items of its meshes, represented once its children are written.
    GeometryItems geometry;
};

// Where a child sits in its parent's product. With rigid placements: the turn of the
// parent's residual composed with the child's own placement, the rest left
// to the child as its residual; a rigid placement under a parent without
// one is written as it is given.
struct ChildPlacement {
    RigidSplit split;
    Wm4::Vector3d origin;
    bool asGiven = true;
};

ChildPlacement placementIn(const StepExportContext& context, const Matrix3d& parentResidual,
                           const ovSpatial& child) {
    ChildPlacement placement;
    if (!context.rules.rigidPlacements) {
        return placement;
    }
    const ovTransformation& local = child.getLocalTransform();
    placement.split = splitRigid(parentResidual * linearPart(local));
    placement.origin = times(parentResidual, toDouble(local.GetTranslate()));
    placement.asGiven = placement.split.rigid && parentResidual == Matrix3d::Identity();
    return placement;
}

std::array<float, 9> residualKey(const Matrix3d& residual) {
    std::array<float, 9> key{};
    for (size_t i = 0; i < 9; ++i) {
        key[i] = static_cast<float>(residual(i / 3, i % 3));
    }
    return key;
}

// The placement at location (already in the file's length unit) with the
// given axes, and the operator that moves the identity placement onto it.
void writePlacementAt(StepExportContext& context, const double (&location)[3],
                      const Part21WriterUserData& zAxis, const Part21WriterUserData& xAxis,
                      Part21WriterUserData& transformationOperator, Part21WriterUserData& placementItem) {
    const Part21WriterUserData origin =
        writeNewEntity(context, {"cartesian_point"},
                       stepAttributes("name", text(""), "coordinates", ovVariant(location, 3)));
    placementItem = writeNewEntity(context, {"axis2_placement_3d"},
                                   stepAttributes("name", text(""), "location", origin.toVariant(), "axis",
                                                  zAxis.toVariant(), "ref_direction", xAxis.toVariant()));
    transformationOperator = writeNewEntity(
        context, {"item_defined_transformation"},
        stepAttributes("name", text(""), "transform_item_1", context.identityPlacement.toVariant(),
                       "transform_item_2", placementItem.toVariant()));
}

// The rotation and origin of a placement that is not given as such.
void writeRigidPlacement(StepExportContext& context, const ChildPlacement& placement,
                         Part21WriterUserData& transformationOperator, Part21WriterUserData& placementItem) {
    const Matrix3d& rotation = placement.split.rotation;
    if (rotation == Matrix3d::Identity() && placement.origin == Wm4::Vector3d()) {
        transformationOperator = context.identityTransform;
        placementItem = context.identityPlacement;
        return;
    }
    const auto direction = [&context, &rotation](size_t column) {
        const double ratios[] = {rotation(0, column), rotation(1, column), rotation(2, column)};
        return writeNewEntity(context, {"direction"},
                              stepAttributes("name", text(""), "direction_ratios", ovVariant(ratios, 3)));
    };
    const Part21WriterUserData xAxis = direction(0);
    const Part21WriterUserData zAxis = direction(2);
    const double location[] = {placement.origin[0] * context.lengthScale,
                               placement.origin[1] * context.lengthScale,
                               placement.origin[2] * context.lengthScale};
    writePlacementAt(context, location, zAxis, xAxis, transformationOperator, placementItem);
}

// Nodes naming one instance definition share one product definition.
const void* definitionKey(const ovNode& node) {
    const auto* instance = node.findMetadata<const ovInstanceMetaData>();
    if (instance != nullptr && instance->getInstanceDefId() != nullptr) {
        return instance->getInstanceDefId();
    }
    return &node;
}

bool writeProperties(StepExportContext& context, const ovNode& node,
                     const Part21WriterUserData& productDefinition) {
    const auto* instance = node.findMetadata<const ovInstanceMetaData>();
    if (instance == nullptr || instance->getInstanceDefId() == nullptr) {
        return true;
    }
    const ovVariantMapImpl properties = instance->getInstanceDefId()->getComponentMd().toFlattenMap('/');
    for (const auto& [key, value] : properties) {
        if (!writeProperty(context, key, value, productDefinition)) {
            return false;
        }
    }
    return true;
}

// A text the node's definition states under key, or fallback.
std::string statedText(const ovNode& node, const char* key, const std::string& fallback) {
    const auto* instance = node.findMetadata<const ovInstanceMetaData>();
    if (instance == nullptr || instance->getInstanceDefId() == nullptr) {
        return fallback;
    }
    const ovVariantMapImpl& stated = instance->getInstanceDefId()->getComponentMd();
    const auto found = stated.find(key);
    return found != stated.end() && found->second.getType() == ovVariant::String &&
                   !found->second.getString().empty()
               ? found->second.getString()
               : fallback;
}

// The product, its formation, definition, properties and shape; the shape
// representation's id is taken here.
bool writeNodeHead(StepExportContext& context, OpenNode& open) {
    const ovVariant name = text(open.name);
    const bool stated = context.rules.partNumbersAsIds;
    const Part21WriterUserData product = writeNewEntity(
        context, {"product"},
        stepAttributes("id", stated ? text(statedText(*open.node, "productId", open.name)) : name, "name",
                       name, "frame_of_reference", listOf(context.productContext)));
    context.partProducts.push_back(product.toVariant());
    context.detailProducts.push_back(product.toVariant());
    const Part21WriterUserData formation = writeNewEntity(
        context, {"product_definition_formation"},
        stepAttributes("id", stated ? text(statedText(*open.node, "revision", open.name)) : name,
                       "of_product", product.toVariant()));
    open.definition->productDefinition =
        writeNewEntity(context, {"product_definition"},
                       stepAttributes("id", name, "formation", formation.toVariant(), "frame_of_reference",
                                      context.productDefinitionContext.toVariant()));
    if (!writeProperties(context, *open.node, open.definition->productDefinition)) {
        return false;
    }
    open.definitionShape = writeNewEntity(
        context, {"product_definition_shape"},
        stepAttributes("name", name, "definition", open.definition->productDefinition.toVariant()));
    open.shapeRepresentation = context.writer.generateEntityId();
    open.items.push_back(context.identityPlacement.toVariant());
    return true;
}

// The external file of a reference node, tied to its product definition and
// its shape representation.
void writeDocumentReference(StepExportContext& context, const OpenNode& open) {
    const ovVariant path = text(static_cast<const ovXRefNode&>(*open.node).getUtf8FilePath());
    // The document's name and description are also those of the characterized
    // object, which must have an empty name and no description: interop names
    // the file by its id only.
    const Part21WriterUserData file =
        context.rules.documentFileById
            ? writeNewEntity(
                  context, {"document_file"},
                  stepAttributes("id", path, "name", text(""), "kind", context.documentType.toVariant()))
            : writeNewEntity(context, {"document_file"},
                             stepAttributes("id", path, "name", path, "description", path, "kind",
                                            context.documentType.toVariant()));
    writeNewEntity(context, {"document_representation_type"},
                   stepAttributes("name", text("digital"), "represented_document", file.toVariant()));
    writeNewEntity(context, {"applied_external_identification_assignment"},
                   stepAttributes("assigned_id", path, "role", context.identificationRole.toVariant(),
                                  "source", context.externalSource.toVariant(), "items", listOf(file)));
    const Part21WriterUserData reference =
        writeNewEntity(context, {"applied_document_reference"},
                       stepAttributes("source", path, "assigned_document", file.toVariant(), "items",
                                      listOf(open.definition->productDefinition)));
    writeNewEntity(
        context, {"role_association"},
        stepAttributes("role", context.objectRole.toVariant(), "item_with_role", reference.toVariant()));
    const Part21WriterUserData property =
        writeNewEntity(context, {"property_definition"},
                       stepAttributes("name", text("external ref"), "definition", file.toVariant()));
    writeNewEntity(context, {"property_definition_representation"},
                   stepAttributes("definition", property.toVariant(), "used_representation",
                                  open.shapeRepresentation.toVariant()));
}

// The shape representation with the placements of all children, and its
// link to the product definition shape.
void writeNodeTail(StepExportContext& context, OpenNode& open) {
    context.writer.writeAttributes(
        "shape_representation",
        stepAttributes("name", text(open.name), "items", ovVariant(std::move(open.items)), "context_of_items",
                       context.geometricContext.toVariant()),
        open.shapeRepresentation);
    open.definition->shapeRepresentation = open.shapeRepresentation;
    if (context.geometry != nullptr) {
        context.geometry->writeNodeGeometry(open.geometry, open.name, open.shapeRepresentation);
    }
    writeNewEntity(context, {"shape_definition_representation"},
                   stepAttributes("definition", open.definitionShape.toVariant(), "used_representation",
                                  open.shapeRepresentation.toVariant()));
}

// What is particular to one occurrence (its instance metadata's own
// values) as properties of the occurrence's shape.
bool writeOccurrenceProperties(StepExportContext& context, const ovSpatial& child,
                               const Part21WriterUserData& occurrenceShape) {
    const auto* instance = child.findMetadata<const ovInstanceMetaData>();
    if (instance == nullptr) {
        return true;
    }
    for (const auto& [key, value] : instance->getMd().toFlattenMap('/')) {
        if (!writeProperty(context, key, value, occurrenceShape)) {
            return false;
        }
    }
    return true;
}

// The occurrence of a written child in its parent, with its placement.
bool writeOccurrence(StepExportContext& context, OpenNode& parent, int index, const ovSpatial& child,
                     const DefinitionRefs& childDefinition) {
    Part21WriterUserData transformationOperator;
    Part21WriterUserData placement;
    const ChildPlacement where = placementIn(context, parent.residual, child);
    if (where.asGiven) {
        writeTransformation(context, child.getLocalTransform(), transformationOperator, placement);
    } else {
        writeRigidPlacement(context, where, transformationOperator, placement);
    }
    // The items are a set, which holds the identity placement already.
    if (!context.rules.distinctSetMembers || placement.getRef() != context.identityPlacement.getRef()) {
        parent.items.push_back(placement.toVariant());
    }

    const std::string indexText = ovStringUtils::fromInt(index, 1);
    const std::string nameText = child.GetName().empty() ? "NAUO_" + indexText : child.GetName();
    const ovVariant name = text(nameText);
    // Two occurrences of one name in one parent get ids of their own.
    std::string id = nameText;
    while (context.rules.distinctSetMembers && !parent.occurrenceIds.insert(id).second) {
        id += "_" + indexText;
    }
    const Part21WriterUserData occurrence = writeNewEntity(
        context, {"next_assembly_usage_occurrence"},
        stepAttributes("id", text(id), "name", name, "relating_product_definition",
                       parent.definition->productDefinition.toVariant(), "related_product_definition",
                       childDefinition.productDefinition.toVariant()));
    const Part21WriterUserData link =
        writeNewEntity(context, {"product_definition_shape"},
                       stepAttributes("name", text("Link_" + parent.name + "_" + indexText), "definition",
                                      occurrence.toVariant()));
    const Part21WriterUserData relationship = writeNewEntity(
        context, {"representation_relationship_with_transformation", "shape_representation_relationship"},
        stepAttributes("name", text(""), "rep_1", childDefinition.shapeRepresentation.toVariant(), "rep_2",
                       parent.shapeRepresentation.toVariant(), "transformation_operator",
                       transformationOperator.toVariant()));
    writeNewEntity(context, {"context_dependent_shape_representation"},
                   stepAttributes("representation_relation", relationship.toVariant(),
                                  "represented_product_relation", link.toVariant()));
    return !context.rules.occurrenceProperties || writeOccurrenceProperties(context, child, link);
}

// The walk over the nodes. A node seen for the first time gets its head
// written; an external reference is finished at once, any other node stays
// open for its children and is finished when left. A child's occurrence in
// its parent follows its subtree.
class StructureWalk {
public:
    explicit StructureWalk(StepExportContext& context) : mContext(context) {}

    WalkNext enter(const WalkStep<const ovSpatial>& step) {
        if ((mContext.progress != nullptr && mContext.progress->isCanceled()) ||
            mContext.writer.isWriteError()) {
            return WalkNext::Stop;
        }
        if (mContext.geometry != nullptr && step.depth > 0 && step.object.IsDerived(ovBaseGeometry::TYPE)) {
            return mContext.geometry->addGeometryOf(static_cast<const ovBaseGeometry&>(step.object),
                                                    mOpenNodes.back().residual, mOpenNodes.back().geometry)
                       ? WalkNext::Skip
                       : WalkNext::Stop;
        }
        if (!step.object.IsDerived(ovNode::TYPE)) {
            ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true)
                << "Step driver : Unsupported spatial " << step.object.GetType().GetName();
            // Only a root may be left out: a parent needs its child's product.
            return step.depth == 0 ? WalkNext::Skip : WalkNext::Stop;
        }
        const auto& node = static_cast<const ovNode&>(step.object);
        if (mOpenDefinitions.count(definitionKey(node)) > 0) {
            ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true)
                << "Step driver : the definition of '" << node.GetName() << "' contains itself";
            return WalkNext::Stop;
        }
        const Matrix3d residual =
            step.depth == 0 ? Matrix3d::Identity()
                            : placementIn(mContext, mOpenNodes.back().residual, node).split.residual;
        const auto [entry, inserted] =
            mContext.definitions.try_emplace({definitionKey(node), residualKey(residual)});
        if (step.depth == 0) {
            mRootDefinition = &entry->second;
        }
        if (!inserted) {
            return writeOccurrenceOf(step, entry->second) ? WalkNext::Skip : WalkNext::Stop;
        }
        OpenNode open;
        open.node = &node;
        open.definition = &entry->second;
        open.name = node.GetName();
        open.residual = residual;
        if (!writeNodeHead(mContext, open) || !written(node)) {
            return WalkNext::Stop;
        }
        if (node.IsDerived(ovXRefNode::TYPE)) {
            writeDocumentReference(mContext, open);
            writeNodeTail(mContext, open);
            return writeOccurrenceOf(step, entry->second) ? WalkNext::Skip : WalkNext::Stop;
        }
        mOpenDefinitions.insert(definitionKey(node));
        mOpenNodes.push_back(std::move(open));
        return WalkNext::Children;
    }

    void leave(const WalkStep<const ovSpatial>& step) {
        OpenNode closed = std::move(mOpenNodes.back());
        mOpenNodes.pop_back();
        mOpenDefinitions.erase(definitionKey(*closed.node));
        writeNodeTail(mContext, closed);
        writeOccurrenceOf(step, *closed.definition);
    }

    DefinitionRefs* rootDefinition() const { return mRootDefinition; }

private:
    // A failure stops the walk at the next node, or fails the save after the last.
    bool writeOccurrenceOf(const WalkStep<const ovSpatial>& step, const DefinitionRefs& definition) {
        return step.depth == 0 ||
               (writeOccurrence(mContext, mOpenNodes.back(), step.childIndex, step.object, definition) &&
                written(step.object));
    }

    // A value the writer refused (a number that is not finite) is
    // reported with the node it belongs to.
    bool written(const ovSpatial& spatial) const {
        if (mContext.rules.refusalsNameTheirNode && mContext.writer.isWriteError()) {
            ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true)
                << "Step driver : fail to write node '" << spatial.GetName() << "'";
            return false;
        }
        return true;
    }

    StepExportContext& mContext;
    std::vector<OpenNode> mOpenNodes;
    // A definition met again while it is open contains itself.
    std::set<const void*> mOpenDefinitions;
    DefinitionRefs* mRootDefinition = nullptr;
};

}  // namespace

bool writeSpatialTree(StepExportContext& context, const ovSpatial* spatial, DefinitionRefs*& definition) {
    if (spatial == nullptr) {
        return false;
    }
    StructureWalk walk(context);
    const bool written = walkScene(
        *spatial, nullptr, [&walk](const WalkStep<const ovSpatial>& step) { return walk.enter(step); },
        [&walk](const WalkStep<const ovSpatial>& step) { walk.leave(step); });
    definition = walk.rootDefinition();
    return written;
}

void writeTransformation(StepExportContext& context, const ovTransformation& transform,
                         Part21WriterUserData& transformationOperator, Part21WriterUserData& placementItem) {
    if (transform.IsIdentity()) {
        transformationOperator = context.identityTransform;
        placementItem = context.identityPlacement;
        return;
    }
    // Rows of the row-vector matrix: 0 the X axis, 2 the Z axis, 3 the origin.
    Wm4::Matrix4<float> m;
    transform.GetHomogeneous(m);
    const auto row = [&m](size_t r) { return vector3(m(r, 0), m(r, 1), m(r, 2)); };
    const Part21WriterUserData xAxis =
        writeNewEntity(context, {"direction"}, stepAttributes("name", text(""), "direction_ratios", row(0)));
    const Part21WriterUserData zAxis =
        writeNewEntity(context, {"direction"}, stepAttributes("name", text(""), "direction_ratios", row(2)));
    const double location[] = {m(3, 0) * context.lengthScale, m(3, 1) * context.lengthScale,
                               m(3, 2) * context.lengthScale};
    writePlacementAt(context, location, zAxis, xAxis, transformationOperator, placementItem);
}

bool writeProductCategories(StepExportContext& context) {
    // A category without products is left out, and its relationship.
    const auto category = [&context](const char* name, ovVariantListImpl& products) {
        ovVariantListImpl taken;
        taken.swap(products);
        if (context.rules.noEmptySets && taken.empty()) {
            return Part21WriterUserData();
        }
        return writeNewEntity(context, {"product_related_product_category"},
                              stepAttributes("name", text(name), "products", ovVariant(std::move(taken))));
    };
    const Part21WriterUserData part = category("part", context.partProducts);
    const Part21WriterUserData detail = category("detail", context.detailProducts);
    const Part21WriterUserData assembly = category("assembly", context.assemblyProducts);
    for (const Part21WriterUserData& subCategory : {detail, assembly}) {
        if (part.getType() == Part21WriterUserData::Ref &&
            subCategory.getType() == Part21WriterUserData::Ref) {
            writeNewEntity(context, {"product_category_relationship"},
                           stepAttributes("name", text(""), "category", part.toVariant(), "sub_category",
                                          subCategory.toVariant()));
        }
    }
    return true;
}

}  // namespace ov::step
