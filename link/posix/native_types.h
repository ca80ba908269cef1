#pragma once
// POSIX meanings of the handle and error types the channel is written against.
#include <cerrno>
#include <cstdint>

using NativeHandle = int;
inline constexpr NativeHandle kInvalidNativeHandle = -1;

// POSIX transfers need no per-transfer record; the type keeps the channel's layout.
struct NativeOverlapped {};

// A transfer cut short by the stop event, or still waiting when the caller's wait ended.
inline constexpr uint32_t kErrorIoIncomplete = ECANCELED;
// A transfer that could not complete at once (the descriptor would block).
inline constexpr uint32_t kErrorIoPending = EAGAIN;
// Allocation failed; a thread could not be created.
inline constexpr uint32_t kErrorNoMemory = ENOMEM;
inline constexpr uint32_t kErrorNoThread = EAGAIN;
// The other end hung up (adapter unplugged, pseudo-terminal master closed).
inline constexpr uint32_t kErrorHangUp = EIO;
