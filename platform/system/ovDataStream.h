#pragma once

#include <cstdint>

#include "system/ovIoDevice.h"

namespace ov {

enum ovEndianness : int { LittleEndian = 0, BigEndian = 1 };

// Binary writer of numbers in a chosen byte order onto a device.
class ovDataStream {
public:
    ovDataStream(ovIoDevice& device, int endianness);

    void setEndianness(int endianness) { mBigEndian = endianness == BigEndian; }
    ovDataStream& operator<<(float value);
    ovDataStream& operator<<(uint32_t value);
    ovDataStream& operator<<(uint16_t value);
    // Answers the number of bytes the device took.
    int64_t writeRawData(const char* data, int64_t length);
    ovIoDevice& device() { return mDevice; }
    // False once the device took fewer bytes than asked or stopped being good.
    bool good() const { return !mShortWrite && mDevice.good(); }

private:
    void writeOrdered(const unsigned char* littleEndianBytes, int size);
    void noteWritten(int64_t written, int64_t asked) { mShortWrite = mShortWrite || written != asked; }

    ovIoDevice& mDevice;
    bool mBigEndian;
    bool mShortWrite = false;
};

}  // namespace ov
