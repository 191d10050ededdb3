#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "support/TestSupport.h"
#include "system/ovDataStream.h"
#include "system/ovIoDevice.h"

namespace ov {
namespace {

using test::readFile;
using test::TempDir;

constexpr int64_t kBufferSize = 64 * 1024;

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

std::string readAll(ovIoDevice& device, int64_t chunk) {
    std::string content;
    std::string buffer(static_cast<size_t>(chunk), '\0');
    for (int64_t count; (count = device.read(buffer.data(), chunk)) > 0;) {
        content.append(buffer, 0, static_cast<size_t>(count));
    }
    return content;
}

TEST(FileStream, ManySmallWritesGiveTheSameFileAsOneBigWrite) {
    TempDir dir;
    const std::string data = patternOf(3 * kBufferSize + 777);
    {
        ovIoDeviceFileStream whole(dir.file("whole.bin"), ovIoDevice::WriteOnly, true);
        ASSERT_TRUE(whole.isOpen());
        EXPECT_EQ(write(whole, data), static_cast<int64_t>(data.size()));
        EXPECT_TRUE(whole.close());
    }
    {
        // Piece sizes from one byte to more than the buffer, so that every path
        // (buffered, flush then buffered, straight through) is taken.
        ovIoDeviceFileStream pieces(dir.file("pieces.bin"), ovIoDevice::WriteOnly, true);
        std::mt19937 random(42);
        size_t position = 0;
        while (position < data.size()) {
            const size_t wanted = random() % 8 == 0 ? kBufferSize + random() % 100 : 1 + random() % 5000;
            const size_t size = std::min(wanted, data.size() - position);
            ASSERT_EQ(write(pieces, std::string_view(data).substr(position, size)),
                      static_cast<int64_t>(size));
            position += size;
        }
        EXPECT_TRUE(pieces.close());
    }
    EXPECT_EQ(readFile(dir.file("whole.bin")), data);
    EXPECT_EQ(readFile(dir.file("pieces.bin")), data);
}

TEST(FileStream, SmallWritesWaitInTheBufferAndBigOnesGoStraightThrough) {
    TempDir dir;
    const std::string path = dir.file("out.bin");
    ovIoDeviceFileStream stream(path, ovIoDevice::WriteOnly, true);
    EXPECT_EQ(write(stream, "head"), 4);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    const std::string big = patternOf(kBufferSize + 1);
    EXPECT_EQ(write(stream, big), static_cast<int64_t>(big.size()));
    EXPECT_EQ(std::filesystem::file_size(path), 4 + big.size());

    EXPECT_EQ(write(stream, "tail"), 4);
    EXPECT_TRUE(stream.flush());
    EXPECT_EQ(readFile(path), "head" + big + "tail");
}

TEST(FileStream, DestructorWritesTheBufferOut) {
    TempDir dir;
    { ovIoDeviceFileStream(dir.file("out.txt"), ovIoDevice::WriteOnly, true).write("abc", 3); }
    EXPECT_EQ(readFile(dir.file("out.txt")), "abc");
}

TEST(FileStream, TruncateOrAppend) {
    TempDir dir;
    const std::string path = dir.file("out.txt");
    test::writeFile(path, "old");
    { ovIoDeviceFileStream(path, ovIoDevice::WriteOnly, false).write("+new", 4); }
    EXPECT_EQ(readFile(path), "old+new");
    { ovIoDeviceFileStream(path, ovIoDevice::WriteOnly, true).write("fresh", 5); }
    EXPECT_EQ(readFile(path), "fresh");
}

TEST(FileStream, ReadsBackWhatWasWritten) {
    TempDir dir;
    const std::string data = patternOf(2 * kBufferSize + 5);
    test::writeFile(dir.file("in.bin"), data);
    ovIoDeviceFileStream stream(dir.file("in.bin"), ovIoDevice::ReadOnly, true);
    ASSERT_TRUE(stream.isOpen());
    EXPECT_EQ(readAll(stream, 1000), data);
    char byte = 0;
    EXPECT_EQ(stream.read(&byte, 1), 0);
    EXPECT_TRUE(stream.good());
}

TEST(FileStream, EachDirectionRefusesTheOther) {
    TempDir dir;
    test::writeFile(dir.file("in.txt"), "abc");
    ovIoDeviceFileStream reader(dir.file("in.txt"), ovIoDevice::ReadOnly, true);
    EXPECT_EQ(write(reader, "x"), 0);
    ovIoDeviceFileStream writer(dir.file("out.txt"), ovIoDevice::WriteOnly, true);
    char byte = 0;
    EXPECT_EQ(writer.read(&byte, 1), -1);
    EXPECT_TRUE(writer.good());
}

TEST(FileStream, FolderAndMissingPathsDoNotOpen) {
    TempDir dir;
    const std::string folder = dir.path().string();
    for (const int dataWay : {ovIoDevice::ReadOnly, ovIoDevice::WriteOnly}) {
        ovIoDeviceFileStream stream(folder, dataWay, true);
        EXPECT_FALSE(stream.isOpen()) << dataWay;
        EXPECT_FALSE(stream.good());
        char byte = 0;
        EXPECT_EQ(stream.read(&byte, 1), -1);
        EXPECT_EQ(write(stream, "x"), 0);
        EXPECT_FALSE(stream.flush());
        EXPECT_FALSE(stream.close());
    }
    EXPECT_FALSE(ovIoDeviceFileStream(dir.file("missing.txt"), ovIoDevice::ReadOnly, true).isOpen());
    EXPECT_FALSE(ovIoDeviceFileStream(dir.file("no/such/folder.txt"), ovIoDevice::WriteOnly, true).isOpen());
    EXPECT_FALSE(ovIoDeviceFileStream(dir.file("x.txt"), 3, true).isOpen());
    EXPECT_FALSE(
        ovIoDeviceFileStream(std::string(dir.file("a")) + '\0' + "b", ovIoDevice::WriteOnly, true).isOpen());
    EXPECT_FALSE(std::filesystem::exists(dir.file("a")));
}

TEST(FileStream, OpensUtf8Paths) {
    TempDir dir;
    {
        ovIoDeviceFileStream(dir.file("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt"), ovIoDevice::WriteOnly, true)
            .write("x", 1);
    }
    const std::filesystem::directory_entry entry = *std::filesystem::directory_iterator(dir.path());
    EXPECT_TRUE(entry.path().filename().u8string() == u8"\u00e9t\u00e9 \u20ac.txt");
}

TEST(FileStream, AFailedWriteMakesTheStreamNotGood) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full to fill";
    }
    ovIoDeviceFileStream stream("/dev/full", ovIoDevice::WriteOnly, true);
    ASSERT_TRUE(stream.isOpen());
    EXPECT_EQ(write(stream, "buffered"), 8);
    EXPECT_TRUE(stream.good());
    EXPECT_FALSE(stream.flush());
    EXPECT_FALSE(stream.good());
    EXPECT_EQ(write(stream, "refused"), 0);

