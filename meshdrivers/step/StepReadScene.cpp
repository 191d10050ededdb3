// The product structure of an exchange file as a scene: products and their
// occurrences, placements, units, properties and the meshes of their shapes.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <unordered_set>

#include "core/SceneCopy.h"
#include "scenegraph/ovMetadata.h"
#include "step/BrepMesher.h"
#include "step/StepImport.h"
#include "step/StepPartFiles.h"
#include "step/StepRead.h"
#include "system/ovFiles.h"

namespace ov::step {

namespace {

constexpr double kMetresPerMillimetre = 0.001;
// The memory a scene may take, by estimate: the nodes and meshes a product
// used many times multiplies are counted before any is made.
constexpr uint64_t kObjectBytes = 400;
constexpr uint64_t kMinSceneBytes = 64'000'000;
constexpr uint64_t kSceneBytesPerFileByte = 256;
// Units are defined by other units a few levels deep at most.
constexpr int kDeepestUnit = 8;
constexpr int kDeepestMapping = 64;
constexpr uint64_t kMinShapeVisits = 100'000;

struct Product {
    uint32_t definition = 0;
    std::string name;
    ovPointer<ovInstanceDefId> instanceDefinition;
    std::vector<uint32_t> shapes;
    std::vector<uint32_t> children;
    std::vector<ReadMesh> meshes;
    // The file a document reference names, for a product held elsewhere,
    // and that file's scene once read.
    std::string externalFile;
    const PartScene* part = nullptr;
    bool isChild = false;
};

struct Occurrence {
    uint32_t record = 0;
    uint32_t parent = 0;
    uint32_t child = 0;
    std::string name;
    Frame placement;
    ovVariantMapImpl properties;
};

double siPrefixMillimetres(std::string_view prefix) {
    static constexpr std::pair<std::string_view, double> kPrefixes[] = {
        {"KILO", 1e6}, {"HECTO", 1e5}, {"DECA", 1e4},   {"DECI", 100},
        {"CENTI", 10}, {"MILLI", 1},   {"MICRO", 1e-3}, {"NANO", 1e-6},
    };
    for (const auto& [name, millimetres] : kPrefixes) {
        if (name == prefix) {
            return millimetres;
        }
    }
    return 0;
}

// Where a B-rep item is shown: into a product's meshes, placed.
struct ExactItemUse {
    std::vector<ReadMesh>* meshes;
    Frame placement;
};

class SceneReader {
public:
    SceneReader(StepFile& file, std::string_view text, const StepReadOptions& options)
        : mFile(file),
          mNames(file),
          mStyles(file),
          mMeshes(file, mNames, mStyles),
          mText(text),
          mOptions(options) {}

    ImportedScene read(const std::string& fileName) {
        sortRecords();
        readProducts();
        readOccurrences();
        readDocumentReferences();
        readShapes();
        readPlacements();
        if (mOptions.withProperties) {
            readProperties();
        }
        readMeshes();
        meshExactItems();
        ImportedScene scene;
        readPartFiles(scene.warnings);
        // A mesh missing some of its faces would be a wrong shape.
        if (mMeshes.facesLeftOut() > 0) {
            throw ReadError(mFile.source() + ": " + std::to_string(mMeshes.facesLeftOut()) +
                            " polygon faces have holes, or are too large to cut into triangles, which this "
                            "reader does not do");
        }
        scene.root = buildScene(fileName);
        addWarnings(scene.warnings);
        return scene;
    }

private:
    void sortRecords() {
        const StepNames& n = mNames;
        for (uint32_t record = 0; record < mFile.recordCount(); ++record) {
            const uint32_t kind = mFile.kindOf(record);
            if (kind == n.productDefinition || kind == n.productDefinitionWithDocuments) {
                mProductOf.emplace(record, static_cast<uint32_t>(mProducts.size()));
                mProducts.emplace_back().definition = record;
            } else if (kind == n.nextAssemblyUsage) {
                mOccurrenceRecords.push_back(record);
            } else if (kind == n.productDefinitionShape) {
                mDefinitionShapes.push_back(record);
            } else if (kind == n.shapeDefinitionRepresentation) {
                mShapeDefinitions.push_back(record);
            } else if (kind == n.contextDependentShape) {
                mPlacements.push_back(record);
            } else if (kind == n.styledItem || kind == n.overRidingStyledItem) {
                mStyles.addStyledItem(record);
            } else if (kind == n.propertyDefinitionRepresentation) {
                mPropertyRecords.push_back(record);
            } else if (kind == n.appliedDocumentReference || kind == n.documentProductEquivalence) {
                mDocumentReferences.push_back(record);
            } else if (!mFile.has(record, n.relationshipWithTransformation) &&
                       (kind == n.shapeRepresentationRelationship ||
                        mFile.has(record, n.representationRelationship))) {
                linkRepresentations(record);
            }
        }
    }

