#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"
#include "system/ovDataStream.h"
#include "system/ovIoDevice.h"

namespace ov {
namespace {

using test::readFile;
using test::TempDir;

constexpr size_t kBufferSize = 64 * 1024;
constexpr int64_t kNoLimit = ovIoDeviceFaultInjector::kNoLimit;

std::string patternOf(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    }
    return data;
}

int64_t write(ovIoDevice& device, std::string_view data) {
    return device.write(data.data(), static_cast<int64_t>(data.size()));
}

TEST(FileStream, PiecesOfEverySizeAreReadBackInOrder) {
    TempDir dir;
    const std::string path = dir.file("\xC3\xA9t\xC3\xA9.bin");
    const std::string data = patternOf(4 * kBufferSize + 777);
    {
        ovIoDeviceFileStream writer(path, ovIoDevice::WriteOnly, true);
        // Every small size, so that each way of copying into the buffer is taken at
        // every offset, and now and then a piece around the buffer's size.
        for (size_t i = 1, position = 0; position < data.size(); ++i) {
            const size_t wanted = i % 500 == 0 ? kBufferSize - 1 + i / 500 % 3 : 1 + i % 40;
            const size_t size = std::min(wanted, data.size() - position);
            ASSERT_EQ(write(writer, std::string_view(data).substr(position, size)),
                      static_cast<int64_t>(size));
            position += size;
        }
        EXPECT_TRUE(writer.close());
        EXPECT_EQ(write(writer, "late"), 0);
    }
    ovIoDeviceFileStream reader(path, ovIoDevice::ReadOnly, true);
    std::string content(data.size() + 1, '\0');
    EXPECT_EQ(reader.read(content.data(), static_cast<int64_t>(content.size())),
              static_cast<int64_t>(data.size()));
    content.pop_back();
    EXPECT_TRUE(content == data);
    EXPECT_EQ(reader.read(content.data(), 1), 0);
    EXPECT_TRUE(reader.good());
}

TEST(FileStream, SmallWritesWaitInTheBufferUntilFlushOrDestruction) {
    TempDir dir;
    const std::string path = dir.file("out.bin");
    const std::string big = patternOf(kBufferSize + 1);
    test::writeFile(path, "old");
    {
        ovIoDeviceFileStream appending(path, ovIoDevice::WriteOnly, false);
        EXPECT_EQ(write(appending, "+head"), 5);
        EXPECT_EQ(std::filesystem::file_size(path), 3u);
        EXPECT_EQ(write(appending, big), static_cast<int64_t>(big.size()));
        EXPECT_EQ(std::filesystem::file_size(path), 8 + big.size());
        EXPECT_EQ(write(appending, "tail"), 4);
        EXPECT_TRUE(appending.flush());
        EXPECT_EQ(std::filesystem::file_size(path), 12 + big.size());
        EXPECT_EQ(write(appending, "!"), 1);
    }
    EXPECT_TRUE(readFile(path) == "old+head" + big + "tail!");
    { ovIoDeviceFileStream(path, ovIoDevice::WriteOnly, true).write("fresh", 5); }
    EXPECT_EQ(readFile(path), "fresh");
}

TEST(FileStream, FoldersAndMissingPathsDoNotOpenAndAFailedWriteStopsTheStream) {
    TempDir dir;
    for (const int dataWay : {ovIoDevice::ReadOnly, ovIoDevice::WriteOnly}) {
        ovIoDeviceFileStream stream(dir.path().string(), dataWay, true);
        char byte = 0;
        EXPECT_FALSE(stream.isOpen() || stream.good() || stream.flush() || stream.close()) << dataWay;
        EXPECT_EQ(stream.read(&byte, 1), -1);
        EXPECT_EQ(write(stream, "x"), 0);
    }
    EXPECT_FALSE(ovIoDeviceFileStream(dir.file("missing.txt"), ovIoDevice::ReadOnly, true).isOpen());
    EXPECT_FALSE(ovIoDeviceFileStream(dir.file("x.txt"), 3, true).isOpen());
    // A NUL byte would otherwise cut the name short and write another file.
    EXPECT_FALSE(ovIoDeviceFileStream(dir.file("a") + '\0' + "b", ovIoDevice::WriteOnly, true).isOpen());
    EXPECT_FALSE(std::filesystem::exists(dir.file("a")));
    if (std::filesystem::exists("/dev/full")) {
        ovIoDeviceFileStream buffered("/dev/full", ovIoDevice::WriteOnly, true);
        EXPECT_EQ(write(buffered, "buffered"), 8);
        EXPECT_FALSE(buffered.flush() || buffered.good());
        EXPECT_EQ(write(buffered, "refused"), 0);
        ovIoDeviceFileStream direct("/dev/full", ovIoDevice::WriteOnly, true);
        EXPECT_LT(write(direct, patternOf(kBufferSize * 2)), static_cast<int64_t>(kBufferSize * 2));
        EXPECT_FALSE(direct.good() || direct.close());
    }
}

TEST(DataStream, WritesNumbersInEitherByteOrder) {
    ovIoDeviceMemory device;
    ovDataStream stream(device, LittleEndian);
    stream << uint32_t{0x01020304} << uint16_t{0xA1B2} << 1.0f << -2.5f;
    stream.setEndianness(BigEndian);
    stream << uint32_t{0x01020304} << uint16_t{0xA1B2} << 1.0f << -2.5f;
    EXPECT_EQ(stream.writeRawData("xy", 2), 2);
    EXPECT_TRUE(stream.good());
    EXPECT_EQ(device.data(), std::string("\x04\x03\x02\x01\xB2\xA1\x00\x00\x80\x3F\x00\x00\x20\xC0"
                                         "\x01\x02\x03\x04\xA1\xB2\x3F\x80\x00\x00\xC0\x20\x00\x00xy",
                                         30));
    // A short write fails the stream; a later empty one does not undo that.
    ovIoDeviceFaultInjector full(6, kNoLimit);
    ovDataStream cut(full, BigEndian);
    EXPECT_EQ(cut.writeRawData("abcdefgh", 8), 6);
    EXPECT_EQ(cut.writeRawData("", 0), 0);
    EXPECT_FALSE(cut.good());
}

}  // namespace
}  // namespace ov
