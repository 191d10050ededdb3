#include "plmxml/PlmXmlScene.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <limits>
#include <vector>

#include "plmxml/PlmXmlLog.h"

namespace ov::plmxml {

namespace {

constexpr int kMessageCode = -1;

// By instance name; the names are those of the records, which outlive the groups.
using InstanceGroups = std::map<std::string_view, std::vector<PlmXmlInstance*>>;

// The entry after the last one that shares its key with `entry`.
template <typename Iterator>
Iterator endOfKey(Iterator entry, Iterator end) {
    const std::string& key = entry->first;
    while (entry != end && entry->first == key) {
        ++entry;
    }
    return entry;
}

// The values key has in the instance's attributes with its part's merged in.
// The loader keeps one value per key in each map, so there are at most two:
// the instance's, then the part's where it differs.
struct MergedValues {
    const ovVariant* values[2] = {nullptr, nullptr};
    size_t count = 0;
};

MergedValues mergedValues(const PlmXmlInstance& instance, const std::string& key) {
    MergedValues merged;
    const auto own = instance.attributes.find(key);
    const auto inherited = instance.part->attributes.find(key);
    if (own != instance.attributes.end()) {
        merged.values[merged.count++] = &own->second;
    }
    if (inherited != instance.part->attributes.end() &&
        (merged.count == 0 || *merged.values[0] != inherited->second)) {
        merged.values[merged.count++] = &inherited->second;
    }
    return merged;
}

// Removes from common every key whose values the instance (with its part's
// attributes merged in) does not hold alike, without building that merge.
void keepSharedEntries(ovVariantMapImpl& common, const PlmXmlInstance& instance) {
    std::vector<std::string> unshared;
    for (auto entry = common.begin(); entry != common.end();) {
        const auto keyEnd = endOfKey(entry, common.end());
        const MergedValues merged = mergedValues(instance, entry->first);
        if (!std::equal(
                entry, keyEnd, merged.values, merged.values + merged.count,
                [](const auto& mine, const ovVariant* theirs) { return !(mine.second != *theirs); })) {
            unshared.push_back(entry->first);
        }
        entry = keyEnd;
    }
    for (const std::string& key : unshared) {
        common.erase(key);
    }
}

void mergeEntry(const std::string& key, const ovVariant& value, ovVariantMapImpl& target) {
    const auto existing = target.find(key);
    if (existing == target.end()) {
        target.insert(key, value);
    } else if (existing->second != value) {
        target.multiInsert(key, value, false);
    }
}

// Leaves the instance only its own attributes with its part's merged in: the
// keys of common go with the definition.
void keepOwnAttributes(PlmXmlInstance& instance, const ovVariantMapImpl& common) {
    ovVariantMapImpl& own = instance.attributes;
    for (auto entry = common.begin(); entry != common.end(); entry = endOfKey(entry, common.end())) {
        own.erase(entry->first);
    }
    for (const auto& [key, value] : instance.part->attributes) {
        if (common.find(key) == common.end()) {
            mergeEntry(key, value, own);
        }
    }
}

ovVariantMapImpl withPartAttributes(const PlmXmlInstance& instance) {
    ovVariantMapImpl attributes = instance.attributes;
    for (const auto& [key, value] : instance.part->attributes) {
        mergeEntry(key, value, attributes);
    }
    return attributes;
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

// The failure message is kept, not reported: the caller decides whether it
// is the one the load ends with.
class Resolver {
public:
    explicit Resolver(ovProgressNotifierInterface* progress) : mProgress(progress) {}

    const std::string& failure() const { return mFailure; }

    bool resolve(PlmXmlProductDef& productDef) {
        InstanceGroups groups;
        return findRoot(productDef) && linkInstancesToParts(productDef, groups) &&
               linkPartsToChildren(productDef) && defineGroups(productDef, groups) &&
               checkStructure(productDef);
    }

private:
    bool fail(const std::string& message) {
        mFailure = message;
        return false;
    }

    bool canceled() const { return mProgress && mProgress->isCanceled(); }

    bool findRoot(PlmXmlProductDef& productDef) {
        const auto root = productDef.instances.find(productDef.rootRef);
        if (root == productDef.instances.end()) {
            return fail("fail to find root " + productDef.rootRef);
        }
        productDef.rootInstance = &root->second;
        return true;
    }

    bool linkInstancesToParts(PlmXmlProductDef& productDef, InstanceGroups& groups) {
        for (auto& [id, instance] : productDef.instances) {
            if (canceled()) {
                return false;
            }
            const std::string& ref = instance.partRef;
            if (ref.size() < 2 || ref.front() != '#') {
                return fail("Unexpected instance ref " + ref);
            }
            const auto part = productDef.parts.find(ref.substr(1));
            if (part == productDef.parts.end()) {
                return fail("fail to find part " + ref);
            }
            instance.part = &part->second;
            if (instance.name.empty()) {
                return fail("empty instance name");
            }
            if (instance.name != instance.part->name) {
                return fail("Unexpected part and instance name mismatch");
            }
            groups[instance.name].push_back(&instance);
        }
        return true;
    }

    bool linkPartsToChildren(PlmXmlProductDef& productDef) {
        for (auto& [id, part] : productDef.parts) {
            if (canceled()) {
                return false;
            }
            if (!part.location.empty() && !part.instanceRefs.empty()) {
                return fail("Weird part " + id);
            }
            for (const std::string& childId : part.instanceRefs) {
                const auto child = productDef.instances.find(childId);
                if (child == productDef.instances.end()) {
                    return fail("fail to find instance " + childId);
                }
                part.children.push_back(&child->second);
            }
        }
        return true;
    }

    // An instance's attributes with its part's merged in are made only while
    // its group is looked at, so that a large document never holds them all
    // at once; the parts' own attributes are dropped when every group is done.
    bool defineGroups(PlmXmlProductDef& productDef, const InstanceGroups& groups) {
        for (const auto& [name, instances] : groups) {
            if (canceled()) {
                return false;
            }
            const ovPointer<ovInstanceDefId> definition(new ovInstanceDefId);
            definition->SetName(std::string(name));
            setNodeType(*definition, instances.front()->part->type);
            ovVariantMapImpl& common = definition->editComponentMd();
            common = withPartAttributes(*instances.front());
            for (auto instance = instances.begin() + 1; instance != instances.end(); ++instance) {
                keepSharedEntries(common, **instance);
            }
            for (PlmXmlInstance* instance : instances) {
                instance->definition = definition;
                keepOwnAttributes(*instance, common);
            }
        }
        for (auto& [id, part] : productDef.parts) {
            part.attributes = {};
        }
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
                    return fail("Instance " + child->name + " (id " + idOf(productDef, child) +
                                ") contains itself");
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

    static std::string idOf(const PlmXmlProductDef& productDef, const PlmXmlInstance* instance) {
        for (const auto& [id, candidate] : productDef.instances) {
            if (&candidate == instance) {
                return id;
            }
        }
        return {};
    }

    ovProgressNotifierInterface* mProgress;
    std::string mFailure;
};

ovPointer<ovNode> makeInstanceNode(const PlmXmlInstance& instance) {
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
    metadata->editMd() = instance.attributes;
    node->setMetadata(metadata);
    return node;
}

// Depth first from a work list: each node is attached to its parent as it is
// made, and children are taken in order because they are pushed in reverse.
ovPointer<ovNode> buildInstanceTree(const PlmXmlInstance& root, ovProgressNotifierInterface* progress) {
    struct Pending {
        const PlmXmlInstance* instance;
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

void PlmXmlSceneBuilder::addProductDef(PlmXmlProductDef& productDef) {
    ++mProductDefCount;
    if (mFailed) {
        return;
    }
    Resolver resolver(mProgress);
    ovPointer<ovNode> tree;
    if (resolver.resolve(productDef)) {
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
    for (const auto& [key, value] : source) {
        mergeEntry(key, value, target);
    }
}

}  // namespace ov::plmxml
