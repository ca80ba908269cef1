#pragma once
// Counts the allocations made through operator new while armed (this test
// program replaces the global operator new for that).
#include <atomic>

extern std::atomic<bool> g_countAllocations;
extern std::atomic<int> g_allocations;
