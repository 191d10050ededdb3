#include "plmxml/PlmXmlOccurrences.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "plmxml/PlmXmlScene.h"
#include "scenegraph/ovMetadata.h"
#include "system/ovStringUtils.h"

namespace ov::plmxml {

namespace {

using namespace std::string_view_literals;

constexpr int kMessageCode = -1;
// Past this many, warnings are only counted: a made-up document could list
// one missing id millions of times.
constexpr size_t kMaxWarnings = 20;
// How far from orthonormal a placement's rotation may be (real exports are
// exact to 1e-15).
constexpr double kRotationTolerance = 1e-3;
constexpr TransformNumbers kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct ElementKind {
    std::string_view element;
    PlmXmlObject::Kind kind;
};

// The elements read as objects, by what the schema derives them from:
// occurrences (OccurrenceType), instances that place structures
// (InstanceBase; GDE and feature instances place no part), views
// (StructureRevisionViewBase; Part is the v4 name of ProductRevisionView),
// revisions (StructureRevisionBase), and, as others, the structures that
// revisions are of, data sets and their files.
constexpr ElementKind kObjectElements[] = {
    {"Occurrence", PlmXmlObject::Occurrence},
    {"FeatureOccurrence", PlmXmlObject::Occurrence},
    {"ProductInstance", PlmXmlObject::Instance},
    {"Instance", PlmXmlObject::Instance},
    {"ConnectionInstance", PlmXmlObject::Instance},
    {"CompositionInstance", PlmXmlObject::Instance},
    {"ProductRevisionView", PlmXmlObject::View},
    {"Part", PlmXmlObject::View},
    {"DesignRevisionView", PlmXmlObject::View},
    {"ConnectionRevisionView", PlmXmlObject::View},
    {"DrawingRevisionView", PlmXmlObject::View},
    {"StructureRevisionView", PlmXmlObject::View},
    {"ProductRevision", PlmXmlObject::Revision},
    {"DesignRevision", PlmXmlObject::Revision},
    {"ConnectionRevision", PlmXmlObject::Revision},
    {"DrawingRevision", PlmXmlObject::Revision},
    {"RequirementRevision", PlmXmlObject::Revision},
    {"OccurrenceControlRevision", PlmXmlObject::Revision},
    {"StructureRevision", PlmXmlObject::Revision},
    {"Product", PlmXmlObject::Other},
    {"Design", PlmXmlObject::Other},
    {"Connection", PlmXmlObject::Other},
    {"Drawing", PlmXmlObject::Other},
    {"Requirement", PlmXmlObject::Other},
    {"Structure", PlmXmlObject::Other},
    {"DataSet", PlmXmlObject::Other},
    {"ExternalFile", PlmXmlObject::Other},
};

const ElementKind* objectElement(std::string_view name) {
    const auto found = std::find_if(std::begin(kObjectElements), std::end(kObjectElements),
                                    [name](const ElementKind& entry) { return entry.element == name; });
    return found == std::end(kObjectElements) ? nullptr : found;
}

// Schema versions 4, 5 and 6, with or without a minor version.
bool isReadableVersion(std::string_view version) {
    return !version.empty() && version[0] >= '4' && version[0] <= '6' &&
           (version.size() == 1 || version[1] == '.');
}

// References are "#id", lists of children bare ids; either form is taken.
std::string_view idOfRef(std::string_view ref) {
    return ref.empty() || ref.front() != '#' ? ref : ref.substr(1);
}

// Rotation entry (row, column) of the file's numbers.
double rotationAt(const TransformNumbers& c, size_t row, size_t column) {
    return c[column * 4 + row];
}

bool isRotation(const TransformNumbers& c) {
    for (size_t row = 0; row < 3; ++row) {
        for (size_t column = 0; column < 3; ++column) {
            double dot = 0;
            for (size_t k = 0; k < 3; ++k) {
                dot += rotationAt(c, k, row) * rotationAt(c, k, column);
            }
            if (std::abs(dot - (row == column ? 1.0 : 0.0)) > kRotationTolerance) {
                return false;
            }
        }
    }
    const double determinant =
        rotationAt(c, 0, 0) *
            (rotationAt(c, 1, 1) * rotationAt(c, 2, 2) - rotationAt(c, 1, 2) * rotationAt(c, 2, 1)) -
        rotationAt(c, 0, 1) *
            (rotationAt(c, 1, 0) * rotationAt(c, 2, 2) - rotationAt(c, 1, 2) * rotationAt(c, 2, 0)) +
        rotationAt(c, 0, 2) *
            (rotationAt(c, 1, 0) * rotationAt(c, 2, 1) - rotationAt(c, 1, 1) * rotationAt(c, 2, 0));
    return determinant > 0;
}

// The placement of child, given in parent's frame, in the frame parent is
// given in: parent then child.
TransformNumbers composedPlacement(const TransformNumbers& parent, const TransformNumbers& child) {
    TransformNumbers world{};
    for (size_t row = 0; row < 3; ++row) {
        for (size_t column = 0; column < 3; ++column) {
            double sum = 0;
            for (size_t k = 0; k < 3; ++k) {
                sum += rotationAt(parent, row, k) * rotationAt(child, k, column);
            }
            world[column * 4 + row] = sum;
        }
        double offset = parent[12 + row];
        for (size_t k = 0; k < 3; ++k) {
            offset += rotationAt(parent, row, k) * child[12 + k];
        }
        world[12 + row] = offset;
    }
    world[15] = 1;
    return world;
}

// The placement of child in parent's frame, both given in the root's:
// inverse(parent) then child. The rotations are orthonormal, so the inverse
// is the transpose.
TransformNumbers relativePlacement(const TransformNumbers& parent, const TransformNumbers& child) {
    TransformNumbers inverse{};
    for (size_t row = 0; row < 3; ++row) {
        for (size_t column = 0; column < 3; ++column) {
            inverse[column * 4 + row] = rotationAt(parent, column, row);
            inverse[12 + row] -= rotationAt(parent, column, row) * parent[12 + column];
        }
    }
    inverse[15] = 1;
    return composedPlacement(inverse, child);
}

bool isFiniteInMillimetres(const ovTransformation& transform) {
    const Wm4::Vector3<float>& offset = transform.GetTranslate();
    return std::isfinite(offset[0]) && std::isfinite(offset[1]) && std::isfinite(offset[2]);
}

std::string firstNamed(std::initializer_list<std::string_view> names) {
    const auto named =
        std::find_if(names.begin(), names.end(), [](std::string_view name) { return !name.empty(); });
    return named == names.end() ? std::string() : std::string(*named);
}

struct DataFile {
    std::string path;
    std::string_view format;
    bool rendering;
};

// What a node is made of: its name, the revision or view whose definition it
// shares, its placement in its parent's frame and in the root's, and the ids
// of its children.
struct NodeSource {
    std::string name;
    PlmXmlObject* definition = nullptr;
    TransformNumbers local = kIdentity;
    TransformNumbers world = kIdentity;
    const std::vector<std::string_view>* children = nullptr;
};

// The scene of one structure, built depth first without recursion. In the
// occurrence tree each occurrence is met once; in the instance graph an
// instance is met once per use of the part that lists it.
class TreeBuilder {
public:
    TreeBuilder(PlmXmlDocumentReader& reader, PlmXmlStructure structure, ovCoreMeshDriver& driver,
                bool importMetadata, ovProgressNotifierInterface* progress, uint64_t budget,
                const std::string& documentFolder)
        : mReader(reader),
          mStructure(structure),
          mMember(structure == PlmXmlStructure::Occurrences ? PlmXmlObject::Occurrence
                                                            : PlmXmlObject::Instance),
          mMemberName(structure == PlmXmlStructure::Occurrences ? "occurrence" : "instance"),
          mDriver(driver),
          mImportMetadata(importMetadata),
          mProgress(progress),
          mBudget(budget),
          mDocumentFolder(documentFolder),
          mOrder(reader.attributeNames().order()) {}

