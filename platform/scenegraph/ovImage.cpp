#include "scenegraph/ovImage.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "system/ovFiles.h"
#include "system/ovIoDevice.h"
#include "system/ovLog.h"
#include "system/ovStringUtils.h"

namespace ov {

OV_IMPLEMENT_RTTI(ovImage, ovObject);

namespace {

size_t nonNegative(int quantity) {
    return static_cast<size_t>(std::max(quantity, 0));
}

bool isValidFormat(ovImage::Format format) {
    return format >= ovImage::Luminance8 && format <= ovImage::RGBA8;
}

int pngColorType(ovImage::Format format) {
    switch (format) {
        case ovImage::Luminance8:
            return PNG_COLOR_TYPE_GRAY;
        case ovImage::LuminanceAlpha8:
            return PNG_COLOR_TYPE_GRAY_ALPHA;
        case ovImage::RGB8:
            return PNG_COLOR_TYPE_RGB;
        case ovImage::RGBA8:
            return PNG_COLOR_TYPE_RGBA;
    }
    return PNG_COLOR_TYPE_GRAY;
}

void logError(const std::string& text) {
    ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true) << text;
}

// What the libpng callbacks share with the encoder. Plain data only: libpng
// leaves its calls by longjmp on errors, which must skip no destructor.
struct PngJob {
    const ovImage* image;
    ovIoDevice* device;
    ovProgressNotifierInterface* progress;
    int compressionLevel;
    bool bottomRowFirst;
    char error[256];
};

PngJob& jobOf(png_structp png) {
    return *static_cast<PngJob*>(png_get_error_ptr(png));
}

[[noreturn]] void failPng(png_structp png, png_const_charp message) {
    PngJob& job = jobOf(png);
    std::snprintf(job.error, sizeof job.error, "%s", message);
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void writeToDevice(png_structp png, png_bytep data, size_t length) {
    const auto wanted = static_cast<int64_t>(length);
    if (jobOf(png).device->write(reinterpret_cast<const char*>(data), wanted) != wanted) {
        png_error(png, "the file could not be written");
    }
}

// The device is flushed when it is closed, after the last row.
void flushNothing(png_structp /*png*/) {}

// Encodes the job's image to its device. Holds no object with a destructor, as
// libpng may leave it by longjmp; answers false with job.error filled.
bool encodePng(PngJob& job) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, failPng, ignorePngWarning);
    if (png == nullptr) {
        std::snprintf(job.error, sizeof job.error, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(job.error, sizeof job.error, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const ovImage& image = *job.image;
    png_set_write_fn(png, &job, writeToDevice, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.getWidth()),
                 static_cast<png_uint_32>(image.getHeight()), 8, pngColorType(image.getFormat()),
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (job.compressionLevel >= 0) {
        png_set_compression_level(png, std::min(job.compressionLevel, 9));
    }
    png_write_info(png, info);
    const size_t rowBytes = nonNegative(image.getWidth()) * nonNegative(image.getBytesPerPixel());
    for (int row = 0; row < image.getHeight(); ++row) {
        if (job.progress && job.progress->isCanceled()) {
            png_error(png, "cancelled");
        }
        const int stored = job.bottomRowFirst ? image.getHeight() - 1 - row : row;
        png_write_row(png, image.getData() + nonNegative(stored) * rowBytes);
        if (job.progress) {
            job.progress->advanceStep(1.0);
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes the PNG file at temporaryPath; answers the reason of a failure, empty
// on success.
std::string writePngFile(const ovImage& image, const std::string& temporaryPath,
                         ovProgressNotifierInterface* progress, const SaveImageOptions& options) {
    ovIoDeviceFileStream file(temporaryPath, ovIoDevice::WriteOnly, true);
    if (!file.isOpen()) {
        return "the file could not be created";
    }
    PngJob job{&image, &file, progress, options.compressionLevel, options.bottomRowFirst, {}};
    if (!encodePng(job)) {
        file.close();
        return job.error;
    }
    return file.close() ? std::string() : std::string("the file could not be written");
}

}  // namespace

ovImage::ovImage(Format format, int width, int height)
    : mFormat(isValidFormat(format) ? format : RGBA8),
      mWidth(std::max(width, 0)),
      mHeight(std::max(height, 0)),
      mData(nonNegative(mWidth) * nonNegative(mHeight) * nonNegative(getBytesPerPixel()), 0) {}

void ovImage::keepSourceFile(std::string bytes, std::string mediaType) {
    mSourceFile = std::move(bytes);
    mSourceMediaType = std::move(mediaType);
    mSourceFingerprint = pixelFingerprint();
}

const std::string* ovImage::getSourceFile() const {
    if (mSourceFile.empty() || pixelFingerprint() != mSourceFingerprint) {
        return nullptr;
    }
    return &mSourceFile;
}

// A 64-bit hash of the pixels, eight bytes at a time: fast enough to run at
// every save, and a change of any pixel changes it but by a chance of 2^-64.
uint64_t ovImage::pixelFingerprint() const {
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    uint64_t hash = (static_cast<uint64_t>(mWidth) << 32) ^ static_cast<uint64_t>(mHeight);
    const auto mix = [&hash](uint64_t word) {
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    };
    size_t at = 0;
    for (; at + 8 <= mData.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, mData.data() + at, 8);
        mix(word);
    }
    uint64_t tail = 0;
    if (at < mData.size()) {
        std::memcpy(&tail, mData.data() + at, mData.size() - at);
    }
    mix(tail ^ static_cast<uint64_t>(mFormat));
    return hash;
}

bool ovImageIOManager::writePng(const ovImage* image, ovIoDevice& device, const std::string& what,
                                const SaveImageOptions& options) {
    if (image == nullptr || image->getWidth() == 0 || image->getHeight() == 0) {
        logError("Cannot write image '" + what + "': the image is empty");
        return false;
    }
    PngJob job{image, &device, nullptr, options.compressionLevel, options.bottomRowFirst, {}};
    if (!encodePng(job)) {
        logError("Cannot write image '" + what + "': " + job.error);
        return false;
    }
    return true;
}

bool ovImageIOManager::saveImage(const ovImage* image, const std::string& utf8Path,
                                 ovProgressNotifierInterface* progress, const SaveImageOptions& options) {
    if (image == nullptr || image->getWidth() == 0 || image->getHeight() == 0) {
        logError("Cannot save image '" + utf8Path + "': the image is empty");
        return false;
    }
    if (ovDirUtils::ExtractFileExtension(utf8Path, true, 0) != "png") {
        logError("Cannot save image '" + utf8Path + "': only PNG files can be written");
        return false;
    }
    ovProgressNotifierGroupCloser closer;
    if (progress) {
        progress->beginStepGroup(1, image->getHeight(), closer);
        progress->beginStep(image->getHeight(), 0);
    }
    // The file appears under its name only once it is whole: a failed save
    // leaves neither a truncated image nor a stray temporary file.
    ovStagedFile staged(pathOfUtf8(utf8Path));
    std::string failure = staged.creationError()
                              ? staged.creationError().message()
                              : writePngFile(*image, utf8OfPath(staged.temporaryPath()), progress, options);
    if (const std::error_code error = failure.empty() ? staged.commit() : std::error_code()) {
        failure = error.message();
    }
    if (!failure.empty()) {
        logError("Cannot save image '" + utf8Path + "': " + failure);
        return false;
    }
    return true;
}

}  // namespace ov
