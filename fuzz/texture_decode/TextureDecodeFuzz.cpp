// The bytes of a texture image file of any shape (PNG, JPEG, TGA, BMP) must
// either decode within the pixel budget or be refused with a reason; never a
// crash, a hang or memory beyond the budget.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/TextureImages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A budget of 2^22 pixels keeps each run small; a larger header is refused
    // before any pixel is decoded.
    ov::PixelBudget budget(uint64_t{1} << 22);
    ov::decodeTextureImage(std::string(reinterpret_cast<const char*>(data), size), "fuzz", budget);
    return 0;
}
