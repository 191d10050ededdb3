#include "system/ovIoDevice.h"

#include <algorithm>
#include <cstring>

#include "system/ovStringUtils.h"

namespace ov {

namespace {

constexpr size_t kWriteBufferSize = 64 * 1024;

const char* openMode(int dataWay, bool truncate) {
    if (dataWay == ovIoDevice::ReadOnly) {
        return "rb";
    }
    if (dataWay == ovIoDevice::WriteOnly) {
        return truncate ? "wb" : "ab";
    }
    return nullptr;
}

std::FILE* openUtf8(const std::string& utf8Path, const char* mode) {
#ifdef _WIN32
    const std::wstring widePath = ovStringUtils::convertToUnicode(utf8Path, ovCharSetUtf8);
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfopen(widePath.c_str(), wideMode.c_str());
#else
    return std::fopen(utf8Path.c_str(), mode);
#endif
}

// Writers mostly hand over a few bytes at a time: numbers of a binary format,
// tokens of a text format. Copies of up to this many bytes are made in line.
constexpr size_t kSmallCopy = 32;

// Two moves of a fixed size, which may overlap, copy 1 to 32 bytes without a
// call into the C library. Single bytes come first: they are the most
// frequent tokens of text formats.
void copySmall(char* target, const char* data, size_t size) {
    if (size < 4) {
        target[0] = data[0];
        target[size / 2] = data[size / 2];
        target[size - 1] = data[size - 1];
    } else if (size < 8) {
        std::memcpy(target, data, 4);
        std::memcpy(target + size - 4, data + size - 4, 4);
    } else if (size <= 16) {
        std::memcpy(target, data, 8);
        std::memcpy(target + size - 8, data + size - 8, 8);
    } else {
        std::memcpy(target, data, 16);
        std::memcpy(target + size - 16, data + size - 16, 16);
    }
}

}  // namespace

ovIoDevice::~ovIoDevice() = default;

ovIoDeviceFileStream::ovIoDeviceFileStream(const std::string& utf8Path, int dataWay, bool truncate)
    : mDataWay(dataWay) {
    const char* mode = openMode(dataWay, truncate);
    // A path with a NUL byte would silently name another file. Some systems open
    // folders for reading; a folder is not a file to read here.
    if (!mode || utf8Path.find('\0') != std::string::npos ||
        (dataWay == ReadOnly && ovDirUtils::FolderExistsUtf8(utf8Path))) {
        return;
    }
    mFile = openUtf8(utf8Path, mode);
    if (mFile && dataWay == WriteOnly) {
        // Our own buffer replaces the C library's, which would only copy the bytes once more.
        std::setvbuf(mFile, nullptr, _IONBF, 0);
        mBuffer.resize(kWriteBufferSize);
        mCursor = mBuffer.data();
        mRoomEnd = mCursor + mBuffer.size();
    }
}

ovIoDeviceFileStream::~ovIoDeviceFileStream() {
    close();
}

int64_t ovIoDeviceFileStream::write(const char* data, int64_t length) {
    // Writers call this once per number or token: a small write that fits the
    // room left in the buffer is checked and copied without a call.
    const auto size = static_cast<size_t>(length);
    if (length > 0 && size <= kSmallCopy && size <= static_cast<size_t>(mRoomEnd - mCursor) && data) {
        copySmall(mCursor, data, size);
        mCursor += size;
        return length;
    }
    return writeLarge(data, length);
}

[[gnu::noinline]] int64_t ovIoDeviceFileStream::writeLarge(const char* data, int64_t length) {
    if (!good() || mDataWay != WriteOnly || !data || length <= 0) {
        return 0;
    }
    const auto size = static_cast<size_t>(length);
    if (size > static_cast<size_t>(mRoomEnd - mCursor)) {
        if (!flushBuffer()) {
            return 0;
        }
        if (size >= mBuffer.size()) {
            return writeThrough(data, size);
        }
    }
    std::memcpy(mCursor, data, size);
    mCursor += size;
    return length;
}

int64_t ovIoDeviceFileStream::read(char* data, int64_t length) {
    if (!good() || mDataWay != ReadOnly || length < 0 || (!data && length > 0)) {
        return -1;
    }
    if (length == 0) {
        return 0;
    }
    const size_t count = std::fread(data, 1, static_cast<size_t>(length), mFile);
    if (count < static_cast<size_t>(length) && std::ferror(mFile)) {
        markBad();
        return count > 0 ? static_cast<int64_t>(count) : -1;
    }
    return static_cast<int64_t>(count);
}

bool ovIoDeviceFileStream::flush() {
    if (good() && mDataWay == WriteOnly && flushBuffer() && std::fflush(mFile) != 0) {
        markBad();
    }
    return good();
}

bool ovIoDeviceFileStream::close() {
    if (!mFile) {
        return false;
    }
    const bool flushed = flush();
    const bool closed = std::fclose(mFile) == 0;
    mFile = nullptr;
    mCursor = mBuffer.data();
    mRoomEnd = mCursor;
    return flushed && closed;
}

bool ovIoDeviceFileStream::flushBuffer() {
    char* const begin = mBuffer.data();
    if (mCursor != begin) {
        const auto count = static_cast<size_t>(mCursor - begin);
        mCursor = begin;
        writeThrough(begin, count);
    }
    return mGood;
}

int64_t ovIoDeviceFileStream::writeThrough(const char* data, size_t length) {
    const size_t count = std::fwrite(data, 1, length, mFile);
    if (count != length) {
        markBad();
    }
    return static_cast<int64_t>(count);
}

void ovIoDeviceFileStream::markBad() {
    mGood = false;
    mRoomEnd = mCursor;
}

int64_t ovIoDeviceMemory::write(const char* data, int64_t length) {
    if (!data || length <= 0) {
        return 0;
    }
    mData.append(data, static_cast<size_t>(length));
    return length;
}

int64_t ovIoDeviceMemory::read(char* data, int64_t length) {
    if (length < 0 || (!data && length > 0)) {
        return -1;
    }
    const size_t count = std::min(static_cast<size_t>(length), mData.size() - mReadPosition);
    if (count > 0) {
        std::memcpy(data, mData.data() + mReadPosition, count);
    }
    mReadPosition += count;
    return static_cast<int64_t>(count);
}

ovIoDeviceFaultInjector::ovIoDeviceFaultInjector(int64_t writeLimit, int64_t goodLimit)
    : mWriteLimit(std::max<int64_t>(writeLimit, 0)), mGoodLimit(goodLimit) {}

bool ovIoDeviceFaultInjector::good() const {
    return static_cast<int64_t>(mData.size()) < mGoodLimit;
}

int64_t ovIoDeviceFaultInjector::write(const char* data, int64_t length) {
    ++mWriteCalls;
    if (!data || length <= 0) {
        return 0;
    }
    const int64_t room = mWriteLimit - static_cast<int64_t>(mData.size());
    const int64_t taken = std::min(length, room);
    mData.append(data, static_cast<size_t>(taken));
    return taken;
}

int64_t ovIoDeviceFaultInjector::read(char*, int64_t) {
    return -1;
}

}  // namespace ov
