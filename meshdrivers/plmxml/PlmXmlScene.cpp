#include "plmxml/PlmXmlScene.h"

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "plmxml/PlmXmlLog.h"

namespace ov::plmxml {

namespace {

constexpr int kMessageCode = -1;

using InstanceGroups = std::map<std::string, std::vector<PlmXmlInstance*>>;

// The entry after the last one that shares its key with `entry`.
template <typename Iterator>
Iterator endOfKey(Iterator entry, Iterator end) {
    const std::string& key = entry->first;
    while (entry != end && entry->first == key) {
        ++entry;
    }
    return entry;
}

// Removes from common every key whose values other does not hold alike.
void keepSharedEntries(ovVariantMapImpl& common, const ovVariantMapImpl& other) {
    std::vector<std::string> unshared;
    auto mine = common.begin();
    auto theirs = other.begin();
    while (mine != common.end()) {
        const auto mineEnd = endOfKey(mine, common.end());
        while (theirs != other.end() && theirs->first < mine->first) {
            ++theirs;
        }
        const auto theirsEnd =
            theirs != other.end() && theirs->first == mine->first ? endOfKey(theirs, other.end()) : theirs;
        if (!std::equal(mine, mineEnd, theirs, theirsEnd,
                        [](const auto& a, const auto& b) { return !(a.second != b.second); })) {
            unshared.push_back(mine->first);
        }
        mine = mineEnd;
        theirs = theirsEnd;
    }
    for (const std::string& key : unshared) {
        common.erase(key);
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

class Resolver {
public:
    Resolver(ovCoreMeshDriver& driver, ovProgressNotifierInterface* progress)
        : mDriver(driver), mProgress(progress) {}

    bool resolve(PlmXmlProductDef& productDef) {
        InstanceGroups groups;
        return findRoot(productDef) && linkInstancesToParts(productDef, groups) &&
               linkPartsToChildren(productDef) && defineGroups(productDef, groups) &&
               checkStructure(productDef);
    }

private:
    bool fail(const std::string& message) {
        mDriver.addErrorMessage(message, kMessageCode);
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
            definition->SetName(name);
            setNodeType(*definition, instances.front()->part->type);
            ovVariantMapImpl& common = definition->editComponentMd();
            common = withPartAttributes(*instances.front());
            for (const PlmXmlInstance* instance : instances) {
                keepSharedEntries(common, withPartAttributes(*instance));
            }
            for (PlmXmlInstance* instance : instances) {
                instance->definition = definition;
                instance->attributes = withPartAttributes(*instance);
                for (const auto& entry : common) {
                    instance->attributes.erase(entry.first);
                }
            }
        }
        for (auto& [id, part] : productDef.parts) {
            part.attributes = {};
        }
        return true;
    }

    static ovVariantMapImpl withPartAttributes(const PlmXmlInstance& instance) {
        ovVariantMapImpl attributes = instance.attributes;
        mergeVariantMaps(instance.part->attributes, attributes);
        return attributes;
    }

    // Walks the structure below the root once, without recursion, counting
    // the nodes each instance will become: an instance met again while its
    // own subtree is still being walked contains itself.
    bool checkStructure(const PlmXmlProductDef& productDef) {
        constexpr uint64_t kOnPath = 0;
        std::unordered_map<const PlmXmlInstance*, uint64_t> nodeCounts{{productDef.rootInstance, kOnPath}};
        struct Frame {
            const PlmXmlInstance* instance;
            size_t nextChild;
        };
        std::vector<Frame> path{{productDef.rootInstance, 0}};
        while (!path.empty()) {
            Frame& frame = path.back();
            const std::vector<PlmXmlInstance*>& children = frame.instance->part->children;
            if (frame.nextChild < children.size()) {
                const PlmXmlInstance* child = children[frame.nextChild++];
                const auto [entry, firstVisit] = nodeCounts.try_emplace(child, kOnPath);
                if (firstVisit) {
                    path.push_back({child, 0});
                } else if (entry->second == kOnPath) {
                    return fail("Instance " + child->name + " (id " + idOf(productDef, child) +
                                ") contains itself");
                }
                continue;
            }
            uint64_t count = 1;
            for (const PlmXmlInstance* child : children) {
                count = std::min(count + nodeCounts[child], kMaxSceneNodes + 1);
            }
            nodeCounts[frame.instance] = count;
            path.pop_back();
        }
        if (nodeCounts[productDef.rootInstance] > kMaxSceneNodes) {
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

    ovCoreMeshDriver& mDriver;
    ovProgressNotifierInterface* mProgress;
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

bool resolveProductDefs(std::list<PlmXmlProductDef>& productDefs, ovCoreMeshDriver& driver,
                        ovProgressNotifierInterface* progress) {
    Resolver resolver(driver, progress);
    return std::all_of(productDefs.begin(), productDefs.end(),
                       [&resolver](PlmXmlProductDef& productDef) { return resolver.resolve(productDef); });
}

ovPointer<ovNode> buildScene(std::list<PlmXmlProductDef>& productDefs,
                             ovProgressNotifierInterface* progress) {
    if (productDefs.size() == 1) {
        return buildInstanceTree(*productDefs.front().rootInstance, progress);
    }
    const ovPointer<ovNode> group(new ovNode);
    // The records of a product definition go as soon as its tree stands, so
    // that records and scene are not held in full at the same time.
    while (!productDefs.empty()) {
        const ovPointer<ovNode> tree = buildInstanceTree(*productDefs.front().rootInstance, progress);
        if (!tree) {
            return {};
        }
        group->attachChild(tree.get());
        productDefs.pop_front();
    }
    return group;
}

void mergeVariantMaps(const ovVariantMapImpl& source, ovVariantMapImpl& target) {
    for (const auto& [key, value] : source) {
        const auto existing = target.find(key);
        if (existing == target.end()) {
            target.insert(key, value);
        } else if (existing->second != value) {
            target.multiInsert(key, value, false);
        }
    }
}

}  // namespace ov::plmxml