    // Shapes tied without a placement are one product's.
    void linkRepresentations(uint32_t relation) {
        const StepParams params = relationParams(relation);
        const uint32_t first = mFile.target(relation, params.at(2));
        const uint32_t second = mFile.target(relation, params.at(3));
        mLinked[first].push_back(second);
        mLinked[second].push_back(first);
    }

    StepParams relationParams(uint32_t relation) const {
        return mFile.isComplex(relation) ? mFile.params(relation, mNames.representationRelationship)
                                         : mFile.params(relation);
    }

    uint32_t productAt(uint32_t from, const Part21Item& item) const {
        const uint32_t definition = mFile.target(from, item);
        const auto found = mProductOf.find(definition);
        if (found == mProductOf.end()) {
            mFile.fail(from,
                       "refers to #" + std::to_string(mFile.instanceOf(definition)) +
                           ", which is no product definition",
                       &item);
        }
        return found->second;
    }

    void readProducts() {
        for (Product& product : mProducts) {
            const uint32_t definition = product.definition;
            const uint32_t formation = mFile.target(definition, mFile.params(definition).at(2));
            const StepParams formationParams = mFile.params(formation);
            const uint32_t productRecord = mFile.target(formation, formationParams.at(2));
            const StepParams productParams = mFile.params(productRecord);
            const auto index = static_cast<uint32_t>(&product - mProducts.data());
            mProductsOfItem[definition].push_back(index);
            mProductsOfItem[formation].push_back(index);
            mProductsOfItem[productRecord].push_back(index);
            const std::string id = mFile.text(productRecord, productParams.at(0));
            product.name = mFile.text(productRecord, productParams.at(1));
            product.name = product.name.empty() ? id : product.name;
            const std::string revision = mFile.text(formation, formationParams.at(0));
            product.instanceDefinition = new ovInstanceDefId;
            ovVariantMapImpl& stated = product.instanceDefinition->editComponentMd();
            if (!id.empty() && id != product.name) {
                stated.insert("productId", id);
            }
            if (revision.find_first_not_of(' ') != std::string::npos && revision != product.name) {
                stated.insert("revision", revision);
            }
        }
    }

    // Writers tie a product to the DOCUMENT_FILE that holds it in one of
    // three ways: APPLIED_DOCUMENT_REFERENCE(assigned_document, source, items)
    // on its definition, DOCUMENT_PRODUCT_EQUIVALENCE(name, description,
    // relating_document, related_product) on its product or version, or the
    // documentation_ids of a PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS.
    void readDocumentReferences() {
        for (const uint32_t record : mDocumentReferences) {
            const StepParams params = mFile.params(record);
            if (mFile.kindOf(record) == mNames.documentProductEquivalence) {
                if (const auto products = mProductsOfItem.find(mFile.target(record, params.at(3)));
                    products != mProductsOfItem.end()) {
                    for (const uint32_t product : products->second) {
                        assignDocument(record, params.at(2), mProducts[product]);
                    }
                }
                continue;
            }
            for (const Part21Item& item : params.list(2)) {
                if (const auto product = mProductOf.find(mFile.target(record, item));
                    product != mProductOf.end()) {
                    assignDocument(record, params.at(0), mProducts[product->second]);
                }
            }
        }
        for (Product& product : mProducts) {
            if (mFile.kindOf(product.definition) == mNames.productDefinitionWithDocuments) {
                for (const Part21Item& item : mFile.params(product.definition).list(4)) {
                    assignDocument(product.definition, item, product);
                }
            }
        }
    }

