#pragma once
// A link engine wired to a simulated device on a pseudo-terminal, with every
// posted message recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "sim/device_simulator.h"
#include "tests/support/test_data.h"

class RecordingTarget final : public IMessageTarget {
public:
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        // Notified under the lock: a waiter that sees the message may destroy
        // this target at once, while a worker that stopped itself still runs.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({message, wParam, lParam});
        m_changed.notify_all();
    }

    std::vector<LinkMessage> Messages() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    // The LN_ codes posted so far, in order.
    std::vector<int> Notifications() const {
        std::vector<int> codes;
        for (const LinkMessage& m : Messages())
            if (m.message == WM_LINK_NOTIFY) codes.push_back(static_cast<int>(m.wParam));
        return codes;
    }
    size_t Count(int code) const {
        const auto codes = Notifications();
        return static_cast<size_t>(std::count(codes.begin(), codes.end(), code));
    }
    // Waits until code has been posted at least n times.
    bool WaitFor(int code, size_t n = 1, int timeoutMs = 10000) const {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            size_t seen = 0;
            for (const LinkMessage& m : m_messages)
                if (m.message == WM_LINK_NOTIFY && static_cast<int>(m.wParam) == code) ++seen;
            return seen >= n;
        });
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.clear();
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<LinkMessage> m_messages;
};

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.CreatePty(error)) << error;
        ASSERT_TRUE(sim.Start());
        link = std::make_unique<CDeviceLink>();
        link->m_portName.Assign(sim.PortPath().c_str());
        link->m_notifyWindow = &target;
        link->m_progressWindow = &target;
    }
    void TearDown() override {
        if (link) link->Stop();
        link.reset();
        sim.Stop();
    }

    // Gives the link an image without going through a loader.
    void SetImage(const std::vector<uint8_t>& data) {
        link->m_data.reset(new uint8_t[data.size()]);
        std::copy(data.begin(), data.end(), link->m_data.get());
        link->m_length = static_cast<uint32_t>(data.size());
    }

    // Opens the port as Start() does, without a worker, so the commands can be
    // driven one at a time from the test thread. readTimeoutMs replaces the
    // link's 6 s so failing attempts are quick.
    void OpenForCommands(uint32_t readTimeoutMs = 300) {
        CSerialPort& port = link->m_port;
        port.m_portName.Assign(link->m_portName.Text());
        port.m_baudRate = LINK_BAUD_RATE;
        port.m_timeouts = CommTimeouts{0, 0, readTimeoutMs, 0, LINK_WRITE_TIMEOUT};
        ASSERT_TRUE(port.Open()) << port.m_file.m_lastError;
        link->m_running = 1;
    }

    std::vector<DeviceSimulator::Request> RequestsOf(uint8_t command) const {
        std::vector<DeviceSimulator::Request> out;
        for (const auto& r : sim.Requests())
            if (r.command == command) out.push_back(r);
        return out;
    }

        static std::vector<uint8_t> Pattern(size_t n) { return testdata::Pattern(n); }

    DeviceSimulator sim;
    RecordingTarget target;
    std::unique_ptr<CDeviceLink> link;
};
