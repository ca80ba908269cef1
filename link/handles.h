#pragma once
// Small owners of system handles. Each is empty after every close, and closing
// twice is harmless. An object is used by one thread at a time, except where a
// class says otherwise.
#include <cstdint>
#include <mutex>
#include <thread>

#include "native_types.h"

// A system file or port handle plus the last system error of a call made through it.
class CFileHandle {
public:
    NativeHandle m_handle = kInvalidNativeHandle;
    uint32_t m_lastError = 0;

    CFileHandle() = default;
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    // Files are closed by their owner, never by destruction (see CSerialPort).
    ~CFileHandle() = default;

    [[nodiscard]] bool IsValid() const { return m_handle != kInvalidNativeHandle; }

    // count: bytes wanted on entry, bytes transferred on return. On an invalid
    // handle: count 0, false, m_lastError untouched. With an overlapped record a
    // false result with m_lastError == kErrorIoPending means "still under way".
    [[nodiscard]] bool Read(void* buffer, uint32_t& count, NativeOverlapped* overlapped);
    [[nodiscard]] bool Write(const void* buffer, uint32_t& count, NativeOverlapped* overlapped);

    // Closes a held handle and empties the holder; false when nothing was held.
    bool Close();
};

// The owner of one event. Empty when it holds none. Signal() may be called from
// any thread while another thread waits; everything else belongs to the owner.
class CKernelHandle {
public:
    CKernelHandle() = default;
    CKernelHandle(const CKernelHandle&) = delete;
    CKernelHandle& operator=(const CKernelHandle&) = delete;
    ~CKernelHandle() { Close(); }

    [[nodiscard]] bool IsEmpty() const { return m_handle == kInvalidNativeHandle; }
    NativeHandle Get() const { return m_handle; }

    // Creates an unnamed, non-signalled event. A manual-reset event stays
    // signalled until reset; an auto-reset one is consumed by exactly one wait.
    [[nodiscard]] bool CreateEvent(bool manualReset);
    bool Signal();
    bool Reset();
    enum class WaitResult { Signalled, TimedOut, Failed };
    // Waits up to timeoutMs (kInfinite: no limit); consumes an auto-reset signal.
    WaitResult Wait(uint32_t timeoutMs);

    bool Close();

private:
    NativeHandle m_handle = kInvalidNativeHandle;  // what a wait watches
    // Where a signal is written, for events made of two descriptors (a POSIX
    // pipe's write end); empty where one handle does both.
    NativeHandle m_signalHandle = kInvalidNativeHandle;
    bool m_manualReset = false;
};

// The owner of the link's worker thread.
class CWorkerThread {
public:
    CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    ~CWorkerThread() { WaitForExit(); }

    [[nodiscard]] bool IsEmpty() const { return !m_thread.joinable(); }
    // Runs entry(argument) on a new thread; false when it cannot be created
    // (no thread, or no memory for one), with the cause in LastError().
    [[nodiscard]] bool Start(void (*entry)(void*), void* argument);
    uint32_t LastError() const { return m_lastError; }
    // Waits until the thread has ended, then empties the holder. Harmless when
    // empty. Called by the thread itself, it lets the thread go (it is on its
    // way out) instead of waiting for itself; the holder is empty either way.
    void WaitForExit();

private:
    std::thread m_thread;
    uint32_t m_lastError = 0;
    // Held by Start() while it fills m_thread; the new thread takes it once
    // before it runs entry, so a WaitForExit() from the thread itself always
    // finds its own holder filled.
    std::mutex m_starting;
};

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