    // A DOCUMENT_FILE names its file by its id, or else its name.
    void assignDocument(uint32_t from, const Part21Item& documentItem, Product& product) const {
        const uint32_t document = mFile.target(from, documentItem);
        if (mFile.kindOf(document) != mNames.documentFile || mFile.isComplex(document)) {
            return;
        }
        const StepParams params = mFile.params(document);
        const std::string id = mFile.text(document, params.at(0));
        product.externalFile = id.empty() ? mFile.text(document, params.at(1)) : id;
    }

    // Each referenced product is the scene of its part file, when the load
    // follows them.
    void readPartFiles(std::vector<std::string>& warnings) {
        if (mOptions.parts == nullptr) {
            return;
        }
        for (Product& product : mProducts) {
            if (!product.externalFile.empty()) {
                product.part = mOptions.parts->read(product.externalFile, mFile.source(), mOptions, warnings);
            }
        }
    }

    void readOccurrences() {
        for (const uint32_t record : mOccurrenceRecords) {
            const StepParams params = mFile.params(record);
            Occurrence occurrence;
            occurrence.record = record;
            occurrence.parent = productAt(record, params.at(3));
            occurrence.child = productAt(record, params.at(4));
            occurrence.name = mFile.text(record, params.at(1));
            mProducts[occurrence.parent].children.push_back(static_cast<uint32_t>(mOccurrences.size()));
            mProducts[occurrence.child].isChild = true;
            mOccurrenceOf.emplace(record, static_cast<uint32_t>(mOccurrences.size()));
            mOccurrences.push_back(std::move(occurrence));
        }
    }

    // Product definition shapes of products and of occurrences, then the
    // representations of the products' shapes.
    void readShapes() {
        for (const uint32_t shape : mDefinitionShapes) {
            const uint32_t of = mFile.target(shape, mFile.params(shape).at(2));
            if (const auto product = mProductOf.find(of); product != mProductOf.end()) {
                mProductOfShape.emplace(shape, product->second);
            } else if (const auto occurrence = mOccurrenceOf.find(of); occurrence != mOccurrenceOf.end()) {
                mOccurrenceOfShape.emplace(shape, occurrence->second);
            }
        }
        for (const uint32_t record : mShapeDefinitions) {
            const StepParams params = mFile.params(record);
            const auto product = mProductOfShape.find(mFile.target(record, params.at(0)));
            if (product != mProductOfShape.end()) {
                const uint32_t representation = mFile.target(record, params.at(1));
                mProducts[product->second].shapes.push_back(representation);
                mProductShapes.insert(representation);
            }
        }
    }

    // Millimetres per length unit of a representation context; a context
    // without units is taken in millimetres.
    double contextScale(uint32_t context) {
        const auto [entry, added] = mContextScales.try_emplace(context, 1.0);
        if (added && mFile.has(context, mNames.globalUnitAssignedContext)) {
            const StepParams params = mFile.params(context, mNames.globalUnitAssignedContext);
            for (const Part21Item& unitItem : params.list(0)) {
                const uint32_t unit = mFile.target(context, unitItem);
                if (mFile.has(unit, mNames.lengthUnit)) {
                    entry->second = unitMillimetres(unit, 0);
                    break;
                }
            }
        }
        return entry->second;
    }

