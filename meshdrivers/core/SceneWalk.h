#pragma once

// The one walk over a scene subtree that every writer and the tool make, and
// the one root a save starts from.

#include <type_traits>
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

// Where the walk stands. world is the object's local transformation composed
// onto its parent's world, from the root's parent's current world down: the
// same value UpdateGS_Flags gives, without needing it to have run.
template <typename Spatial>
struct WalkStep {
    Spatial& object;
    const ovTransformation& world;
    int depth;       // 0 for the root
    int childIndex;  // the object's slot in its parent, -1 for the root
};

// What enter answers for an object.
enum class WalkNext {
    Children,  // walk its children (a node's), then leave it
    Skip,      // the object is done: neither its children nor leave follow
    Stop,      // end the whole walk now; objects still open are not left
};

// Walks the subtree under root depth first: enter(step) for each object,
// children by slot from 0 with empty slots skipped, then leave(step) after
// the children. enter may answer nothing (then Children) or a WalkNext.
// Before each object the notifier (if any) is asked whether the user
// cancelled; a cancelled object is skipped with its subtree, and the walk
// asks again at the next. The walk keeps its own stack, so that a deep scene
// cannot exhaust the thread's. False when enter stopped it.
// A const root gives const objects.
template <typename Root, typename Enter, typename Leave>
bool walkScene(Root& root, ovProgressNotifierInterface* progress, Enter&& enter, Leave&& leave) {
    using Spatial = std::conditional_t<std::is_const_v<Root>, const ovSpatial, ovSpatial>;
    using Step = WalkStep<Spatial>;
    struct Open {
        Spatial* object;
        ovTransformation world;
        int childIndex;
        int nextChild;
    };
    std::vector<Open> open;
    // False to stop the walk.
    const auto visit = [&](Spatial& object, const ovTransformation& parentWorld, int childIndex) {
        if (progress && progress->isCanceled()) {
            return true;
        }
        const ovTransformation world = object.getLocalTransform().Then(parentWorld);
        const Step step{object, world, static_cast<int>(open.size()), childIndex};
        WalkNext next = WalkNext::Children;
        if constexpr (std::is_void_v<std::invoke_result_t<Enter&, const Step&>>) {
            enter(step);
        } else {
            next = enter(step);
        }
        if (next == WalkNext::Children && object.IsDerived(ovNode::TYPE)) {
            open.push_back({&object, world, childIndex, 0});
        } else if (next == WalkNext::Children) {
            leave(step);
        }
        return next != WalkNext::Stop;
    };
    const ovNode* rootParent = root.getParent();
    if (!visit(static_cast<Spatial&>(root), rootParent ? rootParent->getWorldTransform() : ovTransformation(),
               -1)) {
        return false;
    }
    while (!open.empty()) {
        Open& top = open.back();
        const auto& node = static_cast<const ovNode&>(*top.object);
        if (top.nextChild >= node.getNbChildren()) {
            const Open closed = top;
            open.pop_back();
            leave(Step{*closed.object, closed.world, static_cast<int>(open.size()), closed.childIndex});
            continue;
        }
        const int index = top.nextChild++;
        // visit may grow the stack: the parent's world is read before it does.
        if (Spatial* child = node.getChild(index); child && !visit(*child, top.world, index)) {
            return false;
        }
    }
    return true;
}

// The walk without leave events.
template <typename Root, typename Enter>
bool walkScene(Root& root, ovProgressNotifierInterface* progress, Enter&& enter) {
    return walkScene(root, progress, enter, [](const auto&) {});
}

}  // namespace ov
