#pragma once

// From the loader's records to a scene: references resolved, instance
// definitions shared by name, one node per instance.

#include <cstdint>
#include <string>
#include <vector>

#include "plmxml/PlmXmlLoader.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov::plmxml {

// Turns product definitions into scene trees one by one, as the loader
// finishes reading each, so that the records of one can go before the next is
// read. For each: links the root, instances, parts and children, gives each
// instance its definition (shared by name), checks that the structure under
// the root is finite (no instance contains itself) and that the trees so far,
// this one included, fit the memory the document allows them, then builds
// one node per instance without recursion, however deep.
//
// A part used by several others is built once per use, so that a few
// kilobytes can describe billions of nodes, or copy one large attribute into
// each of them. The memory a tree will take is therefore estimated from its
// records, before any node is made, and the trees of a load may take at most
// maxExpansion times the bytes of the document read so far, and never less
// than ovPlmXmlMeshDriver::kMinSceneBudget.
class PlmXmlSceneBuilder {
public:
    PlmXmlSceneBuilder(ovProgressNotifierInterface* progress, double maxExpansion);
    ~PlmXmlSceneBuilder();
    PlmXmlSceneBuilder(const PlmXmlSceneBuilder&) = delete;
    PlmXmlSceneBuilder& operator=(const PlmXmlSceneBuilder&) = delete;

    // Nothing is done once one has failed or the work was cancelled.
    // documentBytes: how much of the document has been read.
    void addProductDef(PlmXmlProductDef& productDef, const PlmXmlAttributeNames& names,
                       uint64_t documentBytes);
    size_t productDefCount() const { return mProductDefCount; }
    // How far the product definitions came: 0 when none names its root
    // instance, 1 when one does, 2 when a root instance was found.
    int progress() const { return mRootFound ? 2 : mRootNamed ? 1 : 0; }
    // False after a failure, whose reason then goes to the driver (code -1);
    // cancellation fails without one.
    bool succeeded(ovCoreMeshDriver& driver) const;
    // The tree of the one product definition, or an unnamed node holding the
    // tree of each; only after success.
    ovPointer<ovNode> takeRoot();

private:
    ovProgressNotifierInterface* mProgress;
    double mMaxExpansion;
    // The estimated memory of the trees accepted so far.
    uint64_t mSceneBytes = 0;
    std::vector<ovPointer<ovNode>> mTrees;
    size_t mProductDefCount = 0;
    bool mFailed = false;
    bool mRootNamed = false;
    bool mRootFound = false;
    std::string mFailure;
};

// Estimates of the memory a scene takes: a node with its transforms, name
// and instance metadata, and an entry of a metadata map besides the bytes of
// its texts.
constexpr uint64_t kNodeBytes = 400;
constexpr uint64_t kEntryBytes = 80;

// The memory the scenes of a document may take, by estimate: maxExpansion
// times the bytes of the document read, and never less than
// ovPlmXmlMeshDriver::kMinSceneBudget.
uint64_t sceneBudget(double maxExpansion, uint64_t documentBytes);
// Why a load that would take more than allowed is refused.
std::string expansionRefusal(uint64_t allowed, uint64_t documentBytes, double maxExpansion);

// Inserts the entries of source whose key target lacks; a key that target
// holds with another value receives source's value beside its own.
void mergeVariantMaps(const ovVariantMapImpl& source, ovVariantMapImpl& target);

}  // namespace ov::plmxml
