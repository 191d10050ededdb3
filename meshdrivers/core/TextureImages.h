#pragma once

#include <cstdint>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovImage.h"

namespace ov {

struct LoadedImage {
    ovPointer<ovImage> image;
    // Why there is no image.
    std::string failure;
};

// The pixels the texture images of one read may decode to, together: a
// compressed image of a megabyte can hold a gigabyte of pixels, so that a
// few of them would take the memory the model itself never asks for.
class OVMESHDRIVERS_API PixelBudget {
public:
    static constexpr uint64_t kDefaultPixels = uint64_t{1} << 28;
    explicit PixelBudget(uint64_t pixels = kDefaultPixels) : mTotal(pixels), mLeft(pixels) {}
    // Takes pixels from what is left; false, taking nothing, when they are
    // more. The failure then says why.
    bool take(uint64_t pixels);
    std::string exhausted() const;

private:
    uint64_t mTotal;
    uint64_t mLeft;
};

// Reads a PNG, JPEG, TGA or BMP file (told apart by its bytes) into an image
// of 8-bit channels: grey, grey with alpha, RGB or RGBA as the file holds
// them. The size in the file's header is taken from budget before any pixel
// is decoded. A JPEG image keeps the file's bytes (see
// ovImage::keepSourceFile), which a writer may store instead of encoding it
// anew with a loss.
OVMESHDRIVERS_API LoadedImage loadTextureImage(const std::string& path, PixelBudget& budget);

// The same for the bytes of an image file held in memory (a texture embedded
// in a model); what names them in the failure.
OVMESHDRIVERS_API LoadedImage decodeTextureImage(const std::string& bytes, const std::string& what,
                                                 PixelBudget& budget);

}  // namespace ov