    double unitMillimetres(uint32_t unit, int depth) const {
        if (depth > kDeepestUnit) {
            mFile.fail(unit, "is defined through a chain of units that refers to itself");
        }
        if (mFile.has(unit, mNames.siUnit)) {
            const StepParams params = mFile.params(unit, mNames.siUnit);
            if (mFile.enumeration(unit, params.at(1)) != "METRE") {
                mFile.fail(unit, "is a length unit that is not a metre");
            }
            const Part21Item& prefix = params.at(0);
            const double millimetres =
                mFile.isUnset(prefix) ? 1000.0 : siPrefixMillimetres(mFile.enumeration(unit, prefix));
            if (millimetres == 0) {
                mFile.fail(unit, "has a prefix this reader does not know", &prefix);
            }
            return millimetres;
        }
        if (mFile.has(unit, mNames.conversionBasedUnit)) {
            const uint32_t factor = mFile.target(unit, mFile.params(unit, mNames.conversionBasedUnit).at(1));
            const StepParams measure = mFile.has(factor, mNames.measureWithUnit)
                                           ? mFile.params(factor, mNames.measureWithUnit)
                                           : mFile.params(factor, mNames.lengthMeasureWithUnit);
            const double value = mFile.real(factor, measure.at(0));
            const double millimetres =
                value * unitMillimetres(mFile.target(factor, measure.at(1)), depth + 1);
            if (!(millimetres > 0) || !std::isfinite(millimetres)) {
                mFile.fail(factor, "gives a length unit no positive size");
            }
            return millimetres;
        }
        mFile.fail(unit, "is a length unit this reader does not know");
    }

    double representationScale(uint32_t representation) {
        const StepParams params = mFile.isComplex(representation)
                                      ? mFile.params(representation, mNames.representation)
                                      : mFile.params(representation);
        return contextScale(mFile.target(representation, params.at(2)));
    }

    StepParams representationItems(uint32_t representation) const {
        const StepParams params = mFile.isComplex(representation)
                                      ? mFile.params(representation, mNames.representation)
                                      : mFile.params(representation);
        return params.list(1);
    }

    // Where each occurrence puts its product in its parent's.
    void readPlacements() {
        for (const uint32_t record : mPlacements) {
            const StepParams params = mFile.params(record);
            const auto occurrence = mOccurrenceOfShape.find(mFile.target(record, params.at(1)));
            if (occurrence != mOccurrenceOfShape.end()) {
                Occurrence& placed = mOccurrences[occurrence->second];
                placed.placement = placementOf(mFile.target(record, params.at(0)), mProducts[placed.child]);
            }
        }
    }

    Frame placementOf(uint32_t relation, const Product& child) {
        const StepParams params = relationParams(relation);
        uint32_t childShape = mFile.target(relation, params.at(2));
        uint32_t parentShape = mFile.target(relation, params.at(3));
        const auto isChildShape = [&child](uint32_t shape) {
            return std::find(child.shapes.begin(), child.shapes.end(), shape) != child.shapes.end();
        };
        const bool reversed = !isChildShape(childShape) && isChildShape(parentShape);
        if (reversed) {
            std::swap(childShape, parentShape);
        }
        if (!mFile.has(relation, mNames.relationshipWithTransformation)) {
            return mappedPlacement(parentShape, childShape);
        }
        const uint32_t transformation =
            mFile.target(relation, mFile.params(relation, mNames.relationshipWithTransformation).at(0));
        if (mFile.kindOf(transformation) != mNames.itemDefinedTransformation) {
            mFile.fail(transformation, "is a transformation this reader does not know");
        }
        const StepParams items = mFile.params(transformation);
        uint32_t from = mFile.target(transformation, items.at(2));
        uint32_t to = mFile.target(transformation, items.at(3));
        if (reversed) {
            std::swap(from, to);
        }
        const Frame source = readPlacement(mFile, mNames, from, representationScale(childShape));
        const Frame target = readPlacement(mFile, mNames, to, representationScale(parentShape));
        return target.after(source.inverse());
    }

    // The placement of a MAPPED_ITEM of the parent's shape that shows the child's.
    Frame mappedPlacement(uint32_t parentShape, uint32_t childShape) {
        for (const Part21Item& item : representationItems(parentShape)) {
            const uint32_t mapped = mFile.target(parentShape, item);
            if (mFile.kindOf(mapped) == mNames.mappedItem && mappedRepresentation(mapped) == childShape) {
                return mappingOf(mapped);
            }
        }
        return {};
    }

    uint32_t mappedRepresentation(uint32_t mapped) const {
        const uint32_t source = mFile.target(mapped, mFile.params(mapped).at(1));
        return mFile.target(source, mFile.params(source).at(1));
    }

