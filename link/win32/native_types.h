#pragma once
// Win32 meanings of the handle and error types the channel is written against.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>

// The channel declares the EscapeCommFunction codes itself (same values) as
// constants; the system's macros of those names would turn them into numbers.
#undef SETRTS
#undef CLRRTS
#undef SETDTR
#undef CLRDTR

using NativeHandle = HANDLE;
inline const NativeHandle kInvalidNativeHandle = INVALID_HANDLE_VALUE;

using NativeOverlapped = OVERLAPPED;

inline constexpr uint32_t kErrorIoIncomplete = ERROR_IO_INCOMPLETE;  // 996
inline constexpr uint32_t kErrorIoPending = ERROR_IO_PENDING;        // 997
inline constexpr uint32_t kErrorNoMemory = ERROR_NOT_ENOUGH_MEMORY;
inline constexpr uint32_t kErrorNoThread = ERROR_NO_SYSTEM_RESOURCES;
// Windows drivers report a vanished device in several ways; this is the usual one.
inline constexpr uint32_t kErrorHangUp = ERROR_OPERATION_ABORTED;
