#include "plmxml/PlmXmlScene.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "plmxml/PlmXmlLog.h"

namespace ov::plmxml {

namespace {

constexpr int kMessageCode = -1;

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

void mergeEntry(const std::string& key, const ovVariant& value, ovVariantMapImpl& target) {
    const auto existing = target.find(key);
    if (existing == target.end()) {
        target.insert(key, value);
    } else if (existing->second != value) {
        target.multiInsert(key, value, false);
    }
}

void setNodeType(ovInstanceDefId& definition, const std::string& partType) {
    if (partType == "assembly") {
        definition.nodeType = ovInstanceDefId::Assembly;
    } else if (partType == "solid") {
        definition.nodeType = ovInstanceDefId::Solid;
    } else {
        logDiagnostic("Unhandled node type ", partType);
    }
}

// Records are walked in the order of the document. Where several fail the
// same step, the message is that of the one with the smallest id, the order
// in which the step is defined to look at them.
class SmallestIdFailure {
public:
    void note(const std::string& id, std::string message) {
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
    explicit Resolver(ovProgressNotifierInterface* progress) : mProgress(progress) {}

    const std::string& failure() const { return mFailure; }

    bool resolve(PlmXmlProductDef& productDef, const PlmXmlAttributeNames::Order& order) {
        return findRoot(productDef) && linkInstancesToParts(productDef) && linkPartsToChildren(productDef) &&
               defineGroups(productDef, order) && checkStructure(productDef);
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
        const std::string& ref = instance.partRef;
        if (ref.size() < 2 || ref.front() != '#') {
            return "Unexpected instance ref " + ref;
        }
        instance.part = productDef.parts.find(std::string_view(ref).substr(1));
        if (!instance.part) {
            return "fail to find part " + ref;
        }
        if (instance.name.empty()) {
            return "empty instance name";
        }
        if (instance.name != instance.part->name) {
            return "Unexpected part and instance name mismatch";
        }
        return {};
    }

    bool linkInstancesToParts(PlmXmlProductDef& productDef) {
        SmallestIdFailure failure;
        for (size_t index = 0; index < productDef.instances.size(); ++index) {
            if (canceled()) {
                return false;
            }
            PlmXmlInstance& instance = productDef.instances[index];
            std::string problem = linkToPart(productDef, instance);
            if (!problem.empty()) {
                failure.note(instance.id, std::move(problem));
            }
        }
        return failWith(failure);
    }

    // Why the part's children cannot be linked; empty when they are.
    static std::string linkChildren(PlmXmlProductDef& productDef, PlmXmlPart& part) {
        if (!part.location.empty() && !part.instanceRefs.empty()) {
            return "Weird part " + part.id;
        }
        part.children.reserve(part.instanceRefs.size());
        for (const std::string& childId : part.instanceRefs) {
            PlmXmlInstance* child = productDef.instances.find(childId);
            if (!child) {
                return "fail to find instance " + childId;
            }
            part.children.push_back(child);
        }
        return {};
    }

    bool linkPartsToChildren(PlmXmlProductDef& productDef) {
        SmallestIdFailure failure;
        for (size_t index = 0; index < productDef.parts.size(); ++index) {
            if (canceled()) {
                return false;
            }
            PlmXmlPart& part = productDef.parts[index];
            std::string problem = linkChildren(productDef, part);
            if (!problem.empty()) {
                failure.note(part.id, std::move(problem));
            }
        }
        return failWith(failure);
    }

    // The groups of instances by name, in the order their names first
    // appear; groupOf receives each instance's group.
    static std::vector<InstanceGroup> groupByName(PlmXmlProductDef& productDef,
                                                  std::vector<size_t>& groupOf) {
        std::vector<InstanceGroup> groups;
        std::unordered_map<std::string_view, size_t> groupNamed;
        groupOf.resize(productDef.instances.size());
        for (size_t index = 0; index < productDef.instances.size(); ++index) {
            PlmXmlInstance& instance = productDef.instances[index];
            const auto [entry, added] = groupNamed.try_emplace(instance.name, groups.size());
            if (added) {
                groups.push_back({instance.name, &instance});
            } else if (instance.id < groups[entry->second].first->id) {
                groups[entry->second].first = &instance;
            }
            groupOf[index] = entry->second;
        }
        return groups;
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

    // The definitions, made in name order, are set up from their first
    // instances and narrowed down by every instance in turn; an instance's
    // merged attributes are made only while it is looked at, so that a large
    // document never holds them all at once. The records' own lists are
    // emptied at the end.
    bool defineGroups(PlmXmlProductDef& productDef, const PlmXmlAttributeNames::Order& order) {
        productDef.parts.forEach([&order](PlmXmlPart& part) { settle(part.attributes, order); });
        productDef.instances.forEach(
            [&order](PlmXmlInstance& instance) { settle(instance.attributes, order); });
        std::vector<size_t> groupOf;
        const std::vector<InstanceGroup> groups = groupByName(productDef, groupOf);
        std::vector<MergedAttributes> common(groups.size());
        for (size_t group = 0; group < groups.size(); ++group) {
            mergeAttributes(*groups[group].first, common[group]);
        }
        MergedAttributes merged;
        for (size_t index = 0; index < productDef.instances.size(); ++index) {
            mergeAttributes(productDef.instances[index], merged);
            keepSharedEntries(common[groupOf[index]], merged);
        }
        std::vector<ovPointer<ovInstanceDefId>> definitions(groups.size());
        for (size_t group : inNameOrder(groups)) {
            if (canceled()) {
                return false;
            }
            definitions[group] = new ovInstanceDefId;
            definitions[group]->SetName(std::string(groups[group].name));
            setNodeType(*definitions[group], groups[group].first->part->type);
            definitions[group]->editComponentMd() = toMap(common[group], order.names);
        }
        for (size_t index = 0; index < productDef.instances.size(); ++index) {
            PlmXmlInstance& instance = productDef.instances[index];
            mergeAttributes(instance, merged);
            keepOwnEntries(merged, common[groupOf[index]]);
            instance.metadata = toMap(merged, order.names);
            instance.definition = definitions[groupOf[index]];
        }
        productDef.parts.forEach([](PlmXmlPart& part) { part.attributes.clear(); });
        productDef.instances.forEach([](PlmXmlInstance& instance) { instance.attributes.clear(); });
        return true;
    }

    // Walks the structure below the root once, without recursion, counting
    // the nodes each instance will become: an instance met again while its
    // own subtree is still being walked contains itself.
    bool checkStructure(PlmXmlProductDef& productDef) {
        constexpr uint64_t kOnPath = std::numeric_limits<uint64_t>::max();
        struct Frame {
            PlmXmlInstance* instance;
            size_t nextChild;
        };
        productDef.rootInstance->subtreeNodes = kOnPath;
        std::vector<Frame> path{{productDef.rootInstance, 0}};
        while (!path.empty()) {
            Frame& frame = path.back();
            const std::vector<PlmXmlInstance*>& children = frame.instance->part->children;
            if (frame.nextChild < children.size()) {
                PlmXmlInstance* child = children[frame.nextChild++];
                if (child->subtreeNodes == 0) {
                    child->subtreeNodes = kOnPath;
                    path.push_back({child, 0});
                } else if (child->subtreeNodes == kOnPath) {
                    return fail("Instance " + child->name + " (id " + child->id + ") contains itself");
                }
                continue;
            }
            uint64_t count = 1;
            for (const PlmXmlInstance* child : children) {
                count = std::min(count + child->subtreeNodes, kMaxSceneNodes + 1);
            }
            frame.instance->subtreeNodes = count;
            path.pop_back();
        }
        if (productDef.rootInstance->subtreeNodes > kMaxSceneNodes) {
            return fail("The product structure expands to more than " + std::to_string(kMaxSceneNodes) +
                        " nodes");
        }
        return true;
    }

    ovProgressNotifierInterface* mProgress;
    std::string mFailure;
};

ovPointer<ovNode> makeInstanceNode(PlmXmlInstance& instance) {
    ovPointer<ovNode> node;
    if (instance.part->location.empty()) {
        node = new ovNode;
    } else {
        auto* reference = new ovXRefNode;
        reference->setUtf8FilePath(instance.part->location);
        node = reference;
    }
    node->SetName(instance.name);
    node->editLocalTransform(true) = instance.transform;
    auto* metadata = new ovInstanceMetaData(instance.definition.get());
    // The first node of an instance takes its attributes over; any further
    // one (the instance sits under a part used more than once) copies them.
    if (instance.firstMetadata) {
        metadata->editMd() = instance.firstMetadata->getMd();
    } else {
        metadata->editMd() = std::move(instance.metadata);
        instance.firstMetadata = metadata;
    }
    node->setMetadata(metadata);
    return node;
}

// Depth first from a work list: each node is attached to its parent as it is
// made, and children are taken in order because they are pushed in reverse.
ovPointer<ovNode> buildInstanceTree(PlmXmlInstance& root, ovProgressNotifierInterface* progress) {
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
        const ovPointer<ovNode> node = makeInstanceNode(*next.instance);
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

PlmXmlSceneBuilder::PlmXmlSceneBuilder(ovProgressNotifierInterface* progress) : mProgress(progress) {}

PlmXmlSceneBuilder::~PlmXmlSceneBuilder() = default;

void PlmXmlSceneBuilder::addProductDef(PlmXmlProductDef& productDef, const PlmXmlAttributeNames& names) {
    ++mProductDefCount;
    if (mFailed) {
        return;
    }
    Resolver resolver(mProgress);
    ovPointer<ovNode> tree;
    if (resolver.resolve(productDef, names.order())) {
        tree = buildInstanceTree(*productDef.rootInstance, mProgress);
    }
    mFailed = !tree;
    mFailure = resolver.failure();
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
    // entry. Under a key both hold, the target's values come first.
    ovVariantMapImpl merged;
    merged.reserve(source.size() + target.size());
    auto from = source.begin();
    auto into = target.begin();
    while (from != source.end() || into != target.end()) {
        if (from == source.end() || (into != target.end() && into->first <= from->first)) {
            merged.multiInsert(into->first, into->second, true);
            ++into;
        } else {
            mergeEntry(from->first, from->second, merged);
            ++from;
        }
    }
    target = std::move(merged);
}

}  // namespace ov::plmxml
