#include "plmxml/PlmXmlScene.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/DriverLog.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "system/ovStringUtils.h"

namespace ov::plmxml {

namespace {

constexpr int kMessageCode = -1;
// Beyond any real document: the guard is off.
constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max() / 4;

// One name of an instance's attributes with its part's merged in, and its
// values: the instance's, then the part's where it differs (each record
// holds one value per name).
struct MergedEntry {
    uint32_t key;
    const PlmXmlAttribute* values[2];
    uint32_t count;

    bool holdsAlike(const MergedEntry& other) const {
        return key == other.key && count == other.count && values[0]->sameValue(*other.values[0]) &&
               (count == 1 || values[1]->sameValue(*other.values[1]));
    }
};

using MergedAttributes = std::vector<MergedEntry>;

// The instance's attributes with its part's merged in, in name order; both
// lists are settled.
void mergeAttributes(const PlmXmlInstance& instance, MergedAttributes& merged) {
    merged.clear();
    auto own = instance.attributes.begin();
    auto inherited = instance.part->attributes.begin();
    const auto ownEnd = instance.attributes.end();
    const auto inheritedEnd = instance.part->attributes.end();
    while (own != ownEnd || inherited != inheritedEnd) {
        if (inherited == inheritedEnd || (own != ownEnd && own->key < inherited->key)) {
            merged.push_back({own->key, {&*own, nullptr}, 1});
            ++own;
        } else if (own == ownEnd || inherited->key < own->key) {
            merged.push_back({inherited->key, {&*inherited, nullptr}, 1});
            ++inherited;
        } else {
            const bool differ = !own->sameValue(*inherited);
            merged.push_back({own->key, {&*own, differ ? &*inherited : nullptr}, differ ? 2U : 1U});
            ++own;
            ++inherited;
        }
    }
}

// Removes from common every name whose values the instance does not hold alike.
void keepSharedEntries(MergedAttributes& common, const MergedAttributes& instance) {
    auto theirs = instance.begin();
    std::erase_if(common, [&theirs, &instance](const MergedEntry& mine) {
        while (theirs != instance.end() && theirs->key < mine.key) {
            ++theirs;
        }
        return theirs == instance.end() || !theirs->holdsAlike(mine);
    });
}

// The entries of merged whose names common lacks.
void keepOwnEntries(MergedAttributes& merged, const MergedAttributes& common) {
    auto shared = common.begin();
    std::erase_if(merged, [&shared, &common](const MergedEntry& entry) {
        while (shared != common.end() && shared->key < entry.key) {
            ++shared;
        }
        return shared != common.end() && shared->key == entry.key;
    });
}

// The entries in a map of their own; in name order, so each lands at its end.
ovVariantMapImpl toMap(const MergedAttributes& entries, const std::vector<std::string_view>& names) {
    ovVariantMapImpl map;
    map.reserve(entries.size());
    for (const MergedEntry& entry : entries) {
        map.insert(names[entry.key], entry.values[0]->value());
        if (entry.count == 2) {
            map.multiInsert(names[entry.key], entry.values[1]->value(), false);
        }
    }
    return map;
}

// The estimated memory of the entries once in a map.
uint64_t bytesOf(const MergedAttributes& entries, const std::vector<std::string_view>& names) {
    uint64_t bytes = 0;
    for (const MergedEntry& entry : entries) {
        bytes += kEntryBytes + names[entry.key].size() + entry.values[0]->text.size();
        bytes += entry.count == 2 ? kEntryBytes + entry.values[1]->text.size() : 0;
    }
    return bytes;
}

void mergeEntry(const std::string& key, const ovVariant& value, ovVariantMapImpl& target) {
    const auto existing = target.find(key);
    if (existing == target.end()) {
        target.insert(key, value);
    } else if (existing->second != value) {
        target.multiInsert(key, value, false);
    }
}

void setNodeType(ovInstanceDefId& definition, std::string_view partType) {
    if (partType == "assembly") {
        definition.nodeType = ovInstanceDefId::Assembly;
    } else if (partType == "solid") {
        definition.nodeType = ovInstanceDefId::Solid;
    } else {
        logDiagnosticIn("plmxml", "Unhandled node type ", partType);
    }
}

// Records are walked in the order of the document. Where several fail the
// same step, the message is that of the one with the smallest id, the order
// in which the step is defined to look at them.
class SmallestIdFailure {
public:
    void note(std::string_view id, std::string message) {
        if (!mFound || id < mId) {
            mFound = true;
            mId = id;
            mMessage = std::move(message);
        }
    }
    bool found() const { return mFound; }
    const std::string& message() const { return mMessage; }

private:
    bool mFound = false;
    std::string mId;
    std::string mMessage;
};

// The instances of one name: they share a definition, set up from the
// instance with the smallest id.
struct InstanceGroup {
    std::string_view name;
    PlmXmlInstance* first;
};

// The failure message is kept, not reported: the caller decides whether it
// is the one the load ends with.
class Resolver {
public:
    Resolver(ovProgressNotifierInterface* progress, PlmXmlAttributeNames::Order order)
        : mProgress(progress), mOrder(std::move(order)) {}

