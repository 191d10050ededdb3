#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

namespace ov::obj {

// A growing array that holds large data without moving it. Elements go into
// blocks of a fixed size, so that growing a large array copies nothing and
// never holds an old and a new copy at once, and whoever takes the elements
// out block by block frees each block once it is read: a large file's data is
// at most once in memory beside the scene being built from it. The first
// block starts small and doubles until it is full size, so that the many
// small arrays of a file of many groups cost little more than what they hold.
template <typename T>
class BlockArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    static constexpr size_t kBlockBits = 12;
    static constexpr size_t kBlockSize = size_t{1} << kBlockBits;
    static constexpr size_t kFirstCapacity = 8;

    size_t size() const { return mSize; }
    // Elements the blocks have room for.
    size_t capacity() const { return mCapacity; }

    T& operator[](size_t index) { return mBlocks[index >> kBlockBits][index & (kBlockSize - 1)]; }
    const T& operator[](size_t index) const { return mBlocks[index >> kBlockBits][index & (kBlockSize - 1)]; }

    void push_back(const T& value) {
        if (mSize == mCapacity) [[unlikely]] {
            grow();
        }
        (*this)[mSize++] = value;
    }

    // Calls visit(elements, count) for each block in order.
    template <typename Visit>
    void forEachBlock(Visit visit) const {
        for (size_t block = 0; block < mBlocks.size(); ++block) {
            visit(static_cast<const T*>(mBlocks[block].get()), countIn(block));
        }
    }

    // The same, freeing each block once visited; the array is empty after.
    template <typename Visit>
    void drain(Visit visit) {
        for (size_t block = 0; block < mBlocks.size(); ++block) {
            visit(static_cast<const T*>(mBlocks[block].get()), countIn(block));
            mBlocks[block].reset();
        }
        clear();
    }

    void clear() {
        std::vector<std::unique_ptr<T[]>>().swap(mBlocks);
        mSize = 0;
        mCapacity = 0;
    }

private:
    void grow() {
        if (mCapacity >= kBlockSize) {
            mBlocks.push_back(std::make_unique_for_overwrite<T[]>(kBlockSize));
            mCapacity += kBlockSize;
            return;
        }
        const size_t capacity = mCapacity == 0 ? kFirstCapacity : 2 * mCapacity;
        std::unique_ptr<T[]> first = std::make_unique_for_overwrite<T[]>(capacity);
        if (mBlocks.empty()) {
            mBlocks.push_back(std::move(first));
        } else {
            std::copy_n(mBlocks.front().get(), mSize, first.get());
            mBlocks.front() = std::move(first);
        }
        mCapacity = capacity;
    }

    size_t countIn(size_t block) const { return std::min(kBlockSize, mSize - block * kBlockSize); }

    std::vector<std::unique_ptr<T[]>> mBlocks;
    size_t mSize = 0;
    size_t mCapacity = 0;
};

}  // namespace ov::obj