    ovIoDeviceFileStream direct("/dev/full", ovIoDevice::WriteOnly, true);
    EXPECT_LT(write(direct, patternOf(kBufferSize * 2)), kBufferSize * 2);
    EXPECT_FALSE(direct.good());
    EXPECT_FALSE(direct.close());
}

TEST(MemoryDevice, ReadsFollowWrites) {
    ovIoDeviceMemory device("ab");
    EXPECT_EQ(write(device, "cd"), 2);
    char buffer[3] = {};
    EXPECT_EQ(device.read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(device.read(buffer, 3), 1);
    EXPECT_EQ(device.read(buffer, 3), 0);
    EXPECT_EQ(device.read(buffer, -1), -1);
    EXPECT_EQ(device.data(), "abcd");
}

TEST(FaultInjector, CutsTheWriteThatCrossesTheLimit) {
    ovIoDeviceFaultInjector device(10, ovIoDeviceFaultInjector::kNoLimit);
    EXPECT_EQ(write(device, "123456"), 6);
    EXPECT_EQ(write(device, "789abc"), 4);
    EXPECT_EQ(write(device, "z"), 0);
    EXPECT_EQ(device.data(), "123456789a");
    EXPECT_EQ(device.writeCalls(), 3);
    EXPECT_TRUE(device.good());
    char byte = 0;
    EXPECT_EQ(device.read(&byte, 1), -1);
}

TEST(FaultInjector, StopsBeingGoodAfterTheGoodLimitAlone) {
    ovIoDeviceFaultInjector device(ovIoDeviceFaultInjector::kNoLimit, 5);
    EXPECT_EQ(write(device, "1234"), 4);
    EXPECT_TRUE(device.good());
    EXPECT_EQ(write(device, "56"), 2);
    EXPECT_FALSE(device.good());
    EXPECT_EQ(write(device, "78"), 2);
    EXPECT_FALSE(ovIoDeviceFaultInjector(0, 0).good());
}

TEST(DataStream, WritesNumbersInEitherByteOrder) {
    ovIoDeviceMemory device;
    ovDataStream stream(device, LittleEndian);
    stream << uint32_t{0x01020304} << uint16_t{0xA1B2} << 1.0f << -2.5f;
    stream.setEndianness(BigEndian);
    stream << uint32_t{0x01020304} << uint16_t{0xA1B2} << 1.0f << -2.5f;
    EXPECT_EQ(stream.writeRawData("xy", 2), 2);
    EXPECT_TRUE(stream.good());
    const std::string expected(
        "\x04\x03\x02\x01"
        "\xB2\xA1"
        "\x00\x00\x80\x3F"
        "\x00\x00\x20\xC0"
        "\x01\x02\x03\x04"
        "\xA1\xB2"
        "\x3F\x80\x00\x00"
        "\xC0\x20\x00\x00"
        "xy",
        30);
    EXPECT_EQ(device.data(), expected);
}

TEST(DataStream, AFileGetsTheSameBytesAsMemory) {
    TempDir dir;
    ovIoDeviceMemory memory;
    {
        ovIoDeviceFileStream file(dir.file("numbers.bin"), ovIoDevice::WriteOnly, true);
        for (ovIoDevice* device : {static_cast<ovIoDevice*>(&memory), static_cast<ovIoDevice*>(&file)}) {
            ovDataStream stream(*device, LittleEndian);
            // More than one buffer's worth, in the 4- and 2-byte pieces of a mesh writer.
            for (uint32_t i = 0; i < 20000; ++i) {
                stream << static_cast<float>(i) * 0.5f << i << static_cast<uint16_t>(i);
                if (i % 1000 == 0) {
                    stream.setEndianness(i % 2000 == 0 ? BigEndian : LittleEndian);
                    stream.writeRawData("12345678", 8);
                }
            }
            EXPECT_TRUE(stream.good());
        }
    }
    EXPECT_EQ(readFile(dir.file("numbers.bin")), memory.data());
    EXPECT_EQ(memory.data().size(), 20000u * 10 + 20 * 8);
}

TEST(DataStream, ReportsAShortWrite) {
    ovIoDeviceFaultInjector device(6, ovIoDeviceFaultInjector::kNoLimit);
    ovDataStream stream(device, BigEndian);
    stream << uint32_t{1};
    EXPECT_TRUE(stream.good());
    stream << uint32_t{2};
    EXPECT_FALSE(stream.good());
    EXPECT_EQ(device.data(), std::string("\0\0\0\1\0\0", 6));
}

}  // namespace
}  // namespace ov
