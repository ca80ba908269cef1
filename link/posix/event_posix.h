#pragma once
// The part of a POSIX event that differs between its two kinds (an eventfd
// counter on Linux, a pipe elsewhere); the waiting is shared.

// Takes every pending signal out of the descriptor a wait watches; true when
// there was at least one.
bool DrainEventDescriptor(int fd);