    Frame mappingOf(uint32_t mapped) {
        const StepParams params = mFile.params(mapped);
        const uint32_t source = mFile.target(mapped, params.at(1));
        const StepParams sourceParams = mFile.params(source);
        const uint32_t represented = mFile.target(source, sourceParams.at(1));
        const Frame origin = readPlacement(mFile, mNames, mFile.target(source, sourceParams.at(0)),
                                           representationScale(represented));
        const Frame target = readPlacement(mFile, mNames, mFile.target(mapped, params.at(2)),
                                           representationScale(represented));
        return target.after(origin.inverse());
    }

    // Each product's meshes: the items of its shapes and of the shapes tied
    // to them, mapped items followed into the shapes they place.
    void readMeshes() {
        for (Product& product : mProducts) {
            std::vector<uint32_t> pending = product.shapes;
            std::unordered_set<uint32_t> seen(pending.begin(), pending.end());
            while (!pending.empty()) {
                const uint32_t shape = pending.back();
                pending.pop_back();
                readShapeItems(shape, Frame(), 0, product.meshes);
                for (const uint32_t linked : mLinked[shape]) {
                    if (!mProductShapes.contains(linked) && seen.insert(linked).second) {
                        pending.push_back(linked);
                    }
                }
            }
        }
    }

    void readShapeItems(uint32_t shape, const Frame& placement, int depth, std::vector<ReadMesh>& meshes) {
        if (depth > kDeepestMapping) {
            mFile.fail(shape, "is mapped into itself");
        }
        // Mapped items that map many times over would multiply without end.
        if (++mShapeVisits > std::max<uint64_t>(kMinShapeVisits, 4 * mFile.recordCount())) {
            mFile.fail(shape,
                       "is mapped so many times over that its shapes would take more than the file allows");
        }
        const double scale = representationScale(shape);
        for (const Part21Item& itemRef : representationItems(shape)) {
            const uint32_t item = mFile.target(shape, itemRef);
            if (mFile.kindOf(item) == mNames.mappedItem) {
                const uint32_t mapped = mappedRepresentation(item);
                // A product's shape mapped in is an occurrence, placed as such.
                if (!mProductShapes.contains(mapped)) {
                    readShapeItems(mapped, placement.after(mappingOf(item)), depth + 1, meshes);
                }
                continue;
            }
            // An item shown by several products or mapped items is meshed once.
            auto [read, added] = mItemMeshes.try_emplace(item);
            if (added && !mMeshes.read(item, scale, read->second)) {
                mExactItems.try_emplace(item);
            }
            if (const auto exact = mExactItems.find(item); exact != mExactItems.end()) {
                exact->second.push_back({&meshes, placement});
                continue;
            }
            for (const ReadMesh& mesh : read->second) {
                meshes.push_back(mesh);
                meshes.back().placement = placement.after(mesh.placement);
            }
        }
    }

    // The B-rep items meshed all at once by the mesher, which reads the
    // whole file, then placed where they are shown; without a mesher they
    // stay out, with a warning.
    void meshExactItems() {
        if (mExactItems.empty() || mOptions.mesher == nullptr) {
            return;
        }
        std::vector<uint64_t> numbers;
        for (const auto& [item, uses] : mExactItems) {
            numbers.push_back(mFile.instanceOf(item));
        }
        const BrepMeshes meshed = mOptions.mesher->mesh(mText, mFile.source(), numbers, mOptions.meshing);
        for (const auto& [item, uses] : mExactItems) {
            const auto faces = meshed.find(mFile.instanceOf(item));
            if (faces == meshed.end()) {
                mFile.fail(item, "is a B-rep shape that could not be meshed");
            }
            for (const ReadMesh& mesh : mMeshes.brepMeshes(item, faces->second)) {
                for (const ExactItemUse& use : uses) {
                    use.meshes->push_back(mesh);
                    use.meshes->back().placement = use.placement.after(mesh.placement);
                }
            }
        }
        mExactItems.clear();
    }

