#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ov {

// Byte sink and source. Writers may make very many small writes: devices that
// reach the operating system buffer them.
class ovIoDevice {
public:
    enum DataWay : int { ReadOnly = 1, WriteOnly = 2 };

    virtual ~ovIoDevice();
    // False once an operation has failed; the device then refuses further work.
    virtual bool good() const = 0;
    // Answers the number of bytes taken, which is less than length on failure.
    virtual int64_t write(const char* data, int64_t length) = 0;
    // Answers the number of bytes read: 0 at the end, -1 on failure.
    virtual int64_t read(char* data, int64_t length) = 0;
};

// File on disk, opened from a UTF-8 path, with a write buffer so that one
// system call serves thousands of small writes.
class ovIoDeviceFileStream : public ovIoDevice {
public:
    // dataWay: ReadOnly or WriteOnly. For writing, truncate true empties an
    // existing file; false appends to it.
    ovIoDeviceFileStream(const std::string& utf8Path, int dataWay, bool truncate);
    ~ovIoDeviceFileStream() override;
    ovIoDeviceFileStream(const ovIoDeviceFileStream&) = delete;
    ovIoDeviceFileStream& operator=(const ovIoDeviceFileStream&) = delete;

    bool isOpen() const { return mFile != nullptr; }
    bool good() const override { return isOpen() && mGood; }
    int64_t write(const char* data, int64_t length) override;
    int64_t read(char* data, int64_t length) override;
    // Writes out the buffer; answers good().
    bool flush();
    // Flushes and closes; answers whether every byte reached the file.
    bool close();

private:
    bool flushBuffer();
    // Every write but the small ones that fit the buffer.
    int64_t writeLarge(const char* data, int64_t length);
    int64_t writeThrough(const char* data, size_t length);
    // After a failure: no byte is taken any more.
    void markBad();

    std::FILE* mFile = nullptr;
    int mDataWay;
    bool mGood = true;
    std::vector<char> mBuffer;
    // The next free byte of the buffer, and the end of the room that writes
    // may fill: the buffer's end while the stream is good and open for writing,
    // the cursor itself otherwise. One comparison then admits a write.
    char* mCursor = nullptr;
    char* mRoomEnd = nullptr;
};

// Growable memory buffer; reads start at the beginning and follow the writes.
class ovIoDeviceMemory : public ovIoDevice {
public:
    ovIoDeviceMemory() = default;
    explicit ovIoDeviceMemory(std::string initialContent) : mData(std::move(initialContent)) {}

    bool good() const override { return true; }
    int64_t write(const char* data, int64_t length) override;
    int64_t read(char* data, int64_t length) override;
    const std::string& data() const { return mData; }

private:
    std::string mData;
    size_t mReadPosition = 0;
};

// Memory device that fails on purpose, for testing how writers meet a full disk
// or a broken pipe: it takes at most writeLimit bytes in all (a write that
// crosses the limit is cut short), and stops being good once goodLimit bytes
// have been taken. The two limits act independently, so that a writer can be
// tested against each kind of failure alone. Reading always fails.
class ovIoDeviceFaultInjector : public ovIoDevice {
public:
    static constexpr int64_t kNoLimit = INT64_MAX;
    ovIoDeviceFaultInjector(int64_t writeLimit, int64_t goodLimit);

    bool good() const override;
    int64_t write(const char* data, int64_t length) override;
    int64_t read(char* data, int64_t length) override;
    const std::string& data() const { return mData; }
    int64_t writeCalls() const { return mWriteCalls; }

private:
    int64_t mWriteLimit;
    int64_t mGoodLimit;
    int64_t mWriteCalls = 0;
    std::string mData;
};

}  // namespace ov
