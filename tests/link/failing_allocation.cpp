// The replaced global allocation functions of the link tests, in a file of
// their own so the compiler never sees a new-expression paired with free().
#include "failing_allocation.h"

#include <cstdlib>
#include <new>

std::atomic<int> g_failNextAllocations{0};

void* operator new(std::size_t size) {
    int pending = g_failNextAllocations.load(std::memory_order_relaxed);
    while (pending > 0)
        if (g_failNextAllocations.compare_exchange_weak(pending, pending - 1)) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
