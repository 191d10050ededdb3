#include "core/StbDecoder.h"

#include <climits>
#include <cstring>
#include <memory>

// stb_image is outside code: the formats other libraries decode, its own file
// reading and the floating-point paths stay out, and its warnings are its own.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_FAILURE_USERMSG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#pragma GCC diagnostic ignored "-Wcast-qual"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wuseless-cast"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace ov::stb {
namespace {

const stbi_uc* bytesOf(std::string_view bytes) {
    return reinterpret_cast<const stbi_uc*>(bytes.data());
}

struct FreePixels {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

}  // namespace

std::optional<ImageHeader> readHeader(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX) {
        return std::nullopt;
    }
    ImageHeader header;
    if (stbi_info_from_memory(bytesOf(bytes), static_cast<int>(bytes.size()), &header.width, &header.height,
                              &header.channels) == 0 ||
        header.width <= 0 || header.height <= 0 || header.channels < 1 || header.channels > 4) {
        return std::nullopt;
    }
    return header;
}

std::string decode(std::string_view bytes, const ImageHeader& header, uint8_t* pixels) {
    int width = 0;
    int height = 0;
    int channels = 0;
    const std::unique_ptr<stbi_uc, FreePixels> decoded(stbi_load_from_memory(
        bytesOf(bytes), static_cast<int>(bytes.size()), &width, &height, &channels, header.channels));
    if (!decoded) {
        const char* reason = stbi_failure_reason();
        return reason != nullptr ? reason : "the file cannot be decoded";
    }
    if (width != header.width || height != header.height) {
        return "the file decodes to another size than its header states";
    }
    std::memcpy(
        pixels, decoded.get(),
        static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(header.channels));
    return {};
}

}  // namespace ov::stb