    const std::string& failure() const { return mFailure; }

    // The estimate of the tree's memory is counted up to a little beyond cap.
    bool resolve(PlmXmlProductDef& productDef, uint64_t cap) {
        return findRoot(productDef) && linkInstancesToParts(productDef) && linkPartsToChildren(productDef) &&
               defineGroups(productDef) && checkStructure(productDef, cap);
    }

    // Once resolved: the definition the instance shares with those of its name.
    const ovPointer<ovInstanceDefId>& definitionOf(const PlmXmlInstance& instance) const {
        return mDefinitions[instance.group];
    }

    // Once resolved: the instance's attributes with its part's merged in,
    // less those its definition holds. Made only when its node is, so that a
    // large document never holds them all at once.
    ovVariantMapImpl ownMetadataOf(const PlmXmlInstance& instance) {
        mergeAttributes(instance, mMerged);
        keepOwnEntries(mMerged, mShared[instance.group]);
        return toMap(mMerged, mOrder.names);
    }

private:
    bool fail(const std::string& message) {
        mFailure = message;
        return false;
    }

    bool failWith(const SmallestIdFailure& failure) { return !failure.found() || fail(failure.message()); }

    bool canceled() const { return mProgress && mProgress->isCanceled(); }

    bool findRoot(PlmXmlProductDef& productDef) {
        productDef.rootInstance = productDef.instances.find(productDef.rootRef);
        return productDef.rootInstance || fail("fail to find root " + productDef.rootRef);
    }

    // Why the instance cannot be linked to its part; empty when it is.
    static std::string linkToPart(PlmXmlProductDef& productDef, PlmXmlInstance& instance) {
        const std::string_view ref = instance.partRef;
        if (ref.size() < 2 || ref.front() != '#') {
            return "Unexpected instance ref " + std::string(ref);
        }
        instance.part = productDef.parts.find(ref.substr(1));
        if (!instance.part) {
            return "fail to find part " + std::string(ref);
        }
        if (instance.name.empty()) {
            return "empty instance name";
        }
        if (instance.name != instance.part->name) {
            return "Unexpected part and instance name mismatch";
        }
        return {};
    }

    // Links every record in document order (its attributes settled on the
    // way, while it is in the cache); link answers why a record cannot be
    // linked, empty when it can.
    template <typename Record, typename Link>
    bool linkEach(PlmXmlRecordTable<Record>& records, Link&& link) {
        SmallestIdFailure failure;
        for (size_t index = 0; index < records.size(); ++index) {
            if (canceled()) {
                return false;
            }
            Record& record = records[index];
            settle(record.attributes, mOrder);
            std::string problem = link(record);
            if (!problem.empty()) {
                failure.note(record.id, std::move(problem));
            }
        }
        return failWith(failure);
    }