    // Null on failure (its message then given, unless cancelled).
    ovPointer<ovNode> build();
    bool overBudget() const { return mSceneBytes > mBudget; }

private:
    enum Visit : uint8_t { NotReached = 0, OnPath, Done };
    struct Frame {
        PlmXmlObject* member;
        ovNode* node;
        TransformNumbers world;
        const std::vector<std::string_view>* children;
        size_t nextChild;
    };

    bool canceled() const { return mProgress && mProgress->isCanceled(); }
    void warn(const std::string& text);
    bool fail(const std::string& text);
    std::string capitalName() const;
    ovPointer<ovNode> buildTree(PlmXmlObject& root);
    // Adds the child of the top frame that comes next; false when the load fails.
    bool addNextChild(std::vector<Frame>& path);
    // False when the member is skipped (a warning then says why).
    bool describe(PlmXmlObject& member, const TransformNumbers& parentWorld, NodeSource& source);
    bool describeOccurrence(PlmXmlObject& occurrence, const TransformNumbers& parentWorld,
                            NodeSource& source);
    bool describeInstance(PlmXmlObject& instance, NodeSource& source);
    // The revision or view placed by ref (a view stands for the revision it
    // shows, when it names one); null, with a warning, when there is none.
    PlmXmlObject* placedBy(const PlmXmlObject& member, std::string_view ref);
    std::string_view nameOf(const PlmXmlObject& placed);
    // The member's own placement, a rotation, or null when it has none.
    const TransformNumbers* placementOf(const PlmXmlObject& member, TransformNumbers& checked);
    // The placements of the instances of the occurrence's chain composed;
    // false when the chain names something that is no instance.
    bool chainPlacement(const PlmXmlObject& occurrence, TransformNumbers& world);
    ovPointer<ovNode> makeNode(PlmXmlObject& member, const NodeSource& source);
    // Null when the scene would outgrow its budget.
    ovInstanceDefId* definitionOf(PlmXmlObject& placed, bool assembly);
    std::vector<DataFile> dataFilesOf(const PlmXmlObject& placed);
    std::string resolved(std::string_view location) const;
    uint64_t bytesOf(const PlmXmlAttributeList& list) const;

