#pragma once

#include <vector>

#include "scenegraph/ovMetadata.h"
#include "scenegraph/ovObject.h"
#include "scenegraph/ovTransformation.h"

namespace ov {

using ovTransformation = ovGenericTransformation<float>;

class ovNode;

// An object placed in the scene: a local transformation relative to its parent
// and the world transformation derived from it by UpdateGS_Flags.
class ovSpatial : public ovObject {
    OV_DECLARE_RTTI
public:
    const ovTransformation& getLocalTransform() const { return mLocal; }
    // markDirty records that world transformations below must be recomputed.
    ovTransformation& editLocalTransform(bool markDirty);
    const ovTransformation& getWorldTransform() const { return mWorld; }
    // Recomputes the world transformations of this subtree from the parent's
    // current world transformation (identity for a root).
    void UpdateGS_Flags();
    void setDirty(int flags, bool dirty, bool propagateUp);
    bool isDirty() const { return mDirty; }

    ovNode* getParent() const { return mParent; }

    // Attached metadata, in attachment order; null is ignored.
    void setMetadata(ovMetadataInterface* metadata);
    int getNbMetadata() const { return (mFirstMetadata ? 1 : 0) + static_cast<int>(mMoreMetadata.size()); }
    ovMetadataInterface* getMetadata(int index) const;
    // The first attached metadata with that type id, or null.
    ovMetadataInterface* findMetadata(int metadataTypeId) const;
    // The first attached metadata that is a T (by type id and class), or null.
    template <class T>
    T* findMetadata() const {
        for (int index = 0; index < getNbMetadata(); ++index) {
            if (T* found = metadataAs<T>(getMetadata(index))) {
                return found;
            }
        }
        return nullptr;
    }

protected:
    friend class ovNode;
    virtual void updateWorld(const ovTransformation& parentWorld);

private:
    ovTransformation mLocal;
    ovTransformation mWorld;
    ovNode* mParent = nullptr;
    bool mDirty = true;
    // A spatial mostly carries one metadata at most, held in place: only
    // further ones take a list, and a large scene saves an allocation per node.
    ovPointer<ovMetadataInterface> mFirstMetadata;
    std::vector<ovPointer<ovMetadataInterface>> mMoreMetadata;
};

// Group of child spatials. Slots may be empty (null children).
class ovNode : public ovSpatial {
    OV_DECLARE_RTTI
public:
    ~ovNode() override;
    int getNbChildren() const { return static_cast<int>(mChildren.size()); }
    ovSpatial* getChild(int index) const;
    // Appends child and answers its index, or -1 when it is refused: null, a
    // child that already has a parent, this node or one of its ancestors (which
    // would make a cycle).
    int attachChild(ovSpatial* child);
    // Puts child (or null) at index, growing the slots as needed; the same
    // refusals as attachChild. Answers whether it was placed.
    bool setChild(int index, ovSpatial* child);
    // Removes the child at index, leaving an empty slot; answers it.
    ovPointer<ovSpatial> detachChildAt(int index);

    ovObject* GetObjectByName(const std::string& name) override;
    void GetAllObjectsByName(const std::string& name, std::vector<ovObject*>& objects) override;
    ovObject* GetObjectByID(uint32_t id) override;

protected:
    void updateWorld(const ovTransformation& parentWorld) override;

private:
    bool canAdopt(const ovSpatial* child) const;

    std::vector<ovPointer<ovSpatial>> mChildren;
};

// Node that stands for a file held elsewhere.
class ovXRefNode : public ovNode {
    OV_DECLARE_RTTI
public:
    void setUtf8FilePath(const std::string& path) { mFilePath = path; }
    const std::string& getUtf8FilePath() const { return mFilePath; }

private:
    std::string mFilePath;
};

// Node whose children are levels of detail, the most detailed first.
class ovLODNode : public ovNode {
    OV_DECLARE_RTTI
};

}  // namespace ov
