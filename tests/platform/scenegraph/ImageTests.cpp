#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <filesystem>

#include "scenegraph/ovImage.h"
#include "support/RecordingProgress.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

namespace fs = std::filesystem;

bool save(const ovImage* image, const std::string& path, ovProgressNotifierInterface* progress = nullptr) {
    return ovImageIOManager().saveImage(image, path, progress, {});
}

// Read back by libpng itself, not by our own decoder.
TEST(ImageSaveTest, PixelsReadBackEqualAndTheFileIsDeterministic) {
    for (const auto& [format, pngFormat] : {std::pair{ovImage::Luminance8, PNG_FORMAT_GRAY},
                                            {ovImage::LuminanceAlpha8, PNG_FORMAT_GA},
                                            {ovImage::RGB8, PNG_FORMAT_RGB},
                                            {ovImage::RGBA8, PNG_FORMAT_RGBA}}) {
        SCOPED_TRACE(format);
        test::TempDir dir;
        ovPointer<ovImage> image(new ovImage(format, 5, 3));
        for (size_t i = 0; i < image->getDataSize(); ++i) {
            image->editData()[i] = static_cast<uint8_t>(i * 37 + 11);
        }
        ASSERT_TRUE(save(image.get(), dir.file("a.png")));
        ASSERT_TRUE(save(image.get(), dir.file("b.PNG")));
        EXPECT_EQ(test::readFile(dir.file("a.png")), test::readFile(dir.file("b.PNG")));
        EXPECT_EQ(test::readFile(dir.file("a.png")).find("tIME"), std::string::npos);

        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&png, dir.file("a.png").c_str()));
        png.format = pngFormat;
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
        ASSERT_TRUE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr));
        EXPECT_EQ(png.width, 5u);
        EXPECT_EQ(png.height, 3u);
        EXPECT_EQ(pixels, std::vector<uint8_t>(image->getData(), image->getData() + image->getDataSize()));
    }
}

TEST(ImageSaveTest, FailedSavesLeaveNothingAndSayWhy) {
    test::TempDir dir;
    test::LogCapture log;
    ovPointer<ovImage> image(new ovImage(ovImage::RGB8, 2, 2));
    const ovPointer<ovImage> empty(new ovImage(ovImage::RGB8, 0, 4));
    test::writeFile(dir.file("old.png"), "old");
    fs::create_directory(dir.file("taken.png"));  // the file is written, then cannot take its name
    test::RecordingProgress cancel(2);            // after the first row

    EXPECT_FALSE(save(image.get(), dir.file("picture.jpg")));
    EXPECT_FALSE(save(empty.get(), dir.file("empty.png")));
    EXPECT_FALSE(save(nullptr, dir.file("null.png")));
    EXPECT_FALSE(save(image.get(), dir.file("missing-folder/picture.png")));
    EXPECT_FALSE(save(image.get(), dir.file("taken.png")));
    EXPECT_FALSE(save(image.get(), dir.file("old.png"), &cancel));

    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_TRUE(fs::is_empty(dir.file("taken.png")));
    EXPECT_EQ(test::readFile(dir.file("old.png")), "old");
    EXPECT_EQ(cancel.calls(), (std::vector<std::string>{"group 1 2", "step 2 0", "advance 1", "end"}));
    const std::vector<std::string> errors = log.texts(ovLogError);
    ASSERT_EQ(errors.size(), 6u);
    EXPECT_EQ(errors[0],
              "Cannot save image '" + dir.file("picture.jpg") + "': only PNG files can be written");
    EXPECT_EQ(errors[1], "Cannot save image '" + dir.file("empty.png") + "': the image is empty");
    EXPECT_EQ(errors[5], "Cannot save image '" + dir.file("old.png") + "': cancelled");
}

}  // namespace
}  // namespace ov
