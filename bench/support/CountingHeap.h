#pragma once

#include <cstdint>
#include <functional>

// Heap bytes a call adds at its peak over what was live before it. Counts
// what goes through operator new in the whole program (the benchmark links
// CountingHeap.cpp, which replaces it).
int64_t peakExtraHeap(const std::function<void()>& call);