    void readProperties() {
        for (const uint32_t record : mPropertyRecords) {
            const StepParams params = mFile.params(record);
            const uint32_t property = mFile.target(record, params.at(0));
            if (mFile.kindOf(property) != mNames.propertyDefinition) {
                continue;
            }
            const StepParams propertyParams = mFile.params(property);
            const uint32_t of = mFile.target(property, propertyParams.at(2));
            ovVariantMapImpl* target = nullptr;
            if (const auto product = mProductOf.find(of); product != mProductOf.end()) {
                target = &mProducts[product->second].instanceDefinition->editComponentMd();
            } else if (const auto occurrence = mOccurrenceOfShape.find(of);
                       occurrence != mOccurrenceOfShape.end()) {
                target = &mOccurrences[occurrence->second].properties;
            }
            if (target == nullptr) {
                continue;
            }
            ovVariantListImpl values;
            const uint32_t representation = mFile.target(record, params.at(1));
            for (const Part21Item& item : representationItems(representation)) {
                readValue(mFile.target(representation, item), values);
            }
            if (!values.empty()) {
                const std::string name = mFile.text(property, propertyParams.at(0));
                target->multiInsert(name, values.size() == 1 ? values[0] : ovVariant(values), false);
            }
        }
    }

    // The value of a property's representation item, where it is of a kind
    // that holds one.
    void readValue(uint32_t item, ovVariantListImpl& values) const {
        if (mFile.isComplex(item)) {
            return;
        }
        const std::string_view kind = mFile.nameOf(item);
        const StepParams params = mFile.params(item);
        // Some writers give an integer item a real value.
        if (kind == "INTEGER_REPRESENTATION_ITEM" && params.at(1).kind == Part21Item::Kind::Integer) {
            values.push_back(ovVariant(mFile.integer(item, params.at(1))));
        } else if (kind == "REAL_REPRESENTATION_ITEM" || kind == "VALUE_REPRESENTATION_ITEM" ||
                   kind == "INTEGER_REPRESENTATION_ITEM") {
            values.push_back(ovVariant(mFile.real(item, params.at(1))));
        } else if (kind == "BOOLEAN_REPRESENTATION_ITEM") {
            // Our exact profile writes a boolean as 1 or 0.
            const Part21Item& value = params.at(1);
            values.push_back(ovVariant(value.kind == Part21Item::Kind::Integer
                                           ? mFile.integer(item, value) != 0
                                           : mFile.boolean(item, value)));
        } else if (kind == "DESCRIPTIVE_REPRESENTATION_ITEM") {
            values.push_back(ovVariant(mFile.text(item, params.at(1))));
        } else if (kind == "NULL_REPRESENTATION_ITEM") {
            values.push_back(ovVariant());
        } else if (kind == "DATE_TIME_REPRESENTATION_ITEM") {
            values.push_back(ovVariant(readDateTime(item)));
        }
    }

    // A calendar date and a local time, taken in UTC.
    ovDateTime readDateTime(uint32_t item) const {
        using namespace std::chrono;
        const StepParams params = mFile.params(item);
        const uint32_t date = mFile.target(item, params.at(1));
        const uint32_t time = mFile.target(item, params.at(2));
        const StepParams dateParams = mFile.params(date);
        const StepParams timeParams = mFile.params(time);
        const year_month_day day{
            year(static_cast<int>(mFile.integer(date, dateParams.at(0)))),
            month(static_cast<unsigned>(mFile.integer(date, dateParams.at(2)))),
            std::chrono::day(static_cast<unsigned>(mFile.integer(date, dateParams.at(1))))};
        if (!day.ok()) {
            mFile.fail(date, "is not a date");
        }
        const int64_t hour = mFile.integer(time, timeParams.at(0));
        const int64_t minute = mFile.integer(time, timeParams.at(1));
        const double second = mFile.real(time, timeParams.at(2));
        if (hour < 0 || hour > 24 || minute < 0 || minute > 59 || !(second >= 0 && second < 61)) {
            mFile.fail(time, "is not a time of day");
        }
        const int64_t seconds = sys_days(day).time_since_epoch().count() * 86400 + hour * 3600 + minute * 60 +
                                static_cast<int64_t>(second);
        return {seconds * 1000};
    }

