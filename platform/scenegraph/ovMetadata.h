#pragma once

#include <type_traits>

#include "scenegraph/ovObject.h"
#include "system/ovVariantContainers.h"

namespace ov {

// Typed data attached to a spatial, found again by its type id. Each carries
// a variant map of its own for free-form values.
class ovMetadataInterface : public ovObject {
    OV_DECLARE_RTTI
public:
    explicit ovMetadataInterface(int metadataTypeId) : mMetadataTypeId(metadataTypeId) {}
    int getMetadataTypeId() const { return mMetadataTypeId; }
    ovVariantMapImpl& editMd() { return mMd; }
    const ovVariantMapImpl& getMd() const { return mMd; }

private:
    int mMetadataTypeId;
    ovVariantMapImpl mMd;
};

// Metres per scene unit of the subtree it is attached to.
class ovWorldUnitsMetaData : public ovMetadataInterface {
    OV_DECLARE_RTTI
public:
    static constexpr int MetadataTypeId = 2;
    explicit ovWorldUnitsMetaData(double metresPerUnit)
        : ovMetadataInterface(MetadataTypeId), mMetresPerUnit(metresPerUnit) {}
    double getValue() const { return mMetresPerUnit; }

private:
    double mMetresPerUnit;
};

// What several instances of one part share: a name, a node type and the
// component metadata common to all of them.
class ovInstanceDefId : public ovObject {
    OV_DECLARE_RTTI
public:
    enum NodeType : int { Unknown = 0, Solid = 1, Assembly = 2 };
    int nodeType = Unknown;
    ovVariantMapImpl& editComponentMd() { return mComponentMd; }
    const ovVariantMapImpl& getComponentMd() const { return mComponentMd; }

private:
    ovVariantMapImpl mComponentMd;
};

// Marks a spatial as an instance of a definition; its own map holds what is
// particular to this instance.
class ovInstanceMetaData : public ovMetadataInterface {
    OV_DECLARE_RTTI
public:
    static constexpr int MetadataTypeId = 5;
    // Without a definition, a fresh one of its own is created.
    explicit ovInstanceMetaData(ovInstanceDefId* definition);
    ovInstanceDefId* getInstanceDefId() const { return mDefinition.get(); }

private:
    ovPointer<ovInstanceDefId> mDefinition;
};

// The metadata as a T, or null. A type id is only a number a host may reuse:
// an object is taken for a T when its class is T's as well, never cast on the
// id alone.
template <class T, class Metadata>
auto* metadataAs(Metadata* metadata) {
    using Result = std::conditional_t<std::is_const_v<Metadata>, const T, T>;
    const bool isT = metadata != nullptr && metadata->getMetadataTypeId() == T::MetadataTypeId &&
                     metadata->IsDerived(T::TYPE);
    return isT ? static_cast<Result*>(metadata) : nullptr;
}

}  // namespace ov
