#pragma once

#include "gltf/GltfDocument.h"
#include "scenegraph/ovImage.h"
#include "system/ovProgressNotifier.h"

namespace ov {

class ImageFiles;
class ovSpatial;

namespace gltf {

struct CollectOptions {
    // The axis that points up in the scene; glTF's is +Y.
    UpAxis up = UpAxis::Z;
    // Where images beside a .gltf document are named; null for a .glb, which
    // holds their PNG bytes.
    ImageFiles* imageFiles = nullptr;
};

// How images are written: glTF's texture coordinates start at the top of the
// image, the scene's at the bottom, so the image turned upside down lets the
// coordinates stay as the buffers hold them; but see Document::imagesFromTop.
SaveImageOptions imageOrientation(const Document& document);

// Gathers the document of the subtree under root and lays out its binary
// data. False, with a log line, when the user cancelled, a buffer's data
// cannot be had or a mesh refers to vertices its buffer does not hold.
bool collectDocument(ovSpatial& root, ovProgressNotifierInterface* progress, const CollectOptions& options,
                     Document& document);

}  // namespace gltf
}  // namespace ov
