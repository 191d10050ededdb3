#pragma once

#include <cstdint>
#include <functional>

// Heap bytes a call adds at its peak over what was live before it, counted
// through the program's replaced operator new and delete (linking
// ov_bench_heap replaces them).
int64_t peakExtraHeap(const std::function<void()>& call);
