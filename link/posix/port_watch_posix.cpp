// Port changes on Linux: libudev's monitor of the tty subsystem, read on a
// thread that also watches a stop event. The monitor hears the udev daemon,
// so the device node exists by the time a change is reported.
#include <libudev.h>
#include <poll.h>

#include <thread>

#include "link/handles.h"
#include "link/port_watch_backend.h"

struct CPortWatch::CBackend::State {
    std::function<void()> report;
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    CKernelHandle stop;
    std::thread thread;

    ~State() {
        if (monitor != nullptr) udev_monitor_unref(monitor);
        if (context != nullptr) udev_unref(context);
    }

    [[nodiscard]] bool Open() {
        context = udev_new();
        if (context == nullptr) return false;
        monitor = udev_monitor_new_from_netlink(context, "udev");
        if (monitor == nullptr) return false;
        return udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) >= 0 &&
               udev_monitor_enable_receiving(monitor) >= 0 && stop.CreateEvent(true);
    }

    void Loop() {
        pollfd fds[2] = {{udev_monitor_get_fd(monitor), POLLIN, 0}, {stop.Get(), POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) continue;  // EINTR: look again
            if (fds[1].revents != 0) return;
            if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
            if ((fds[0].revents & POLLIN) == 0) continue;
            // One report for every device event; the receiver lists ports anew.
            if (udev_device* device = udev_monitor_receive_device(monitor)) {
                udev_device_unref(device);
                report();
            }
        }
    }
};

CPortWatch::CBackend::CBackend(std::function<void()> report) : m_state(std::make_unique<State>()) {
    m_state->report = std::move(report);
}

CPortWatch::CBackend::~CBackend() {
    if (!m_state->thread.joinable()) return;
    m_state->stop.Signal();
    m_state->thread.join();
}

bool CPortWatch::CBackend::Start() {
    if (!m_state->Open()) return false;
    m_state->thread = std::thread([state = m_state.get()] { state->Loop(); });
    return true;
}
