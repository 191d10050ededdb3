#pragma once

#include <string>

#include "scenegraph/ovImage.h"

namespace ov::ovmesh {

struct LoadedImage {
    ovPointer<ovImage> image;
    // Why there is no image.
    std::string failure;
};

// Reads a PNG or JPEG file (told apart by its first bytes) into an image of
// 8-bit channels: grey, grey with alpha, RGB or RGBA as the file holds them.
LoadedImage loadTextureImage(const std::string& path);

// The same for the bytes of an image file held in memory (a texture embedded
// in a model); what names them in the failure.
LoadedImage decodeTextureImage(const std::string& bytes, const std::string& what);

}  // namespace ov::ovmesh
