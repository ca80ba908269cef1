// The replaced global allocation functions of the CLI's part tests. Kept in a
// file of their own so the compiler never sees a new-expression paired with
// free().
#include "allocation_counter.h"

#include <cstdlib>
#include <new>

std::atomic<bool> g_countAllocations{false};
std::atomic<int> g_allocations{0};

void* operator new(std::size_t size) {
    if (g_countAllocations.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
