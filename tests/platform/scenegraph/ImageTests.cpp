#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "scenegraph/ovImage.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

namespace fs = std::filesystem;

// An image of recognisable, distinct bytes.
ovPointer<ovImage> patternImage(ovImage::Format format, int width, int height) {
    ovPointer<ovImage> image(new ovImage(format, width, height));
    for (size_t i = 0; i < image->getDataSize(); ++i) {
        image->editData()[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return image;
}

struct DecodedPng {
    bool ok = false;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;
};

DecodedPng decodePng(const std::string& path, png_uint_32 format) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    DecodedPng decoded;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return decoded;
    }
    image.format = format;
    decoded.pixels.resize(PNG_IMAGE_SIZE(image));
    decoded.ok = png_image_finish_read(&image, nullptr, decoded.pixels.data(), 0, nullptr) != 0;
    decoded.width = image.width;
    decoded.height = image.height;
    png_image_free(&image);
    return decoded;
}

std::vector<std::string> folderContent(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool save(const ovImage* image, const std::string& path, ovProgressNotifierInterface* progress = nullptr,
          SaveImageOptions options = {}) {
    return ovImageIOManager().saveImage(image, path, progress, options);
}

struct FormatCase {
    const char* name;
    ovImage::Format format;
    png_uint_32 pngFormat;
};

class ImageRoundTripTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ImageRoundTripTest, PixelsReadBackEqual) {
    test::TempDir dir;
    const ovPointer<ovImage> image = patternImage(GetParam().format, 5, 3);
    const std::string path = dir.file("picture.png");
    ASSERT_TRUE(save(image.get(), path));

    const DecodedPng decoded = decodePng(path, GetParam().pngFormat);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 5u);
    EXPECT_EQ(decoded.height, 3u);
    EXPECT_EQ(decoded.pixels,
              std::vector<uint8_t>(image->getData(), image->getData() + image->getDataSize()));
    EXPECT_EQ(folderContent(dir.path()), std::vector<std::string>{"picture.png"});
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ImageRoundTripTest,
                         ::testing::Values(FormatCase{"Gray", ovImage::Luminance8, PNG_FORMAT_GRAY},
                                           FormatCase{"GrayAlpha", ovImage::LuminanceAlpha8, PNG_FORMAT_GA},
                                           FormatCase{"Rgb", ovImage::RGB8, PNG_FORMAT_RGB},
                                           FormatCase{"Rgba", ovImage::RGBA8, PNG_FORMAT_RGBA}),
                         [](const ::testing::TestParamInfo<FormatCase>& tested) {
                             return tested.param.name;
                         });

TEST(ImageSaveTest, OutputIsDeterministicAndCarriesNoTime) {
    test::TempDir dir;
    const ovPointer<ovImage> image = patternImage(ovImage::RGBA8, 16, 16);
    ASSERT_TRUE(save(image.get(), dir.file("a.png")));
    ASSERT_TRUE(save(image.get(), dir.file("b.PNG")));
    const std::string first = test::readFile(dir.file("a.png"));
    EXPECT_EQ(first, test::readFile(dir.file("b.PNG")));
    EXPECT_EQ(first.find("tIME"), std::string::npos);
    EXPECT_EQ(first.substr(1, 3), "PNG");
}

TEST(ImageSaveTest, CompressionLevelChangesSizeNotPixels) {
    test::TempDir dir;
    ovPointer<ovImage> image(new ovImage(ovImage::Luminance8, 64, 64));  // all zero: compresses well
    SaveImageOptions stored;
    stored.compressionLevel = 0;
    SaveImageOptions best;
    best.compressionLevel = 9;
    ASSERT_TRUE(save(image.get(), dir.file("stored.png"), nullptr, stored));
    ASSERT_TRUE(save(image.get(), dir.file("best.png"), nullptr, best));
    EXPECT_GT(fs::file_size(dir.file("stored.png")), fs::file_size(dir.file("best.png")));
    EXPECT_EQ(decodePng(dir.file("stored.png"), PNG_FORMAT_GRAY).pixels,
              decodePng(dir.file("best.png"), PNG_FORMAT_GRAY).pixels);
}