    bool linkInstancesToParts(PlmXmlProductDef& productDef) {
        return linkEach(productDef.instances,
                        [&productDef](PlmXmlInstance& instance) { return linkToPart(productDef, instance); });
    }

    // Why the part's children cannot be linked; empty when they are.
    static std::string linkChildren(PlmXmlProductDef& productDef, PlmXmlPart& part) {
        if (!part.location.empty() && !part.instanceRefs.empty()) {
            return "Weird part " + std::string(part.id);
        }
        part.children.reserve(part.instanceRefs.size());
        for (const std::string_view childId : part.instanceRefs) {
            PlmXmlInstance* child = productDef.instances.find(childId);
            if (!child) {
                return "fail to find instance " + std::string(childId);
            }
            part.children.push_back(child);
        }
        return {};
    }

    bool linkPartsToChildren(PlmXmlProductDef& productDef) {
        return linkEach(productDef.parts,
                        [&productDef](PlmXmlPart& part) { return linkChildren(productDef, part); });
    }

    static std::vector<size_t> inNameOrder(const std::vector<InstanceGroup>& groups) {
        std::vector<size_t> order(groups.size());
        for (size_t group = 0; group < groups.size(); ++group) {
            order[group] = group;
        }
        std::sort(order.begin(), order.end(),
                  [&groups](size_t left, size_t right) { return groups[left].name < groups[right].name; });
        return order;
    }

    // One definition per name, made in name order: its type comes from the
    // instance with the smallest id, its metadata from what every instance of
    // the name holds alike (its attributes with its part's merged in).
    bool defineGroups(PlmXmlProductDef& productDef) {
        std::vector<InstanceGroup> groups;
        std::unordered_map<std::string_view, uint32_t> groupNamed;
        for (size_t index = 0; index < productDef.instances.size(); ++index) {
            PlmXmlInstance& instance = productDef.instances[index];
            mergeAttributes(instance, mMerged);
            instance.metadataBytes = bytesOf(mMerged, mOrder.names);
            const auto [entry, added] =
                groupNamed.try_emplace(instance.name, static_cast<uint32_t>(groups.size()));
            instance.group = entry->second;
            if (added) {
                groups.push_back({instance.name, &instance});
                mShared.push_back(mMerged);
                continue;
            }
            if (instance.id < groups[instance.group].first->id) {
                groups[instance.group].first = &instance;
            }
            keepSharedEntries(mShared[instance.group], mMerged);
        }
        mDefinitions.resize(groups.size());
        mSharedBytes.resize(groups.size());
        for (size_t group : inNameOrder(groups)) {
            if (canceled()) {
                return false;
            }
            ovInstanceDefId* definition = new ovInstanceDefId;
            mDefinitions[group] = definition;
            definition->SetName(std::string(groups[group].name));
            setNodeType(*definition, groups[group].first->part->type);
            definition->editComponentMd() = toMap(mShared[group], mOrder.names);
            mSharedBytes[group] = bytesOf(mShared[group], mOrder.names);
        }
        return true;
    }

    // The estimated memory of the instance's node: what its definition holds
    // is not copied into it.
    uint64_t nodeBytes(const PlmXmlInstance& instance) const {
        return kNodeBytes + instance.metadataBytes - mSharedBytes[instance.group];
    }

