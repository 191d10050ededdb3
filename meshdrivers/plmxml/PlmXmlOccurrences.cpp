#include "plmxml/PlmXmlOccurrences.h"

#include <algorithm>
#include <cmath>

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

// The elements read as objects: occurrences, what they place (revisions,
// views of them, v4 parts), products, data sets and their files.
bool isObjectElement(std::string_view name) {
    constexpr std::string_view kNames[] = {
        "Occurrence", "ProductRevisionView", "ProductRevision", "ConnectionRevision",
        "Product",    "Connection",          "DataSet",         "ExternalFile",
        "Part"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
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

// The placement of child in parent's frame, both given in the root's:
// inverse(parent) then child. The rotations are orthonormal, so the inverse
// is the transpose.
TransformNumbers relativePlacement(const TransformNumbers& parent, const TransformNumbers& child) {
    TransformNumbers local{};
    for (size_t row = 0; row < 3; ++row) {
        for (size_t column = 0; column < 3; ++column) {
            double sum = 0;
            for (size_t k = 0; k < 3; ++k) {
                sum += rotationAt(parent, k, row) * rotationAt(child, k, column);
            }
            local[column * 4 + row] = sum;
        }
        double offset = 0;
        for (size_t k = 0; k < 3; ++k) {
            offset += rotationAt(parent, k, row) * (child[12 + k] - parent[12 + k]);
        }
        local[12 + row] = offset;
    }
    local[15] = 1;
    return local;
}

bool isFiniteInMillimetres(const ovTransformation& transform) {
    const Wm4::Vector3<float>& offset = transform.GetTranslate();
    return std::isfinite(offset[0]) && std::isfinite(offset[1]) && std::isfinite(offset[2]);
}

struct DataFile {
    std::string path;
    std::string_view format;
    bool rendering;
};

// The scene of the occurrence tree, built depth first without recursion.
class OccurrenceTreeBuilder {
public:
    OccurrenceTreeBuilder(PlmXmlOccurrenceReader& reader, ovCoreMeshDriver& driver, bool importMetadata,
                          ovProgressNotifierInterface* progress, uint64_t budget,
                          const std::string& documentFolder)
        : mReader(reader),
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
        PlmXmlObject* occurrence;
        ovNode* node;
        TransformNumbers world;
        size_t nextChild;
    };

    bool canceled() const { return mProgress && mProgress->isCanceled(); }
    void warn(const std::string& text);
    bool fail(const std::string& text);
    ovPointer<ovNode> buildTree(PlmXmlObject& root);
    // Adds the child of the top frame that comes next; false when the load fails.
    bool addNextChild(std::vector<Frame>& path);
    PlmXmlObject* revisionOf(const PlmXmlObject& occurrence);
    TransformNumbers worldOf(const PlmXmlObject& occurrence);
    ovPointer<ovNode> makeNode(PlmXmlObject& occurrence, PlmXmlObject& revision,
                               const TransformNumbers& parent, TransformNumbers& world);
    // Null when the scene would outgrow its budget.
    ovInstanceDefId* definitionOf(PlmXmlObject& revision, bool assembly);
    std::vector<DataFile> dataFilesOf(const PlmXmlObject& revision);
    std::string resolved(std::string_view location) const;
    uint64_t bytesOf(const PlmXmlAttributeList& list) const;

    PlmXmlOccurrenceReader& mReader;
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

void OccurrenceTreeBuilder::warn(const std::string& text) {
    if (++mWarnings <= kMaxWarnings) {
        mDriver.addErrorMessage("W: " + text, kMessageCode);
    }
}

bool OccurrenceTreeBuilder::fail(const std::string& text) {
    mDriver.addErrorMessage(text, kMessageCode);
    mFailed = true;
    return false;
}

ovPointer<ovNode> OccurrenceTreeBuilder::build() {
    if (mReader.roots().empty()) {
        fail("No ProductView names a root occurrence");
        return {};
    }
    std::vector<ovPointer<ovNode>> trees;
    for (const std::string_view rootId : mReader.roots()) {
        PlmXmlObject* root = mReader.find(rootId);
        if (!root || root->kind != PlmXmlObject::Occurrence) {
            warn("The root occurrence " + std::string(rootId) + " is not in the document; skipped");
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
        fail("No root occurrence could be read");
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

ovPointer<ovNode> OccurrenceTreeBuilder::buildTree(PlmXmlObject& root) {
    root.visit = Done;
    PlmXmlObject* revision = revisionOf(root);
    if (!revision) {
        return {};
    }
    std::vector<Frame> path(1);
    const ovPointer<ovNode> tree = makeNode(root, *revision, kIdentity, path[0].world);
    if (!tree) {
        return {};
    }
    root.visit = OnPath;
    path[0] = {&root, tree.get(), path[0].world, 0};
    while (!path.empty()) {
        if (canceled()) {
            return {};
        }
        Frame& frame = path.back();
        if (frame.nextChild == frame.occurrence->refs.size()) {
            frame.occurrence->visit = Done;
            path.pop_back();
        } else if (!addNextChild(path)) {
            return {};
        }
    }
    return tree;
}

bool OccurrenceTreeBuilder::addNextChild(std::vector<Frame>& path) {
    Frame& frame = path.back();
    const std::string_view childId = frame.occurrence->refs[frame.nextChild++];
    const std::string parentId(frame.occurrence->id);
    PlmXmlObject* child = mReader.find(childId);
    if (!child || child->kind != PlmXmlObject::Occurrence) {
        warn("Occurrence " + parentId + " lists " + std::string(childId) +
             ", which is no occurrence; skipped");
        return true;
    }
    if (child->visit == OnPath) {
        return fail("Occurrence " + std::string(child->id) + " contains itself");
    }
    if (child->visit == Done) {
        warn("Occurrence " + std::string(child->id) + " is listed again under " + parentId + "; skipped");
        return true;
    }
    child->visit = Done;
    PlmXmlObject* revision = revisionOf(*child);
    if (!revision) {
        return true;
    }
    TransformNumbers world;
    const ovPointer<ovNode> node = makeNode(*child, *revision, frame.world, world);
    if (!node) {
        return false;
    }
    frame.node->attachChild(node.get());
    child->visit = OnPath;
    path.push_back({child, node.get(), world, 0});
    return true;
}

PlmXmlObject* OccurrenceTreeBuilder::revisionOf(const PlmXmlObject& occurrence) {
    PlmXmlObject* placed = mReader.find(occurrence.instancedRef);
    // A revision view stands for the revision it shows.
    if (placed && !placed->revisionRef.empty()) {
        placed = mReader.find(placed->revisionRef);
    }
    if (!placed || placed->name.empty() || placed->kind == PlmXmlObject::Occurrence) {
        warn("Occurrence " + std::string(occurrence.id) + " places " + std::string(occurrence.instancedRef) +
             ", which is no named product revision; skipped");
        return nullptr;
    }
    return placed;
}

TransformNumbers OccurrenceTreeBuilder::worldOf(const PlmXmlObject& occurrence) {
    const TransformNumbers* numbers = mReader.transformOf(occurrence);
    if (!numbers) {
        return kIdentity;
    }
    if (isRotation(*numbers)) {
        return *numbers;
    }
    warn("Invalid rotation for occurrence " + std::string(occurrence.id) + "; taken unturned");
    TransformNumbers unturned = kIdentity;
    std::copy(numbers->begin() + 12, numbers->begin() + 15, unturned.begin() + 12);
    return unturned;
}

ovPointer<ovNode> OccurrenceTreeBuilder::makeNode(PlmXmlObject& occurrence, PlmXmlObject& revision,
                                                  const TransformNumbers& parent, TransformNumbers& world) {
    const bool leaf = occurrence.refs.empty();
    ovInstanceDefId* definition = definitionOf(revision, !leaf);
    if (!definition) {
        return {};
    }
    ovPointer<ovNode> node;
    const std::string& file = mChosenFiles[revision.definition];
    if (leaf && !file.empty()) {
        auto* reference = new ovXRefNode;
        reference->setUtf8FilePath(file);
        node = reference;
    } else {
        node = new ovNode;
    }
    node->SetName(std::string(revision.name));
    world = worldOf(occurrence);
    ovTransformation& placement = node->editLocalTransform(true);
    setPlacement(placement, relativePlacement(parent, world));
    if (!isFiniteInMillimetres(placement)) {
        fail("The placement of occurrence " + std::string(occurrence.id) + " is out of range");
        return {};
    }
    auto* metadata = new ovInstanceMetaData(definition);
    node->setMetadata(metadata);
    mSceneBytes += kNodeBytes + bytesOf(occurrence.userValues);
    if (overBudget()) {
        return {};
    }
    if (mImportMetadata) {
        metadata->editMd() = toVariantMap(occurrence.userValues, mOrder);
    }
    return node;
}

ovInstanceDefId* OccurrenceTreeBuilder::definitionOf(PlmXmlObject& revision, bool assembly) {
    if (revision.definition != PlmXmlObject::kNone) {
        return mDefinitions[revision.definition].get();
    }
    const std::vector<DataFile> files = dataFilesOf(revision);
    if (overBudget()) {
        return nullptr;
    }
    // The rendering (a viewable file) is preferred; else the first file listed.
    const auto chosen =
        std::find_if(files.begin(), files.end(), [](const DataFile& file) { return file.rendering; });
    const auto used = chosen != files.end() ? chosen : files.begin();
    revision.definition = static_cast<uint32_t>(mDefinitions.size());
    mChosenFiles.push_back(used != files.end() ? used->path : std::string());
    ovInstanceDefId* definition = mDefinitions.emplace_back(new ovInstanceDefId).get();
    definition->SetName(std::string(revision.name));
    definition->nodeType = assembly ? ovInstanceDefId::Assembly : ovInstanceDefId::Solid;
    mSceneBytes += kNodeBytes + bytesOf(revision.userValues);
    ovVariantMapImpl& shared = definition->editComponentMd();
    shared = toVariantMap(revision.userValues, mOrder);
    if (!mImportMetadata) {
        return definition;
    }
    const PlmXmlObject* product = mReader.find(revision.masterRef);
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

// The external files of the revision's data sets, in the order listed. The
// estimate of the scene's memory counts each: data sets shared by many
// revisions could otherwise multiply a small document's file lists.
std::vector<DataFile> OccurrenceTreeBuilder::dataFilesOf(const PlmXmlObject& revision) {
    std::vector<DataFile> files;
    for (const auto& [dataSetRef, role] : revision.dataSets) {
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
std::string OccurrenceTreeBuilder::resolved(std::string_view location) const {
    std::string path(location);
    std::replace(path.begin(), path.end(), '\\', '/');
    const bool absolute = path.front() == '/' || (path.size() > 1 && path[1] == ':');
    return absolute ? path : ovDirUtils::JoinPath(mDocumentFolder, path);
}

uint64_t OccurrenceTreeBuilder::bytesOf(const PlmXmlAttributeList& list) const {
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

PlmXmlOccurrenceReader::PlmXmlOccurrenceReader(ovIoDevice& device, ovCoreMeshDriver& driver,
                                               bool importMetadata, ovProgressNotifierInterface* progress,
                                               double maxExpansion, std::string documentFolder)
    : PlmXmlHandler(driver),
      mDevice(device),
      mImportMetadata(importMetadata),
      mProgress(progress),
      mMaxExpansion(maxExpansion),
      mDocumentFolder(std::move(documentFolder)) {}

ovPointer<ovNode> PlmXmlOccurrenceReader::load() {
    xml::ParseXmlStream(mDevice, *this, mProgress);
    if (mAborted || (mProgress && mProgress->isCanceled())) {
        return {};
    }
    if (!mDocumentElementRead) {
        mDriver.addErrorMessage("No PLMXML document element", kMessageCode);
        return {};
    }
    const uint64_t budget = sceneBudget(mMaxExpansion, mDevice.bytesRead());
    OccurrenceTreeBuilder builder(*this, mDriver, mImportMetadata, mProgress, budget, mDocumentFolder);
    ovPointer<ovNode> root = builder.build();
    if (builder.overBudget()) {
        mDriver.addErrorMessage(expansionRefusal(budget, mDevice.bytesRead(), mMaxExpansion), kMessageCode);
        return {};
    }
    return root;
}

ovVariantMapImpl PlmXmlOccurrenceReader::documentAttributes() {
    return toVariantMap(mDocumentAttributes, mAttributeNames.order());
}

PlmXmlObject* PlmXmlOccurrenceReader::find(std::string_view ref) {
    const std::string_view id = idOfRef(ref);
    return id.empty() ? nullptr : mObjects.find(id);
}

const TransformNumbers* PlmXmlOccurrenceReader::transformOf(const PlmXmlObject& occurrence) const {
    return occurrence.transform == PlmXmlObject::kNone ? nullptr : &mTransforms[occurrence.transform];
}

int PlmXmlOccurrenceReader::startElement(std::string_view name, const xml::XmlAttributes& attributes) {
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
        if (owner && owner->kind == PlmXmlObject::Occurrence && owner->transform == PlmXmlObject::kNone) {
            mTransformOwner = owner;
            startText();
        }
    } else if (name == "AssociatedDataSet"sv) {
        readDataSetLink(attributes);
    } else if (name == "ProductView"sv) {
        for (const auto& [key, value] : attributes) {
            if (key == "rootRefs"sv) {
                std::vector<std::string_view> roots;
                splitAtSpaces(mTexts.add(value), roots);
                mRoots.insert(mRoots.end(), roots.begin(), roots.end());
            }
        }
    } else if (mDocumentElementRead && isObjectElement(name)) {
        startObject(name, attributes);
    } else if (isDocumentElement(name)) {
        return startDocumentElement(attributes);
    }
    return xml::Continue;
}

int PlmXmlOccurrenceReader::startDocumentElement(const xml::XmlAttributes& attributes) {
    const std::string version = readDocumentElement(attributes, mAttributeNames, mDocumentAttributes, mTexts);
    if (!isReadableVersion(version)) {
        abort("Unsupported plmxl schema version " + version);
        return xml::Stop;
    }
    mDocumentElementRead = true;
    return xml::Continue;
}

void PlmXmlOccurrenceReader::startObject(std::string_view element, const xml::XmlAttributes& attributes) {
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
    object->kind = element == "Occurrence"sv ? PlmXmlObject::Occurrence : PlmXmlObject::Other;
    readObjectAttributes(*object, attributes);
    mOwners.back() = object;
}

void PlmXmlOccurrenceReader::readObjectAttributes(PlmXmlObject& object,
                                                  const xml::XmlAttributes& attributes) {
    struct Field {
        std::string_view attribute;
        std::string_view PlmXmlObject::*member;
        // Whether it is metadata of the object (its definition's, for a revision).
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
        {"locationRef", &PlmXmlObject::location, false},
        {"format", &PlmXmlObject::format, false},
    };
    for (const auto& [key, value] : attributes) {
        if (key == "occurrenceRefs"sv || key == "memberRefs"sv) {
            splitAtSpaces(mTexts.add(value), object.refs);
            continue;
        }
        const std::string_view name = key;
        const auto field =
            std::find_if(std::begin(kFields), std::end(kFields),
                         [name](const Field& candidate) { return candidate.attribute == name; });
        if (field == std::end(kFields)) {
            continue;
        }
        object.*(field->member) = mTexts.add(value);
        // An occurrence's own subType is not its revision's.
        if (field->described && (mImportMetadata || key == "name"sv) &&
            object.kind != PlmXmlObject::Occurrence) {
            mAttributeNames.set(object.userValues, key, object.*(field->member));
        }
    }
}

void PlmXmlOccurrenceReader::readDataSetLink(const xml::XmlAttributes& attributes) {
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

bool PlmXmlOccurrenceReader::endElement(std::string_view name) {
    if (mAborted) {
        return false;
    }
    if (!mOwners.empty()) {
        mOwners.pop_back();
    }
    return name != "Transform"sv || !mTransformOwner || endTransform();
}

bool PlmXmlOccurrenceReader::endTransform() {
    const std::string& text = endText();
    TransformNumbers numbers;
    if (!readTransformNumbers(text, numbers)) {
        abort(transformFailure(text));
        return false;
    }
    mTransformOwner->transform = static_cast<uint32_t>(mTransforms.size());
    mTransforms.push_back(numbers);
    mTransformOwner = nullptr;
    return true;
}

}  // namespace ov::plmxml
