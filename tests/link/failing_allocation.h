#pragma once
// This test program replaces the global operator new so that a test can make
// the next allocation fail, as memory exhaustion would.

// The next n allocations of the calling thread throw std::bad_alloc.
extern thread_local int t_failNextAllocations;