    // Rejects a product that contains itself, and a structure whose nodes
    // would take more memory than the file's size allows.
    void checkStructure(const std::vector<uint32_t>& roots) const {
        const uint64_t budget =
            std::max(kMinSceneBytes, mText.size() * kSceneBytesPerFileByte) / kObjectBytes;
        enum class State : uint8_t { Unseen, Open, Done };
        std::vector<State> states(mProducts.size(), State::Unseen);
        std::vector<uint64_t> objects(mProducts.size(), 0);
        struct Step {
            uint32_t product;
            size_t next;
        };
        uint64_t total = 0;
        for (const uint32_t root : roots) {
            if (states[root] == State::Done) {
                continue;
            }
            std::vector<Step> stack{{root, 0}};
            states[root] = State::Open;
            while (!stack.empty()) {
                Step& step = stack.back();
                const Product& product = mProducts[step.product];
                if (step.next == product.children.size()) {
                    uint64_t count = 1 + product.meshes.size() + (product.part ? product.part->objects : 0);
                    for (const uint32_t occurrence : product.children) {
                        count = std::min(budget + 1, count + objects[mOccurrences[occurrence].child]);
                    }
                    objects[step.product] = count;
                    states[step.product] = State::Done;
                    stack.pop_back();
                    continue;
                }
                const Occurrence& occurrence = mOccurrences[product.children[step.next++]];
                if (states[occurrence.child] == State::Open) {
                    mFile.fail(occurrence.record,
                               "places product '" + mProducts[occurrence.child].name + "' inside itself");
                }
                if (states[occurrence.child] == State::Unseen) {
                    states[occurrence.child] = State::Open;
                    stack.push_back({occurrence.child, 0});
                }
            }
            total = std::min(budget + 1, total + objects[root]);
        }
        if (total > budget) {
            throw ReadError(mFile.source() +
                            ": its products are used so often that the scene would take more than " +
                            std::to_string(budget * kObjectBytes / 1'000'000) + " MB");
        }
    }

    // A product with neither shape nor parts (a document) is no root.
    std::vector<uint32_t> rootProducts() const {
        std::vector<uint32_t> roots;
        for (uint32_t p = 0; p < mProducts.size(); ++p) {
            const Product& product = mProducts[p];
            if (!product.isChild &&
                (!product.shapes.empty() || !product.children.empty() || !product.externalFile.empty())) {
                roots.push_back(p);
            }
        }
        return roots;
    }

    ovPointer<ovNode> makeNode(uint32_t productIndex, const Occurrence* occurrence) const {
        const Product& product = mProducts[productIndex];
        ovPointer<ovNode> node;
        if (product.part != nullptr) {
            node = copyOfPart(*product.part);
        } else if (product.externalFile.empty()) {
            node = new ovNode;
        } else {
            ovPointer<ovXRefNode> reference(new ovXRefNode);
            reference->setUtf8FilePath(product.externalFile);
            node = reference;
        }
        node->SetName(occurrence != nullptr && !occurrence->name.empty() ? occurrence->name : product.name);
        auto* instance = new ovInstanceMetaData(product.instanceDefinition.get());
        node->setMetadata(instance);
        if (occurrence != nullptr) {
            instance->editMd() = occurrence->properties;
            if (!occurrence->placement.isIdentity()) {
                node->editLocalTransform(true) = occurrence->placement.toTransformation();
            }
        }
        for (const ReadMesh& read : product.meshes) {
            ovPointer<ovTriMesh> mesh(new ovTriMesh(read.vertices.get(), read.indices.get()));
            mesh->SetName(read.name.empty() ? product.name : read.name);
            mesh->setMaterialState(read.material.get());
            if (!read.placement.isIdentity()) {
                mesh->editLocalTransform(true) = read.placement.toTransformation();
            }
            node->attachChild(mesh.get());
        }
        return node;
    }

    // A node holding what the part file's scene holds, its meshes shared.
    static ovPointer<ovNode> copyOfPart(const PartScene& part) {
        ovPointer<ovNode> node(new ovNode);
        const ovPointer<ovNode> copy = copyScene(*part.scene.root, SceneContent::Everything);
        for (int index = 0; index < copy->getNbChildren(); ++index) {
            if (const ovPointer<ovSpatial> child = copy->detachChildAt(index)) {
                node->attachChild(child.get());
            }
        }
        return node;
    }

