#pragma once
// This test program replaces the global operator new so that a test can make
// the next allocation fail, as memory exhaustion would.
#include <atomic>

// The next n allocations (any thread) throw std::bad_alloc.
extern std::atomic<int> g_failNextAllocations;
