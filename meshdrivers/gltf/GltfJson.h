#pragma once

#include <string>

#include "gltf/GltfDocument.h"
#include "system/ovJsonWriter.h"

namespace ov::gltf {

// The JSON part of the document. binaryUri names the .bin file beside a
// .gltf document; empty, the binary data is a .glb's own chunk. Image files
// are referred to by their names.
void writeDocumentJson(const Document& document, const std::string& binaryUri, JsonWriter& json);

}  // namespace ov::gltf
