#include "core/TextureImages.h"

#include <png.h>
// jpeglib.h needs the standard types declared before it.
#include <jpeglib.h>
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <bit>
#include <cstdint>

#include "core/InputFiles.h"
#include "core/StbDecoder.h"

namespace ov {

namespace {

ovImage::Format formatOfChannels(int channels) {
    return static_cast<ovImage::Format>(channels);
}

// Larger pictures are refused before their memory is asked for.
constexpr uint64_t kMostPixels = uint64_t{1} << 28;

constexpr const char* kTooLarge = "the image is larger than 2^28 pixels";

// Why an image of that size is not decoded; empty when it is, its pixels
// then taken from budget.
std::string refusal(uint64_t width, uint64_t height, PixelBudget& budget) {
    if (width * height > kMostPixels) {
        return kTooLarge;
    }
    return budget.take(width * height) ? std::string() : budget.exhausted();
}

LoadedImage decodePng(const std::string& bytes, PixelBudget& budget) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) == 0) {
        return {{}, png.message};
    }
    if (const std::string refused = refusal(png.width, png.height, budget); !refused.empty()) {
        png_image_free(&png);
        return {{}, refused};
    }
    const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
    png.format =
        colour ? (alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB) : (alpha ? PNG_FORMAT_GA : PNG_FORMAT_GRAY);
    ovPointer<ovImage> image(
        new ovImage(formatOfChannels(static_cast<int>(PNG_IMAGE_PIXEL_CHANNELS(png.format))),
                    static_cast<int>(png.width), static_cast<int>(png.height)));
    if (png_image_finish_read(&png, nullptr, image->editData(), 0, nullptr) == 0) {
        return {{}, png.message};
    }
    return {image, {}};
}

// libjpeg reports a fatal error through a callback that must not return.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
    std::string refused;
};

void leaveJpeg(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->escape, 1);
}

// Kept free of objects with destructors, which the long jump would skip.
bool decodeJpegInto(jpeg_decompress_struct& info, const std::string& bytes, ovPointer<ovImage>& image,
                    PixelBudget& budget, std::string& refused) {
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    refused = refusal(info.image_width, info.image_height, budget);
    if (!refused.empty()) {
        return false;
    }
    jpeg_start_decompress(&info);
    image = new ovImage(formatOfChannels(info.output_components), static_cast<int>(info.output_width),
                        static_cast<int>(info.output_height));
    const size_t stride =
        static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->editData() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

LoadedImage decodeJpeg(const std::string& bytes, PixelBudget& budget) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = &leaveJpeg;
    ovPointer<ovImage> image;
    if (setjmp(errors.escape) != 0) {
        jpeg_destroy_decompress(&info);
        return {{}, errors.message};
    }
    jpeg_create_decompress(&info);
    const bool decoded = decodeJpegInto(info, bytes, image, budget, errors.refused);
    jpeg_destroy_decompress(&info);
    return decoded ? LoadedImage{image, {}} : LoadedImage{{}, errors.refused};
}

LoadedImage decodeTgaOrBmp(const std::string& bytes, const stb::ImageHeader& header, PixelBudget& budget) {
    const auto width = static_cast<uint64_t>(header.width);
    const auto height = static_cast<uint64_t>(header.height);
    if (const std::string refused = refusal(width, height, budget); !refused.empty()) {
        return {{}, refused};
    }
    ovPointer<ovImage> image(new ovImage(formatOfChannels(header.channels), header.width, header.height));
    if (std::string failure = stb::decode(bytes, header, image->editData()); !failure.empty()) {
        return {{}, failure};
    }
    return {image, {}};
}

}  // namespace

bool PixelBudget::take(uint64_t pixels) {
    if (pixels > mLeft) {
        mLeft = 0;
        return false;
    }
    mLeft -= pixels;
    return true;
}

std::string PixelBudget::exhausted() const {
    const bool powerOfTwo = mTotal != 0 && (mTotal & (mTotal - 1)) == 0;
    const std::string most =
        powerOfTwo ? "2^" + std::to_string(std::countr_zero(mTotal)) : std::to_string(mTotal);
    return "the texture images of the input would decode to more than " + most + " pixels together";
}

LoadedImage loadTextureImage(const std::string& path, PixelBudget& budget) {
    std::string bytes;
    try {
        bytes = readWholeFile(path);
    } catch (const ReadError& error) {
        return {{}, error.what()};
    }
    return decodeTextureImage(bytes, "'" + path + "'", budget);
}

LoadedImage decodeTextureImage(const std::string& bytes, const std::string& what, PixelBudget& budget) {
    if (bytes.starts_with("\x89PNG")) {
        return decodePng(bytes, budget);
    }
    if (bytes.starts_with("\xFF\xD8")) {
        LoadedImage loaded = decodeJpeg(bytes, budget);
        if (loaded.image) {
            loaded.image->keepSourceFile(bytes, "image/jpeg");
        }
        return loaded;
    }
    if (const std::optional<stb::ImageHeader> header = stb::readHeader(bytes)) {
        return decodeTgaOrBmp(bytes, *header, budget);
    }
    return {{}, what + " is not a PNG, JPEG, TGA or BMP file"};
}

}  // namespace ov
