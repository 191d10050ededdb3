#pragma once

// The walk every saving driver makes over the subtree it writes, and the one
// root it starts from.

#include <vector>

#include "scenegraph/ovObject.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovProgressNotifier.h"

namespace ov {

// The spatial a save writes: objects must hold exactly that one, or null.
inline ovSpatial* singleSpatialRoot(const ovObjectList& objects) {
    if (objects.size() != 1 || !objects.front() || !objects.front()->IsDerived(ovSpatial::TYPE)) {
        return nullptr;
    }
    return static_cast<ovSpatial*>(objects.front().get());
}

// Calls visit(object) for every object of the subtree under root, depth first,
// each object before its children, children by index from 0, null children
// skipped. Before each object the notifier (if any) is asked whether the user
// cancelled; a cancelled object is skipped with its subtree. The walk keeps its
// own stack, so that a deep scene cannot exhaust the thread's.
template <typename Visit>
void forEachSpatial(const ovSpatial& root, ovProgressNotifierInterface* progress, Visit&& visit) {
    struct OpenNode {
        const ovNode* node;
        int nextChild;
    };
    std::vector<OpenNode> openNodes;
    const auto enter = [&](const ovSpatial& object) {
        if (progress && progress->isCanceled()) {
            return;
        }
        visit(object);
        if (object.IsDerived(ovNode::TYPE)) {
            openNodes.push_back({static_cast<const ovNode*>(&object), 0});
        }
    };
    enter(root);
    while (!openNodes.empty()) {
        OpenNode& top = openNodes.back();
        if (top.nextChild >= top.node->getNbChildren()) {
            openNodes.pop_back();
            continue;
        }
        const ovSpatial* child = top.node->getChild(top.nextChild++);
        if (child) {
            enter(*child);
        }
    }
}

}  // namespace ov
