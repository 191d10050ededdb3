#include "system/ovDataStream.h"

#include <algorithm>
#include <bit>

namespace ov {

namespace {

// The bytes of an unsigned value, least significant first, independent of the
// byte order of the machine.
template <class Unsigned>
void toLittleEndian(Unsigned value, unsigned char* bytes) {
    for (size_t i = 0; i < sizeof(Unsigned); ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

}  // namespace

ovDataStream::ovDataStream(ovIoDevice& device, int endianness)
    : mDevice(device), mBigEndian(endianness == BigEndian) {}

ovDataStream& ovDataStream::operator<<(float value) {
    return *this << std::bit_cast<uint32_t>(value);
}

ovDataStream& ovDataStream::operator<<(uint32_t value) {
    unsigned char bytes[4];
    toLittleEndian(value, bytes);
    writeOrdered(bytes, 4);
    return *this;
}

ovDataStream& ovDataStream::operator<<(uint16_t value) {
    unsigned char bytes[2];
    toLittleEndian(value, bytes);
    writeOrdered(bytes, 2);
    return *this;
}

int64_t ovDataStream::writeRawData(const char* data, int64_t length) {
    const int64_t written = mDevice.write(data, length);
    noteWritten(written, length);
    return written;
}

void ovDataStream::writeOrdered(const unsigned char* littleEndianBytes, int size) {
    if (!mBigEndian) {
        noteWritten(mDevice.write(reinterpret_cast<const char*>(littleEndianBytes), size), size);
        return;
    }
    char reversed[8];
    std::reverse_copy(littleEndianBytes, littleEndianBytes + size, reversed);
    noteWritten(mDevice.write(reversed, size), size);
}

}  // namespace ov
