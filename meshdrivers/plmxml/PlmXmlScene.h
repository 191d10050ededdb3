#pragma once

// From the loader's records to a scene: references resolved, instance
// definitions shared by name, one node per instance.

#include <list>

#include "plmxml/PlmXmlLoader.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov::plmxml {

// Builds beyond this many nodes are refused: instances shared by several
// parts multiply, and a few dozen levels of doubling would exhaust memory.
constexpr uint64_t kMaxSceneNodes = 10'000'000;

// Links every product definition's root, instances, parts and children, gives
// each instance its definition, and checks that the structure under each root
// is finite (no instance contains itself) and of a buildable size. On failure
// the reason goes to the driver (code -1); cancellation fails without one.
bool resolveProductDefs(std::list<PlmXmlProductDef>& productDefs, ovCoreMeshDriver& driver,
                        ovProgressNotifierInterface* progress);

// The root of the scene of resolved product definitions: the tree of the one
// root instance, or an unnamed node holding the tree of each. Null when
// cancelled. The trees are built without recursion, however deep they are.
// Several product definitions are used up: each is removed once built.
ovPointer<ovNode> buildScene(std::list<PlmXmlProductDef>& productDefs, ovProgressNotifierInterface* progress);

// Inserts the entries of source whose key target lacks; a key that target
// holds with another value receives source's value beside its own.
void mergeVariantMaps(const ovVariantMapImpl& source, ovVariantMapImpl& target);

}  // namespace ov::plmxml
