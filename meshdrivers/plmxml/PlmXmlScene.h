#pragma once

// From the loader's records to a scene: references resolved, instance
// definitions shared by name, one node per instance.

#include <string>
#include <vector>

#include "plmxml/PlmXmlLoader.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov::plmxml {

// Builds beyond this many nodes are refused: instances shared by several
// parts multiply, and a few dozen levels of doubling would exhaust memory.
constexpr uint64_t kMaxSceneNodes = 10'000'000;

// Turns product definitions into scene trees one by one, as the loader
// finishes reading each, so that the records of one can go before the next is
// read. For each: links the root, instances, parts and children, gives each
// instance its definition (shared by name), checks that the structure under
// the root is finite (no instance contains itself) and of a buildable size,
// then builds one node per instance without recursion, however deep.
class PlmXmlSceneBuilder {
public:
    explicit PlmXmlSceneBuilder(ovProgressNotifierInterface* progress);
    ~PlmXmlSceneBuilder();
    PlmXmlSceneBuilder(const PlmXmlSceneBuilder&) = delete;
    PlmXmlSceneBuilder& operator=(const PlmXmlSceneBuilder&) = delete;

    // Nothing is done once one has failed or the work was cancelled.
    void addProductDef(PlmXmlProductDef& productDef, const PlmXmlAttributeNames& names);
    size_t productDefCount() const { return mProductDefCount; }
    // False after a failure, whose reason then goes to the driver (code -1);
    // cancellation fails without one.
    bool succeeded(ovCoreMeshDriver& driver) const;
    // The tree of the one product definition, or an unnamed node holding the
    // tree of each; only after success.
    ovPointer<ovNode> takeRoot();

private:
    ovProgressNotifierInterface* mProgress;
    std::vector<ovPointer<ovNode>> mTrees;
    size_t mProductDefCount = 0;
    bool mFailed = false;
    std::string mFailure;
};

// Inserts the entries of source whose key target lacks; a key that target
// holds with another value receives source's value beside its own.
void mergeVariantMaps(const ovVariantMapImpl& source, ovVariantMapImpl& target);

}  // namespace ov::plmxml
