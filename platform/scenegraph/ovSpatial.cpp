#include "scenegraph/ovSpatial.h"

namespace ov {

OV_IMPLEMENT_RTTI(ovSpatial, ovObject);
OV_IMPLEMENT_RTTI(ovNode, ovSpatial);
OV_IMPLEMENT_RTTI(ovXRefNode, ovNode);
OV_IMPLEMENT_RTTI(ovLODNode, ovNode);

namespace {

ovNode* asNode(ovSpatial* spatial) {
    return spatial->IsDerived(ovNode::TYPE) ? static_cast<ovNode*>(spatial) : nullptr;
}

// Only a node with children can be somebody's ancestor.
bool mayBeAncestor(const ovSpatial* spatial) {
    return spatial->IsDerived(ovNode::TYPE) && static_cast<const ovNode*>(spatial)->getNbChildren() > 0;
}

// Visits root and every spatial below it without recursion, depth first: a
// spatial before its children, children by index, empty slots skipped. Stops
// at the first visit that answers true.
template <typename Visit>
void visitSubtree(ovNode* root, Visit visit) {
    std::vector<ovSpatial*> pending{root};
    while (!pending.empty()) {
        ovSpatial* spatial = pending.back();
        pending.pop_back();
        if (visit(spatial)) {
            return;
        }
        if (ovNode* node = asNode(spatial)) {
            for (int i = node->getNbChildren(); i-- > 0;) {
                if (ovSpatial* child = node->getChild(i)) {
                    pending.push_back(child);
                }
            }
        }
    }
}

}  // namespace

ovTransformation& ovSpatial::editLocalTransform(bool markDirty) {
    if (markDirty) {
        setDirty(0, true, true);
    }
    return mLocal;
}

void ovSpatial::UpdateGS_Flags() {
    updateWorld(mParent ? mParent->getWorldTransform() : ovTransformation());
}

// The kinds of change are not told apart: whatever changed, the world
// transformation is recomputed as a whole.
void ovSpatial::setDirty(int /*flags*/, bool dirty, bool propagateUp) {
    mDirty = dirty;
    if (!dirty || !propagateUp) {
        return;
    }
    // An ancestor that is dirty already has had its own ancestors told.
    for (ovSpatial* ancestor = mParent; ancestor != nullptr && !ancestor->mDirty;
         ancestor = ancestor->mParent) {
        ancestor->mDirty = true;
    }
}

void ovSpatial::setMetadata(ovMetadataInterface* metadata) {
    if (!metadata) {
        return;
    }
    if (mFirstMetadata) {
        mMoreMetadata.emplace_back(metadata);
    } else {
        mFirstMetadata = metadata;
    }
}

ovMetadataInterface* ovSpatial::getMetadata(int index) const {
    if (index < 0 || index >= getNbMetadata()) {
        return nullptr;
    }
    return index == 0 ? mFirstMetadata.get() : mMoreMetadata[static_cast<size_t>(index) - 1].get();
}

ovMetadataInterface* ovSpatial::findMetadata(int metadataTypeId) const {
    for (int index = 0; index < getNbMetadata(); ++index) {
        ovMetadataInterface* metadata = getMetadata(index);
        if (metadata->getMetadataTypeId() == metadataTypeId) {
            return metadata;
        }
    }
    return nullptr;
}

void ovSpatial::updateWorld(const ovTransformation& parentWorld) {
    mWorld = mLocal.Then(parentWorld);
    mDirty = false;
}

ovNode::~ovNode() {
    // Letting each child go in turn would destroy a deep chain by one nested
    // destructor call per level and overflow the stack. Instead the children
    // of a node about to die move to this flat work list first, so that every
    // node dies childless.
    std::vector<ovPointer<ovSpatial>> pending;
    auto takeChildrenOf = [&pending](ovNode& node) {
        for (ovPointer<ovSpatial>& child : node.mChildren) {
            if (child) {
                child->mParent = nullptr;
                pending.push_back(std::move(child));
            }
        }
        node.mChildren.clear();
    };
    takeChildrenOf(*this);
    while (!pending.empty()) {
        ovPointer<ovSpatial> child = std::move(pending.back());
        pending.pop_back();
        ovNode* node = asNode(child.get());
        if (node && node->GetReferences() == 1) {
            takeChildrenOf(*node);
        }
    }
}

ovSpatial* ovNode::getChild(int index) const {
    return index >= 0 && index < getNbChildren() ? mChildren[index].get() : nullptr;
}

int ovNode::attachChild(ovSpatial* child) {
    const int index = getNbChildren();
    return child && setChild(index, child) ? index : -1;
}

bool ovNode::setChild(int index, ovSpatial* child) {
    if (index < 0 || (child && !canAdopt(child))) {
        return false;
    }
    if (index >= getNbChildren()) {
        mChildren.resize(static_cast<size_t>(index) + 1);
    }
    ovPointer<ovSpatial>& slot = mChildren[index];
    if (slot) {
        slot->mParent = nullptr;
    }
    slot = child;
    if (child) {
        child->mParent = this;
        child->setDirty(0, true, true);
    }
    return true;
}

ovPointer<ovSpatial> ovNode::detachChildAt(int index) {
    if (index < 0 || index >= getNbChildren()) {
        return {};
    }
    ovPointer<ovSpatial> child = std::move(mChildren[index]);
    if (child) {
        child->mParent = nullptr;
        child->setDirty(0, true, false);
    }
    return child;
}

// In the three searches below a node is matched on its own name or id only:
// the walk reaches its subtree anyway.
ovObject* ovNode::GetObjectByName(const std::string& name) {
    ovObject* found = nullptr;
    visitSubtree(this, [&](ovSpatial* spatial) {
        found = asNode(spatial) ? spatial->ovObject::GetObjectByName(name) : spatial->GetObjectByName(name);
        return found != nullptr;
    });
    return found;
}

void ovNode::GetAllObjectsByName(const std::string& name, std::vector<ovObject*>& objects) {
    visitSubtree(this, [&](ovSpatial* spatial) {
        if (asNode(spatial)) {
            spatial->ovObject::GetAllObjectsByName(name, objects);
        } else {
            spatial->GetAllObjectsByName(name, objects);
        }
        return false;
    });
}

ovObject* ovNode::GetObjectByID(uint32_t id) {
    ovObject* found = nullptr;
    visitSubtree(this, [&](ovSpatial* spatial) {
        found = asNode(spatial) ? spatial->ovObject::GetObjectByID(id) : spatial->GetObjectByID(id);
        return found != nullptr;
    });
    return found;
}

void ovNode::updateWorld(const ovTransformation& parentWorld) {
    // One flat walk over the whole subtree: a call per level would overflow the
    // stack on deep trees. Parents are visited before their children, so each
    // parent's world is current when its children read it.
    ovSpatial::updateWorld(parentWorld);
    visitSubtree(this, [this](ovSpatial* spatial) {
        if (spatial != this) {
            const ovTransformation& above = spatial->getParent()->getWorldTransform();
            if (asNode(spatial)) {
                spatial->ovSpatial::updateWorld(above);
            } else {
                spatial->updateWorld(above);
            }
        }
        return false;
    });
}

bool ovNode::canAdopt(const ovSpatial* child) const {
    if (child == nullptr || child->mParent != nullptr || child == this) {
        return false;
    }
    if (!mayBeAncestor(child)) {
        return true;
    }
    for (const ovNode* ancestor = mParent; ancestor != nullptr; ancestor = ancestor->mParent) {
        if (ancestor == child) {
            return false;
        }
    }
    return true;
}

}  // namespace ov