TEST(ImageSaveTest, ReplacesAnExistingFileWhole) {
    test::TempDir dir;
    const std::string path = dir.file("old.png");
    test::writeFile(path, std::string(100000, 'x'));
    const ovPointer<ovImage> image = patternImage(ovImage::RGB8, 2, 2);
    ASSERT_TRUE(save(image.get(), path));
    EXPECT_TRUE(decodePng(path, PNG_FORMAT_RGB).ok);
    EXPECT_LT(fs::file_size(path), 1000u);
}

TEST(ImageSaveTest, RefusalsWriteNothingAndSayWhy) {
    test::TempDir dir;
    test::LogCapture log;
    const ovPointer<ovImage> image = patternImage(ovImage::RGB8, 2, 2);
    const ovPointer<ovImage> empty(new ovImage(ovImage::RGB8, 0, 4));

    EXPECT_FALSE(save(image.get(), dir.file("picture.jpg")));
    EXPECT_FALSE(save(empty.get(), dir.file("empty.png")));
    EXPECT_FALSE(save(nullptr, dir.file("null.png")));
    EXPECT_TRUE(folderContent(dir.path()).empty());

    const std::vector<std::string> errors = log.texts(ovLogError);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find("picture.jpg"), std::string::npos);
    EXPECT_NE(errors[1].find("empty"), std::string::npos);
}

TEST(ImageSaveTest, UnwritablePathsLeaveNothingBehind) {
    test::TempDir dir;
    test::LogCapture log;
    const ovPointer<ovImage> image = patternImage(ovImage::RGB8, 2, 2);

    EXPECT_FALSE(save(image.get(), dir.file("missing-folder/picture.png")));

    // A folder in the way: the file is written, then cannot take its name.
    fs::create_directory(dir.file("taken.png"));
    EXPECT_FALSE(save(image.get(), dir.file("taken.png")));

    EXPECT_EQ(folderContent(dir.path()), std::vector<std::string>{"taken.png"});
    EXPECT_TRUE(fs::is_empty(dir.file("taken.png")));
    const std::vector<std::string> errors = log.texts(ovLogError);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("missing-folder/picture.png"), std::string::npos);
}

// Records the group it is given and can cancel after some rows.
class RowCounter : public ovProgressNotifierInterface {
public:
    explicit RowCounter(int cancelAfter) : mCancelAfter(cancelAfter) {}
    bool isCanceled() override { return mRows >= mCancelAfter; }
    void beginStep(double amount, uint32_t /*stepIndex*/) override { mStepAmount = amount; }
    void advanceStep(double amount) override { mRows += static_cast<int>(amount); }
    int rows() const { return mRows; }
    double stepAmount() const { return mStepAmount; }
    int openGroups() const { return mOpenGroups; }

protected:
    void onStepGroupBegin(uint32_t /*stepCount*/, double /*totalAmount*/) override { ++mOpenGroups; }
    void onStepGroupEnd() override { --mOpenGroups; }

private:
    int mCancelAfter;
    int mRows = 0;
    double mStepAmount = 0;
    int mOpenGroups = 0;
};

TEST(ImageSaveTest, ReportsRowsAndHonoursCancellation) {
    test::TempDir dir;
    test::LogCapture log;
    const ovPointer<ovImage> image = patternImage(ovImage::RGB8, 4, 6);

    RowCounter all(1000);
    EXPECT_TRUE(save(image.get(), dir.file("all.png"), &all));
    EXPECT_EQ(all.rows(), 6);
    EXPECT_EQ(all.stepAmount(), 6.0);
    EXPECT_EQ(all.openGroups(), 0);

    RowCounter some(2);
    EXPECT_FALSE(save(image.get(), dir.file("some.png"), &some));
    EXPECT_EQ(some.rows(), 2);
    EXPECT_EQ(some.openGroups(), 0);
    EXPECT_EQ(folderContent(dir.path()), std::vector<std::string>{"all.png"});
    ASSERT_EQ(log.texts(ovLogError).size(), 1u);
}

}  // namespace
}  // namespace ov