    // One node per occurrence, built without recursion however deep.
    ovPointer<ovNode> buildTree(uint32_t root) const {
        ovPointer<ovNode> top = makeNode(root, nullptr);
        struct Step {
            ovNode* node;
            uint32_t product;
            size_t next;
        };
        std::vector<Step> stack{{top.get(), root, 0}};
        while (!stack.empty()) {
            Step& step = stack.back();
            const Product& product = mProducts[step.product];
            if (step.next == product.children.size()) {
                stack.pop_back();
                continue;
            }
            const Occurrence& occurrence = mOccurrences[product.children[step.next++]];
            ovPointer<ovNode> child = makeNode(occurrence.child, &occurrence);
            step.node->attachChild(child.get());
            stack.push_back({child.get(), occurrence.child, 0});
        }
        return top;
    }

    ovPointer<ovNode> buildScene(const std::string& fileName) {
        const std::vector<uint32_t> roots = rootProducts();
        // Without a root, every product is looked at: one may place itself.
        std::vector<uint32_t> everyProduct(mProducts.size());
        std::iota(everyProduct.begin(), everyProduct.end(), 0U);
        checkStructure(roots.empty() ? everyProduct : roots);
        if (roots.empty()) {
            throw ReadError(mFile.source() + ": the file holds no product with a shape or parts");
        }
        ovPointer<ovNode> root;
        if (roots.size() == 1) {
            root = buildTree(roots.front());
        } else {
            root = new ovNode;
            root->SetName(fileName);
            for (const uint32_t product : roots) {
                root->attachChild(buildTree(product).get());
            }
        }
        root->setMetadata(new ovWorldUnitsMetaData(kMetresPerMillimetre));
        return root;
    }

    void addWarnings(std::vector<std::string>& warnings) const {
        if (!mExactItems.empty()) {
            warnings.push_back(
                mFile.source() + ": " + std::to_string(mExactItems.size()) +
                " shapes of exact geometry (B-rep) are left out: this reader meshes faceted and "
                "tessellated shapes only");
        }
    }

    StepFile& mFile;
    StepNames mNames;
    StyleReader mStyles;
    MeshReader mMeshes;
    std::string_view mText;
    const StepReadOptions& mOptions;
    std::vector<Product> mProducts;
    std::vector<Occurrence> mOccurrences;
    std::unordered_map<uint32_t, uint32_t> mProductOf;
    // The products of each PRODUCT, version and definition record.
    std::unordered_map<uint32_t, std::vector<uint32_t>> mProductsOfItem;
    std::unordered_map<uint32_t, uint32_t> mOccurrenceOf;
    std::unordered_map<uint32_t, uint32_t> mProductOfShape;
    std::unordered_map<uint32_t, uint32_t> mOccurrenceOfShape;
    std::unordered_set<uint32_t> mProductShapes;
    std::unordered_map<uint32_t, std::vector<uint32_t>> mLinked;
    std::unordered_map<uint32_t, double> mContextScales;
    std::unordered_map<uint32_t, std::vector<ReadMesh>> mItemMeshes;
    // By record, so that the mesher is asked in file order.
    std::map<uint32_t, std::vector<ExactItemUse>> mExactItems;
    uint64_t mShapeVisits = 0;
    std::vector<uint32_t> mOccurrenceRecords;
    std::vector<uint32_t> mDefinitionShapes;
    std::vector<uint32_t> mShapeDefinitions;
    std::vector<uint32_t> mPlacements;
    std::vector<uint32_t> mPropertyRecords;
    std::vector<uint32_t> mDocumentReferences;
};

}  // namespace

ImportedScene importStepText(std::string_view text, const std::string& source,
                             const StepReadOptions& options) {
    if (options.parts == nullptr && !options.meshing.keepPartReferences) {
        PartFileReads parts(source, options.meshing.confine);
        StepReadOptions following = options;
        following.parts = &parts;
        return importStepText(text, source, following);
    }
    StepFile file(text, source);
    return SceneReader(file, text, options).read(utf8OfPath(pathOfUtf8(source).stem()));
}

ImportedScene importStep(const std::string& path, const StepReadOptions& options) {
    const std::string text = readWholeFile(path);
    return importStepText(text, path, options);
}

}  // namespace ov::step