    PlmXmlDocumentReader& mReader;
    PlmXmlStructure mStructure;
    PlmXmlObject::Kind mMember;
    std::string mMemberName;
    ovCoreMeshDriver& mDriver;
    bool mImportMetadata;
    ovProgressNotifierInterface* mProgress;
    uint64_t mBudget;
    const std::string& mDocumentFolder;
    const PlmXmlAttributeNames::Order mOrder;
    std::vector<ovPointer<ovInstanceDefId>> mDefinitions;
    std::vector<std::string> mChosenFiles;
    uint64_t mSceneBytes = 0;
    size_t mWarnings = 0;
    bool mFailed = false;
};

void TreeBuilder::warn(const std::string& text) {
    if (++mWarnings <= kMaxWarnings) {
        mDriver.addErrorMessage("W: " + text, kMessageCode);
    }
}

bool TreeBuilder::fail(const std::string& text) {
    mDriver.addErrorMessage(text, kMessageCode);
    mFailed = true;
    return false;
}

std::string TreeBuilder::capitalName() const {
    std::string name = mMemberName;
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

ovPointer<ovNode> TreeBuilder::build() {
    const std::vector<std::string_view>& roots = mReader.roots(mStructure);
    if (roots.empty()) {
        fail(mStructure == PlmXmlStructure::Occurrences ? "No ProductView names a root occurrence"
                                                        : "No InstanceGraph names a root instance");
        return {};
    }
    mReader.setProgressMade(PlmXmlProgress::RootNamed);
    std::vector<ovPointer<ovNode>> trees;
    for (const std::string_view rootId : roots) {
        PlmXmlObject* root = mReader.find(rootId);
        if (!root || root->kind != mMember) {
            warn("The root " + mMemberName + " " + std::string(rootId) + " is not in the document; skipped");
            continue;
        }
        if (root->visit != NotReached) {
            continue;
        }
        ovPointer<ovNode> tree = buildTree(*root);
        if (mFailed || overBudget() || canceled()) {
            return {};
        }
        if (tree) {
            trees.push_back(tree);
        }
    }
    if (mWarnings > kMaxWarnings) {
        mDriver.addErrorMessage(
            "W: " + std::to_string(mWarnings - kMaxWarnings) + " more warnings like these", kMessageCode);
    }
    if (trees.empty()) {
        fail("No root " + mMemberName + " could be read");
        return {};
    }
    if (trees.size() == 1) {
        return trees.front();
    }
    const ovPointer<ovNode> group(new ovNode);
    for (const ovPointer<ovNode>& tree : trees) {
        group->attachChild(tree.get());
    }
    return group;
}

ovPointer<ovNode> TreeBuilder::buildTree(PlmXmlObject& root) {
    root.visit = Done;
    NodeSource source;
    if (!describe(root, kIdentity, source)) {
        return {};
    }
    const ovPointer<ovNode> tree = makeNode(root, source);
    if (!tree) {
        return {};
    }
    mReader.setProgressMade(PlmXmlProgress::RootRead);
    root.visit = OnPath;
    std::vector<Frame> path{{&root, tree.get(), source.world, source.children, 0}};
    while (!path.empty()) {
        if (canceled()) {
            return {};
        }
        Frame& frame = path.back();
        if (frame.nextChild == frame.children->size()) {
            // An instance is met again under each use of its parent part.
            frame.member->visit = mStructure == PlmXmlStructure::Occurrences ? Done : NotReached;
            path.pop_back();
        } else if (!addNextChild(path)) {
            return {};
        }
    }
    return tree;
}

bool TreeBuilder::addNextChild(std::vector<Frame>& path) {
    // Each id listed counts, met or skipped: a part that lists many ids of
    // no instance, used by many others, would otherwise take long to make
    // no node at all.
    mSceneBytes += kEntryBytes;
    if (overBudget()) {
        return false;
    }
    Frame& frame = path.back();
    const std::string_view childId = (*frame.children)[frame.nextChild++];
    const std::string parentId(frame.member->id);
    PlmXmlObject* child = mReader.find(childId);
    if (!child || child->kind != mMember) {
        warn((mStructure == PlmXmlStructure::Occurrences ? "Occurrence " : "The part of instance ") +
             parentId + " lists " + std::string(childId) + ", which is no " + mMemberName + "; skipped");
        return true;
    }
    if (child->visit == OnPath) {
        return fail(capitalName() + " " + std::string(child->id) + " contains itself");
    }
    if (child->visit == Done) {
        warn("Occurrence " + std::string(child->id) + " is listed again under " + parentId + "; skipped");
        return true;
    }
    child->visit = Done;
    NodeSource source;
    if (!describe(*child, frame.world, source)) {
        return true;
    }
    const ovPointer<ovNode> node = makeNode(*child, source);
    if (!node) {
        return false;
    }
    frame.node->attachChild(node.get());
    child->visit = OnPath;
    path.push_back({child, node.get(), source.world, source.children, 0});
    return true;
}

bool TreeBuilder::describe(PlmXmlObject& member, const TransformNumbers& parentWorld, NodeSource& source) {
    const bool described = mStructure == PlmXmlStructure::Occurrences
                               ? describeOccurrence(member, parentWorld, source)
                               : describeInstance(member, source);
    if (described && source.name.empty()) {
        warn(capitalName() + " " + std::string(member.id) + " has no name, nor has what it places; skipped");
        return false;
    }
    return described;
}

// An occurrence places what its instancedRef names, or else the part of the
// last instance of its chain. Its own placement, or else its chain's, is in
// the root's frame.
bool TreeBuilder::describeOccurrence(PlmXmlObject& occurrence, const TransformNumbers& parentWorld,
                                     NodeSource& source) {
    source.children = &occurrence.refs;
    const PlmXmlObject* last = nullptr;
    if (occurrence.instancedRef.empty()) {
        last = occurrence.chain.empty() ? nullptr : mReader.find(occurrence.chain.back());
        if (!last || last->kind != PlmXmlObject::Instance) {
            warn("Occurrence " + std::string(occurrence.id) + " places nothing (no instancedRef, and " +
                 (occurrence.chain.empty() ? "no instanceRefs"
                                           : "the last of its instanceRefs is no instance") +
                 "); skipped");
            return false;
        }
    }
    source.definition = placedBy(occurrence, last ? last->instancedRef : occurrence.instancedRef);
    if (!source.definition) {
        return false;
    }
    // Named after its revision, or else (placed through instances) after
    // itself, its last instance, that instance's part.
    source.name = firstNamed(
        {last ? occurrence.name : std::string_view(), last ? last->name : std::string_view(),
         last ? nameOf(*mReader.find(last->instancedRef)) : std::string_view(), nameOf(*source.definition)});
    const TransformNumbers* own = placementOf(occurrence, source.world);
    if (!own && !occurrence.chain.empty() && !chainPlacement(occurrence, source.world)) {
        return false;
    }
    source.local = relativePlacement(parentWorld, source.world);
    return true;
}

bool TreeBuilder::describeInstance(PlmXmlObject& instance, NodeSource& source) {
    source.definition = placedBy(instance, instance.instancedRef);
    if (!source.definition) {
        return false;
    }
    // The part lists the instances; a view that stands for its revision is found again for them.
    const PlmXmlObject* part = mReader.find(instance.instancedRef);
    source.children = &part->refs;
    source.name = firstNamed({instance.name, nameOf(*part), nameOf(*source.definition)});
    placementOf(instance, source.local);
    return true;
}

PlmXmlObject* TreeBuilder::placedBy(const PlmXmlObject& member, std::string_view ref) {
    PlmXmlObject* placed = mReader.find(ref);
    const bool placeable =
        placed && (placed->kind == PlmXmlObject::Revision || placed->kind == PlmXmlObject::View);
    if (!placeable) {
        warn(capitalName() + " " + std::string(member.id) + " places " + std::string(ref) +
             (placed ? ", which is no revision or view of one; skipped"
                     : ", which is not in the document; skipped"));
        return nullptr;
    }
    PlmXmlObject* shown = placed->kind == PlmXmlObject::View ? mReader.find(placed->revisionRef) : nullptr;
    return shown && shown->kind == PlmXmlObject::Revision && !shown->name.empty() ? shown : placed;
}

std::string_view TreeBuilder::nameOf(const PlmXmlObject& placed) {
    if (!placed.name.empty() || placed.kind != PlmXmlObject::View) {
        return placed.name;
    }
    const PlmXmlObject* shown = mReader.find(placed.revisionRef);
    return shown ? shown->name : std::string_view();
}

const TransformNumbers* TreeBuilder::placementOf(const PlmXmlObject& member, TransformNumbers& checked) {
    bool missing = false;
    const TransformNumbers* numbers = mReader.transformOf(member, missing);
    if (missing) {
        warn(capitalName() + " " + std::string(member.id) + " refers to Transform " +
             std::string(member.transformRef) +
             ", which is not a Transform of the document; placed without it");
    }
    if (!numbers) {
        checked = kIdentity;
        return nullptr;
    }
    if (isRotation(*numbers)) {
        checked = *numbers;
        return numbers;
    }
    warn("Invalid rotation for " + mMemberName + " " + std::string(member.id) + "; taken unturned");
    checked = kIdentity;
    std::copy(numbers->begin() + 12, numbers->begin() + 15, checked.begin() + 12);
    return numbers;
}

bool TreeBuilder::chainPlacement(const PlmXmlObject& occurrence, TransformNumbers& world) {
    world = kIdentity;
    for (const std::string_view ref : occurrence.chain) {
        const PlmXmlObject* instance = mReader.find(ref);
        if (!instance || instance->kind != PlmXmlObject::Instance) {
            warn("Occurrence " + std::string(occurrence.id) + " chains " + std::string(ref) +
                 ", which is no instance; skipped");
            return false;
        }
        TransformNumbers local;
        placementOf(*instance, local);
        world = composedPlacement(world, local);
    }
    return true;
}

ovPointer<ovNode> TreeBuilder::makeNode(PlmXmlObject& member, const NodeSource& source) {
    const bool leaf = source.children->empty();
    ovInstanceDefId* definition = definitionOf(*source.definition, !leaf);
    if (!definition) {
        return {};
    }
    ovPointer<ovNode> node;
    const std::string& file = mChosenFiles[source.definition->definition];
    if (leaf && !file.empty()) {
        auto* reference = new ovXRefNode;
        reference->setUtf8FilePath(file);
        node = reference;
    } else {
        node = new ovNode;
    }
    node->SetName(source.name);
    ovTransformation& placement = node->editLocalTransform(true);
    setPlacement(placement, source.local);
    if (!isFiniteInMillimetres(placement)) {
        fail("The placement of " + mMemberName + " " + std::string(member.id) + " is out of range");
        return {};
    }
    auto* metadata = new ovInstanceMetaData(definition);
    node->setMetadata(metadata);
    mSceneBytes += kNodeBytes + bytesOf(member.userValues);
    if (overBudget()) {
        return {};
    }
    if (mImportMetadata) {
        metadata->editMd() = toVariantMap(member.userValues, mOrder);
    }
    return node;
}

ovInstanceDefId* TreeBuilder::definitionOf(PlmXmlObject& placed, bool assembly) {
    if (placed.definition != PlmXmlObject::kNone) {
        return mDefinitions[placed.definition].get();
    }
    const std::vector<DataFile> files = dataFilesOf(placed);
    if (overBudget()) {
        return nullptr;
    }
    // The rendering (a viewable file) is preferred; else the first file listed.
    const auto chosen =
        std::find_if(files.begin(), files.end(), [](const DataFile& file) { return file.rendering; });
    const auto used = chosen != files.end() ? chosen : files.begin();
    placed.definition = static_cast<uint32_t>(mDefinitions.size());
    mChosenFiles.push_back(used != files.end() ? used->path : std::string());
    ovInstanceDefId* definition = mDefinitions.emplace_back(new ovInstanceDefId).get();
    definition->SetName(std::string(nameOf(placed)));
    definition->nodeType = assembly ? ovInstanceDefId::Assembly : ovInstanceDefId::Solid;
    mSceneBytes += kNodeBytes + bytesOf(placed.userValues);
    ovVariantMapImpl& shared = definition->editComponentMd();
    shared = toVariantMap(placed.userValues, mOrder);
    if (!mImportMetadata) {
        return definition;
    }
    const PlmXmlObject* product = mReader.find(placed.masterRef);
    if (product && !product->productId.empty()) {
        shared.insert("productId", ovVariant(std::string(product->productId)));
    }
    if (used != files.end()) {
        shared.insert("file", ovVariant(used->path));
        shared.insert("format", ovVariant(std::string(used->format)));
    }
    for (auto file = files.begin(); file != files.end(); ++file) {
        if (file != used) {
            shared.multiInsert("otherFiles", ovVariant(file->path), true);
        }
    }
    return definition;
}

// The file of a view's Representation, then the external files of the
// revision's data sets, in the order listed. The estimate of the scene's
// memory counts each: data sets shared by many revisions could otherwise
// multiply a small document's file lists.
std::vector<DataFile> TreeBuilder::dataFilesOf(const PlmXmlObject& placed) {
    std::vector<DataFile> files;
    if (!placed.location.empty()) {
        files.push_back({resolved(placed.location), placed.format, false});
    }
    for (const auto& [dataSetRef, role] : placed.dataSets) {
        const PlmXmlObject* dataSet = mReader.find(dataSetRef);
        if (!dataSet) {
            continue;
        }
        for (const std::string_view memberRef : dataSet->refs) {
            const PlmXmlObject* file = mReader.find(memberRef);
            if (!file || file->location.empty()) {
                continue;
            }
            files.push_back(
                {resolved(file->location), file->format, ovStringUtils::endsWith(role, "Rendering")});
            mSceneBytes += kEntryBytes + files.back().path.size();
            if (overBudget()) {
                return files;
            }
        }
    }
    return files;
}

// Exports write Windows paths relative to the document.
std::string TreeBuilder::resolved(std::string_view location) const {
    std::string path(location);
    std::replace(path.begin(), path.end(), '\\', '/');
    const bool absolute = path.front() == '/' || (path.size() > 1 && path[1] == ':');
    return absolute ? path : ovDirUtils::JoinPath(mDocumentFolder, path);
}

uint64_t TreeBuilder::bytesOf(const PlmXmlAttributeList& list) const {
    if (!mImportMetadata) {
        return 0;
    }
    uint64_t bytes = 0;
    for (const PlmXmlAttribute& attribute : list) {
        bytes += kEntryBytes + attribute.text.size();
    }
    return bytes;
}

}  // namespace

void PlmXmlObject::clear() {
    *this = PlmXmlObject();
}

PlmXmlDocumentReader::PlmXmlDocumentReader(ovIoDevice& device, ovCoreMeshDriver& driver, bool importMetadata,
                                           ovProgressNotifierInterface* progress, double maxExpansion,
                                           std::string documentFolder)
    : PlmXmlHandler(driver),
      mDevice(device),
      mImportMetadata(importMetadata),
      mProgress(progress),
      mMaxExpansion(maxExpansion),
      mDocumentFolder(std::move(documentFolder)) {}

bool PlmXmlDocumentReader::parse() {
    xml::ParseXmlStream(mDevice, *this, mProgress);
    if (mAborted || (mProgress && mProgress->isCanceled())) {
        return false;
    }
    if (!mDocumentElementRead) {
        mDriver.addErrorMessage("No PLMXML document element", kMessageCode);
        return false;
    }
    return true;
}

ovPointer<ovNode> PlmXmlDocumentReader::build(PlmXmlStructure structure) {
    // What an earlier build left on the records.
    mObjects.forEach([](PlmXmlObject& object) {
        object.visit = 0;
        object.definition = PlmXmlObject::kNone;
    });
    mProgressMade = PlmXmlProgress::NoStructure;
    const uint64_t budget = sceneBudget(mMaxExpansion, mDevice.bytesRead());
    TreeBuilder builder(*this, structure, mDriver, mImportMetadata, mProgress, budget, mDocumentFolder);
    ovPointer<ovNode> root = builder.build();
    if (builder.overBudget()) {
        mDriver.addErrorMessage(expansionRefusal(budget, mDevice.bytesRead(), mMaxExpansion), kMessageCode);
        return {};
    }
    return root;
}

ovVariantMapImpl PlmXmlDocumentReader::documentAttributes() {
    return toVariantMap(mDocumentAttributes, mAttributeNames.order());
}

PlmXmlObject* PlmXmlDocumentReader::find(std::string_view ref) {
    const std::string_view id = idOfRef(ref);
    return id.empty() ? nullptr : mObjects.find(id);
}

const TransformNumbers* PlmXmlDocumentReader::transformOf(const PlmXmlObject& object, bool& missing) {
    missing = false;
    if (object.transform != PlmXmlObject::kNone) {
        return &mTransforms[object.transform];
    }
    if (object.transformRef.empty()) {
        return nullptr;
    }
    if (mTransformIndex.empty()) {
        mTransformIndex.insert(mTransformIds.begin(), mTransformIds.end());
    }
    const auto found = mTransformIndex.find(idOfRef(object.transformRef));
    missing = found == mTransformIndex.end();
    return missing ? nullptr : &mTransforms[found->second];
}

int PlmXmlDocumentReader::startElement(std::string_view name, const xml::XmlAttributes& attributes) {
    if (mAborted) {
        return xml::Stop;
    }
    PlmXmlObject* const owner = mOwners.empty() ? nullptr : mOwners.back();
    mOwners.push_back(owner);
    if (name == "UserValue"sv) {
        if (owner && mImportMetadata) {
            readUserValue(attributes, mAttributeNames, owner->userValues, mTexts);
        }
    } else if (name == "Transform"sv) {
        startTransform(attributes);
    } else if (name == "AssociatedDataSet"sv) {
        readDataSetLink(attributes);
    } else if (name == "Material"sv) {
        // The colour a CAD system gives an occurrence.
        if (owner && owner->kind == PlmXmlObject::Occurrence && mImportMetadata) {
            readOwnedValue(attributes, "diffuse", "colour");
        }
    } else if (name == "Representation"sv || name == "CompoundRep"sv) {
        if (owner && owner->kind == PlmXmlObject::View && owner->location.empty()) {
            for (const auto& [key, value] : attributes) {
                if (key == "location"sv) {
                    owner->location = mTexts.add(value);
                } else if (key == "format"sv) {
                    owner->format = mTexts.add(value);
                }
            }
        }
    } else if (name == "ProductView"sv) {
        readRoots(attributes, "rootRefs", "primaryOccurrenceRef", mOccurrenceRoots);
    } else if (name == "InstanceGraph"sv) {
        readRoots(attributes, "rootRefs", "rootInstanceRef", mInstanceRoots);
    } else if (const ElementKind* object = mDocumentElementRead ? objectElement(name) : nullptr) {
        startObject(object->kind, attributes);
    } else if (isDocumentElement(name)) {
        return startDocumentElement(attributes);
    }
    return xml::Continue;
}

void PlmXmlDocumentReader::readOwnedValue(const xml::XmlAttributes& attributes, std::string_view key,
                                          std::string_view title) {
    for (const auto& [attribute, value] : attributes) {
        if (attribute == key) {
            mAttributeNames.set(mOwners.back()->userValues, title, mTexts.add(value));
        }
    }
}

// The roots a list names, or else the one root named alone.
void PlmXmlDocumentReader::readRoots(const xml::XmlAttributes& attributes, std::string_view listed,
                                     std::string_view single, std::vector<std::string_view>& roots) {
    std::vector<std::string_view> named;
    std::string_view alone;
    for (const auto& [key, value] : attributes) {
        if (key == listed) {
            splitAtSpaces(mTexts.add(value), named);
        } else if (key == single) {
            alone = mTexts.add(value);
        }
    }
    if (named.empty() && !alone.empty()) {
        named.push_back(alone);
    }
    roots.insert(roots.end(), named.begin(), named.end());
}

int PlmXmlDocumentReader::startDocumentElement(const xml::XmlAttributes& attributes) {
    const std::string version = readDocumentElement(attributes, mAttributeNames, mDocumentAttributes, mTexts);
    if (!isReadableVersion(version)) {
        abort("Unsupported plmxl schema version " + version);
        return xml::Stop;
    }
    mDocumentElementRead = true;
    return xml::Continue;
}

void PlmXmlDocumentReader::startObject(PlmXmlObject::Kind kind, const xml::XmlAttributes& attributes) {
    const std::string_view id = idOf(attributes);
    if (id.empty()) {
        return;
    }
    const auto [object, added] = mObjects.tryEmplace(mTexts.add(id));
    if (!added) {
        // What the element holds is not read either.
        mOwners.back() = nullptr;
        return;
    }
    object->kind = kind;
    readObjectAttributes(*object, attributes);
    mOwners.back() = object;
}

void PlmXmlDocumentReader::readObjectAttributes(PlmXmlObject& object, const xml::XmlAttributes& attributes) {
    struct Field {
        std::string_view attribute;
        std::string_view PlmXmlObject::*member;
        // Whether it is metadata of a revision or view (its definition's).
        bool described;
    };
    static constexpr Field kFields[] = {
        {"name", &PlmXmlObject::name, true},
        {"revision", &PlmXmlObject::revision, true},
        {"subType", &PlmXmlObject::subType, true},
        {"masterRef", &PlmXmlObject::masterRef, false},
        {"revisionRef", &PlmXmlObject::revisionRef, false},
        {"productId", &PlmXmlObject::productId, false},
        {"instancedRef", &PlmXmlObject::instancedRef, false},
        {"transformRef", &PlmXmlObject::transformRef, false},
        {"locationRef", &PlmXmlObject::location, false},
        {"format", &PlmXmlObject::format, false},
    };
    const bool placing = object.kind == PlmXmlObject::Occurrence || object.kind == PlmXmlObject::Instance;
    for (const auto& [key, value] : attributes) {
        if (key == "occurrenceRefs"sv || key == "memberRefs"sv) {
            splitAtSpaces(mTexts.add(value), object.refs);
        } else if (key == "instanceRefs"sv) {
            splitAtSpaces(mTexts.add(value),
                          object.kind == PlmXmlObject::Occurrence ? object.chain : object.refs);
        } else if (key == "partRef"sv) {
            // The older name of instancedRef, which wins when both are given.
            object.instancedRef = object.instancedRef.empty() ? mTexts.add(value) : object.instancedRef;
        } else if (placing && mImportMetadata &&
                   (key == "quantity"sv || (key == "visible"sv && value == "false"sv))) {
            mAttributeNames.set(object.userValues, key, mTexts.add(value));
        } else {
            const std::string_view name = key;
            const auto field =
                std::find_if(std::begin(kFields), std::end(kFields),
                             [name](const Field& candidate) { return candidate.attribute == name; });
            if (field == std::end(kFields)) {
                continue;
            }
            object.*(field->member) = mTexts.add(value);
            // An occurrence's own subType is not its revision's.
            if (field->described && (mImportMetadata || key == "name"sv) && !placing) {
                mAttributeNames.set(object.userValues, key, object.*(field->member));
            }
        }
    }
}

void PlmXmlDocumentReader::readDataSetLink(const xml::XmlAttributes& attributes) {
    PlmXmlObject* const owner = mOwners.back();
    if (!owner) {
        return;
    }
    std::pair<std::string_view, std::string_view> link;
    for (const auto& [key, value] : attributes) {
        if (key == "dataSetRef"sv) {
            link.first = mTexts.add(value);
        } else if (key == "role"sv) {
            link.second = mTexts.add(value);
        }
    }
    owner->dataSets.push_back(link);
}

// A Transform belongs to the occurrence or instance it is in, unless that
// has one already; any Transform with an id can be named by a transformRef.
void PlmXmlDocumentReader::startTransform(const xml::XmlAttributes& attributes) {
    PlmXmlObject* const owner = mOwners.back();
    const bool owned = owner && owner->transform == PlmXmlObject::kNone &&
                       (owner->kind == PlmXmlObject::Occurrence || owner->kind == PlmXmlObject::Instance);
    mTransformOwner = owned ? owner : nullptr;
    mTransformId = idOf(attributes);
    mTransformId = mTransformId.empty() ? mTransformId : mTexts.add(mTransformId);
    mInTransform = owned || !mTransformId.empty();
    if (mInTransform) {
        startText();
    }
}

bool PlmXmlDocumentReader::endElement(std::string_view name) {
    if (mAborted) {
        return false;
    }
    if (!mOwners.empty()) {
        mOwners.pop_back();
    }
    return name != "Transform"sv || !mInTransform || endTransform();
}

// A Transform that is not sixteen numbers ends the load when it places
// something; one that places nothing yet is only not kept.
bool PlmXmlDocumentReader::endTransform() {
    mInTransform = false;
    const std::string& text = endText();
    TransformNumbers numbers;
    if (!readTransformNumbers(text, numbers)) {
        if (mTransformOwner) {
            abort(transformFailure(text));
        }
        return !mTransformOwner;
    }
    const auto index = static_cast<uint32_t>(mTransforms.size());
    mTransforms.push_back(numbers);
    if (mTransformOwner) {
        mTransformOwner->transform = index;
        mTransformOwner = nullptr;
    }
    if (!mTransformId.empty()) {
        mTransformIds.emplace_back(mTransformId, index);
    }
    return true;
}

}  // namespace ov::plmxml
