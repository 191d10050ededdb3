#pragma once

// The binary STL writer behind StlMeshDriver (internal to the library).

#include <cstdint>

#include "scenegraph/ovGeometry.h"
#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"

namespace ov {

// Writes the triangles of every mesh under the single spatial in objects.
// False, with nothing written, when objects is not exactly one spatial or the
// scene holds more triangles than the format can count. Once writing started
// the answer is true: device errors and cancellation leave the file short.
bool writeBinaryStl(const ovObjectList& objects, ovIoDevice& device, ovProgressNotifierInterface* progress);

// The minimum corner of the world positions of the meshes under root, which
// the writer moves to the file's origin; zero without any.
Wm4::Vector3f stlFileOrigin(const ovSpatial& root);

// The 15-bit colour of a mesh's facets, from the diffuse colour of its
// material (0 without one): blue, green and red levels of 5 bits each, the red
// level always with its bits 1 to 3 set.
uint16_t stlColourWord(const ovMaterialState* material);

}  // namespace ov