    // Walks the structure below the root once, without recursion, estimating
    // the memory each instance's nodes will take with everything under them:
    // an instance met again while its own subtree is still being walked
    // contains itself.
    bool checkStructure(PlmXmlProductDef& productDef, uint64_t cap) {
        constexpr uint64_t kOnPath = std::numeric_limits<uint64_t>::max();
        struct Frame {
            PlmXmlInstance* instance;
            size_t nextChild;
        };
        productDef.rootInstance->subtreeBytes = kOnPath;
        std::vector<Frame> path{{productDef.rootInstance, 0}};
        while (!path.empty()) {
            Frame& frame = path.back();
            const std::vector<PlmXmlInstance*>& children = frame.instance->part->children;
            if (frame.nextChild < children.size()) {
                PlmXmlInstance* child = children[frame.nextChild++];
                if (child->subtreeBytes == 0) {
                    child->subtreeBytes = kOnPath;
                    path.push_back({child, 0});
                } else if (child->subtreeBytes == kOnPath) {
                    return fail("Instance " + std::string(child->name) + " (id " + std::string(child->id) +
                                ") contains itself");
                }
                continue;
            }
            uint64_t bytes = std::min(nodeBytes(*frame.instance), cap + 1);
            for (const PlmXmlInstance* child : children) {
                bytes = std::min(bytes + child->subtreeBytes, cap + 1);
            }
            frame.instance->subtreeBytes = bytes;
            path.pop_back();
        }
        return true;
    }

    ovProgressNotifierInterface* mProgress;
    const PlmXmlAttributeNames::Order mOrder;
    std::string mFailure;
    // By group of instances of one name: what they hold alike, and their definition.
    std::vector<MergedAttributes> mShared;
    std::vector<ovPointer<ovInstanceDefId>> mDefinitions;
    // By group: the estimated memory of what they hold alike.
    std::vector<uint64_t> mSharedBytes;
    MergedAttributes mMerged;
};

ovPointer<ovNode> makeInstanceNode(PlmXmlInstance& instance, Resolver& resolver) {
    ovPointer<ovNode> node;
    if (instance.part->location.empty()) {
        node = new ovNode;
    } else {
        auto* reference = new ovXRefNode;
        reference->setUtf8FilePath(std::string(instance.part->location));
        node = reference;
    }
    node->SetName(std::string(instance.name));
    node->editLocalTransform(true) = instance.transform;
    // An instance's first node takes its definition and makes its metadata;
    // any further one (the instance sits under a part used more than once)
    // copies the first one's.
    const ovInstanceMetaData* const first = instance.firstMetadata;
    if (!first) {
        instance.definition = resolver.definitionOf(instance);
    }
    auto* metadata = new ovInstanceMetaData(instance.definition.get());
    metadata->editMd() = first ? first->getMd() : resolver.ownMetadataOf(instance);
    instance.firstMetadata = first ? first : metadata;
    node->setMetadata(metadata);
    return node;
}

// Depth first from a work list: each node is attached to its parent as it is
// made, and children are taken in order because they are pushed in reverse.
ovPointer<ovNode> buildInstanceTree(PlmXmlInstance& root, Resolver& resolver,
                                    ovProgressNotifierInterface* progress) {
    struct Pending {
        PlmXmlInstance* instance;
        ovNode* parent;
    };
    std::vector<Pending> pending{{&root, nullptr}};
    ovPointer<ovNode> tree;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (progress && progress->isCanceled()) {
            return {};
        }
        const ovPointer<ovNode> node = makeInstanceNode(*next.instance, resolver);
        if (next.parent) {
            next.parent->attachChild(node.get());
        } else {
            tree = node;
        }
        if (!node->IsDerived(ovXRefNode::TYPE)) {
            const std::vector<PlmXmlInstance*>& children = next.instance->part->children;
            for (auto child = children.rbegin(); child != children.rend(); ++child) {
                pending.push_back({*child, node.get()});
            }
        }
    }
    return tree;
}

}  // namespace

uint64_t sceneBudget(double maxExpansion, uint64_t documentBytes) {
    const double allowed = maxExpansion * static_cast<double>(documentBytes);
    if (!(allowed > static_cast<double>(ovPlmXmlMeshDriver::kMinSceneBudget))) {
        return ovPlmXmlMeshDriver::kMinSceneBudget;
    }
    return allowed < static_cast<double>(kUnlimited) ? static_cast<uint64_t>(allowed) : kUnlimited;
}

