#pragma once

#include <string>

#include "gltf/GltfDocument.h"
#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"

namespace ov::gltf {

// Streams the document's binary data to device, piece by piece from the
// scene's buffers: each buffer view at its offset, zeros between them. False
// when the device refuses bytes, a buffer cannot be loaded or the user
// cancels (asked after each view). Adds to patched the vertex values it made
// sound.
bool writeBinary(const Document& document, ovIoDevice& device, ovProgressNotifierInterface* progress,
                 uint64_t& patched);

// A whole .glb file: header, the JSON chunk padded with blanks, then the
// binary chunk. False as writeBinary, and when the file would pass the 4 GiB
// a .glb can hold.
bool writeGlb(const Document& document, const std::string& json, ovIoDevice& device,
              ovProgressNotifierInterface* progress, uint64_t& patched);

}  // namespace ov::gltf
