#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenegraph/ovObject.h"
#include "system/ovProgressNotifier.h"

namespace ov {

// A picture in memory: rows from the top, pixels of 1 to 4 bytes.
class ovIoDevice;

class ovImage : public ovObject {
    OV_DECLARE_RTTI
public:
    enum Format : int { Luminance8 = 1, LuminanceAlpha8 = 2, RGB8 = 3, RGBA8 = 4 };

    ovImage(Format format, int width, int height);
    Format getFormat() const { return mFormat; }
    int getWidth() const { return mWidth; }
    int getHeight() const { return mHeight; }
    int getBytesPerPixel() const { return static_cast<int>(mFormat); }
    uint8_t* editData() { return mData.data(); }
    const uint8_t* getData() const { return mData.data(); }
    size_t getDataSize() const { return mData.size(); }

    // The image file the pixels were decoded from, with its media type
    // ("image/jpeg"), so that a writer can store that file as it came instead
    // of encoding the pixels anew, which would lose size or quality. It holds
    // only while the pixels are the ones decoded from it: once they change,
    // getSourceFile answers null.
    void keepSourceFile(std::string bytes, std::string mediaType);
    const std::string* getSourceFile() const;
    const std::string& getSourceMediaType() const { return mSourceMediaType; }

private:
    uint64_t pixelFingerprint() const;

    Format mFormat;
    int mWidth;
    int mHeight;
    std::vector<uint8_t> mData;
    std::string mSourceFile;
    std::string mSourceMediaType;
    uint64_t mSourceFingerprint = 0;
};

struct SaveImageOptions {
    // zlib level 0 to 9; -1 takes the library's default.
    int compressionLevel = -1;
    // Rows from the bottom: the picture upside down, for formats whose
    // texture coordinates start at the top.
    bool bottomRowFirst = false;
};

// Writes images to files; the format follows the extension (PNG only).
class ovImageIOManager {
public:
    // Answers false, writing nothing that stays, when the image is empty, the
    // extension is not "png" or the file cannot be written; the reason goes to
    // the log.
    bool saveImage(const ovImage* image, const std::string& utf8Path, ovProgressNotifierInterface* progress,
                   const SaveImageOptions& options);
    // The PNG encoding of the image onto a device, for formats that hold
    // images inside themselves. False, with a log line naming what, when the
    // image is empty or the device refuses bytes.
    bool writePng(const ovImage* image, ovIoDevice& device, const std::string& what,
                  const SaveImageOptions& options);
};

}  // namespace ov
