// The replaced global allocation functions of the link tests, in a file of
// their own so the compiler never sees a new-expression paired with free().
#include "failing_allocation.h"

#include <cstdlib>
#include <new>

thread_local int t_failNextAllocations = 0;

void* operator new(std::size_t size) {
    if (t_failNextAllocations > 0) {
        --t_failNextAllocations;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