std::string expansionRefusal(uint64_t allowed, uint64_t documentBytes, double maxExpansion) {
    constexpr double kBytesPerMegabyte = 1e6;
    auto megabytes = [](uint64_t bytes, int decimals) {
        return ovStringUtils::fromFloat(static_cast<double>(bytes) / kBytesPerMegabyte, decimals,
                                        ovStringUtils::Fixed);
    };
    return "The product structure would take more than " + megabytes(allowed, 1) +
           " MB as a scene, the most allowed for " + std::to_string(documentBytes) + " bytes of document (" +
           ovStringUtils::fromFloat(maxExpansion, 6, ovStringUtils::General) +
           " times their size, at least " + megabytes(ovPlmXmlMeshDriver::kMinSceneBudget, 0) +
           " MB); ovPlmXmlMeshDriver::setMaxExpansion raises it";
}

PlmXmlSceneBuilder::PlmXmlSceneBuilder(ovProgressNotifierInterface* progress, double maxExpansion)
    : mProgress(progress), mMaxExpansion(maxExpansion) {}

PlmXmlSceneBuilder::~PlmXmlSceneBuilder() = default;

void PlmXmlSceneBuilder::addProductDef(PlmXmlProductDef& productDef, const PlmXmlAttributeNames& names,
                                       uint64_t documentBytes) {
    ++mProductDefCount;
    if (mFailed) {
        return;
    }
    const uint64_t allowed = sceneBudget(mMaxExpansion, documentBytes);
    const uint64_t left = allowed - std::min(allowed, mSceneBytes);
    Resolver resolver(mProgress, names.order());
    mFailed = true;
    mRootNamed = mRootNamed || !productDef.rootRef.empty();
    const bool resolved = resolver.resolve(productDef, left);
    mRootFound = mRootFound || productDef.rootInstance;
    if (!resolved) {
        mFailure = resolver.failure();
        return;
    }
    if (productDef.rootInstance->subtreeBytes > left) {
        mFailure = expansionRefusal(allowed, documentBytes, mMaxExpansion);
        return;
    }
    mSceneBytes += productDef.rootInstance->subtreeBytes;
    const ovPointer<ovNode> tree = buildInstanceTree(*productDef.rootInstance, resolver, mProgress);
    mFailed = !tree;
    mTrees.push_back(tree);
}

bool PlmXmlSceneBuilder::succeeded(ovCoreMeshDriver& driver) const {
    if (mFailed && !mFailure.empty()) {
        driver.addErrorMessage(mFailure, kMessageCode);
    }
    return !mFailed;
}

ovPointer<ovNode> PlmXmlSceneBuilder::takeRoot() {
    if (mTrees.size() == 1) {
        return mTrees.front();
    }
    const ovPointer<ovNode> group(new ovNode);
    for (const ovPointer<ovNode>& tree : mTrees) {
        group->attachChild(tree.get());
    }
    mTrees.clear();
    return group;
}

void mergeVariantMaps(const ovVariantMapImpl& source, ovVariantMapImpl& target) {
    // Built afresh in key order, each entry landing at the end: merging large
    // maps then costs a walk over both, not an insertion into the middle per
    // entry. Under a key both hold, the target's values come first; they are
    // moved, not copied (a value may be a text of many megabytes).
    ovVariantMapImpl merged;
    merged.reserve(source.size() + target.size());
    auto from = source.begin();
    auto into = target.begin();
    while (from != source.end() || into != target.end()) {
        if (from == source.end() || (into != target.end() && into->first <= from->first)) {
            merged.multiInsert(into->first, ovVariant(), true);
            std::prev(merged.end())->second = std::move(into->second);
            ++into;
        } else {
            mergeEntry(from->first, from->second, merged);
            ++from;
        }
    }
    target = std::move(merged);
}

}  // namespace ov::plmxml
