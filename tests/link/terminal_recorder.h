#pragma once
// Records the order of the terminal calls that matter on a real UART (write,
// drain, speed change) while passing them on to the system. A fake queue can
// hold "bytes not yet sent" for a while, as a slow line would.
#include <termios.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "link/posix/terminal_calls.h"

class TerminalRecorder {
public:
    TerminalRecorder() {
        Instance() = this;
        ActiveTerminalCalls() = TerminalCalls{Write, OutputQueued, Drain, SetAttributes, RequestLowLatency};
    }
    ~TerminalRecorder() {
        ActiveTerminalCalls() = SystemTerminalCalls();
        Instance() = nullptr;
    }
    TerminalRecorder(const TerminalRecorder&) = delete;
    TerminalRecorder& operator=(const TerminalRecorder&) = delete;

    // "write", "drain", "speed <baud>" and "low latency" in call order; runs of
    // writes count once.
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }
    // The driver's queue reports this many bytes for the next queueReports looks.
    void HoldQueue(int bytes, int queueReports) {
        m_heldBytes = bytes;
        m_heldReports = queueReports;
    }
    int QueueLooks() const { return m_queueLooks; }
    // The driver grants the low-latency request, as a USB adapter's does; by
    // default it is passed on (a pseudo-terminal refuses it).
    void GrantLowLatency() { m_grantLowLatency = true; }

private:
    static TerminalRecorder*& Instance() {
        static TerminalRecorder* instance = nullptr;
        return instance;
    }
    void Add(const std::string& call) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (call == "write" && !m_calls.empty() && m_calls.back() == "write") return;
        m_calls.push_back(call);
    }
    static ssize_t Write(int fd, const void* buffer, size_t count) {
        Instance()->Add("write");
        return SystemTerminalCalls().write(fd, buffer, count);
    }
    static int OutputQueued(int fd, int* bytes) {
        TerminalRecorder& self = *Instance();
        ++self.m_queueLooks;
        if (self.m_heldReports > 0) {
            --self.m_heldReports;
            *bytes = self.m_heldBytes;
            return 0;
        }
        return SystemTerminalCalls().outputQueued(fd, bytes);
    }
    static int Drain(int fd) {
        Instance()->Add("drain");
        return SystemTerminalCalls().drain(fd);
    }
    static int SetAttributes(int fd, const termios* tio) {
        Instance()->Add("speed " + std::to_string(BaudOf(cfgetospeed(tio))));
        return SystemTerminalCalls().setAttributes(fd, tio);
    }
    static int RequestLowLatency(int fd) {
        Instance()->Add("low latency");
        if (Instance()->m_grantLowLatency) return 0;
        return SystemTerminalCalls().requestLowLatency(fd);
    }
    static unsigned BaudOf(speed_t speed) {
        switch (speed) {
            case B1200: return 1200;
            case B2400: return 2400;
            case B4800: return 4800;
            case B9600: return 9600;
            case B19200: return 19200;
            case B38400: return 38400;
            case B57600: return 57600;
            case B115200: return 115200;
            default: return 0;
        }
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::atomic<int> m_heldBytes{0};
    std::atomic<int> m_heldReports{0};
    std::atomic<int> m_queueLooks{0};
    std::atomic<bool> m_grantLowLatency{false};
};
