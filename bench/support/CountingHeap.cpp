// Global operator new and delete that count the live heap bytes and their
// peak, for benchmarks that report the memory a call adds.
#include "support/CountingHeap.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<int64_t> gLiveBytes{0};
std::atomic<int64_t> gPeakBytes{0};
constexpr size_t kBlockHeader = alignof(std::max_align_t);

void* allocateCounted(size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kBlockHeader));
    if (!block) {
        throw std::bad_alloc();
    }
    std::memcpy(block, &size, sizeof size);
    const int64_t live = gLiveBytes += static_cast<int64_t>(size);
    int64_t peak = gPeakBytes.load();
    while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live)) {
    }
    return block + kBlockHeader;
}

void releaseCounted(void* pointer) {
    if (!pointer) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(pointer) - kBlockHeader;
    size_t size;
    std::memcpy(&size, block, sizeof size);
    gLiveBytes -= static_cast<int64_t>(size);
    std::free(block);
}

}  // namespace

int64_t peakExtraHeap(const std::function<void()>& call) {
    const int64_t before = gLiveBytes.load();
    gPeakBytes = before;
    call();
    return gPeakBytes.load() - before;
}

void* operator new(size_t size) {
    return allocateCounted(size);
}
void* operator new[](size_t size) {
    return allocateCounted(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocateCounted(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocateCounted(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* pointer) noexcept {
    releaseCounted(pointer);
}
void operator delete[](void* pointer) noexcept {
    releaseCounted(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    releaseCounted(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    releaseCounted(pointer);
}
