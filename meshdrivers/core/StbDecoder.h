#pragma once

// TGA and BMP files, which have no decoder of their own on the system,
// through stb_image, compiled in StbDecoder.cpp alone.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ov::stb {

struct ImageHeader {
    int width = 0;
    int height = 0;
    // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA.
    int channels = 0;
};

// What a TGA or BMP file's header states; nullopt when the bytes are
// neither, or state no size stb_image decodes.
std::optional<ImageHeader> readHeader(std::string_view bytes);

// Decodes the file whose header that is into pixels, rows from the top and
// header.channels bytes each; the reason of a failure, empty on success.
std::string decode(std::string_view bytes, const ImageHeader& header, uint8_t* pixels);

}  // namespace ov::stb
