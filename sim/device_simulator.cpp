#include "sim/device_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>

#include "link/device_link.h"

namespace {
using Clock = std::chrono::steady_clock;

std::string ErrnoText(const std::string& what, int code) { return what + ": " + std::strerror(code); }

bool SpeedOf(uint32_t baud, speed_t& speed) {
    static const struct {
        uint32_t rate;
        speed_t speed;
    } table[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& entry : table) {
        if (entry.rate == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

// Raw 8-bit mode, receiver on, modem lines ignored; reads return what is there.
bool MakeRaw(int fd, const speed_t* speed, std::string& error) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = ErrnoText("not a serial device", errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (speed != nullptr && (cfsetispeed(&tio, *speed) != 0 || cfsetospeed(&tio, *speed) != 0)) {
        error = ErrnoText("cannot set the line speed", errno);
        return false;
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = ErrnoText("cannot set raw mode", errno);
        return false;
    }
    return true;
}

bool AddFlags(int fd, int statusFlags) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | statusFlags) != 0) return false;
    const int fdFlags = fcntl(fd, F_GETFD);
    return fdFlags >= 0 && fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) == 0;
}

// Writes the file beside its final name first, so a reader never sees half an image.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = ErrnoText("cannot write " + temporary, errno);
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        error = ErrnoText("cannot write " + temporary, written ? errno : writeError);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = ErrnoText("cannot rename " + temporary + " to " + path, errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// Frames not yet started are kept up to this count; older ones are dropped when
// nobody reads the line.
constexpr size_t MAX_QUEUED_FRAMES = 4096;
}  // namespace

DeviceSimulator::DeviceSimulator() : m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

DeviceSimulator::~DeviceSimulator() { Stop(); }

bool DeviceSimulator::CreatePty(std::string& error) {
    std::lock_guard control(m_control);
    std::lock_guard lock(m_lock);
    if (m_serving) {
        error = "the simulator is running";
        return false;
    }
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        error = ErrnoText("cannot create a pseudo-terminal", errno);
        return false;
    }
    UniqueFd masterFd(master), slaveFd(slave);
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        error = ErrnoText("cannot name the pseudo-terminal", errno);
        return false;
    }
    // The slave starts in cooked mode with echo; the master is polled, never blocks.
    if (!MakeRaw(slave, nullptr, error)) return false;
    if (!AddFlags(master, O_NONBLOCK) || !AddFlags(slave, 0)) {
        error = ErrnoText("cannot set the descriptor flags", errno);
        return false;
    }
    m_line = std::move(masterFd);
    m_slave = std::move(slaveFd);
    m_portPath = name;
    m_lineClosed = false;
    return true;
}

bool DeviceSimulator::OpenDevice(const std::string& path, std::string& error) {
    return OpenDevice(path, LINK_BAUD_RATE, error);
}

bool DeviceSimulator::OpenDevice(const std::string& path, uint32_t baudRate, std::string& error) {
    std::lock_guard control(m_control);
    std::lock_guard lock(m_lock);
    if (m_serving) {
        error = "the simulator is running";
        return false;
    }
    speed_t speed;
    if (!SpeedOf(baudRate, speed)) {
        error = "unsupported line speed " + std::to_string(baudRate);
        return false;
    }
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsValid()) {
        error = ErrnoText("cannot open " + path, errno);
        return false;
    }
    if (!MakeRaw(fd.Get(), &speed, error)) {
        error = path + ": " + error;
        return false;
    }
    // Bytes from an earlier user of the line may still be queued.
    tcflush(fd.Get(), TCIOFLUSH);
    m_slave.Close();
    m_line = std::move(fd);
    m_portPath = path;
    m_lineClosed = false;
    return true;
}

std::string DeviceSimulator::PortPath() const {
    std::lock_guard lock(m_lock);
    return m_portPath;
}

void DeviceSimulator::SetCpuCount(int count) {
    std::lock_guard lock(m_lock);
    m_protocol.SetCpuCount(count);
}

void DeviceSimulator::SetIdentity(const SimIdentity& identity, int cpu) {
    std::lock_guard lock(m_lock);
    m_protocol.SetIdentity(identity, cpu);
}

SimIdentity DeviceSimulator::Identity(int cpu) const {
    std::lock_guard lock(m_lock);
    return m_protocol.Identity(cpu);
}

void DeviceSimulator::SetFaults(const SimFaults& faults) {
    {
        std::lock_guard lock(m_lock);
        m_protocol.SetFaults(faults);
    }
    Wake();  // the line rate may have changed
}

SimFaults DeviceSimulator::Faults() const {
    std::lock_guard lock(m_lock);
    return m_protocol.Faults();
}

void DeviceSimulator::SetSaveImagePath(const std::string& path, int cpu) {
    std::lock_guard lock(m_lock);
    m_saveImagePath[SimCpuIndex(cpu)] = path;
}

void DeviceSimulator::SetLogger(Logger logger) {
    std::lock_guard lock(m_lock);
    m_logger = std::move(logger);
}

void DeviceSimulator::Wake() const {
    if (!m_wake.IsValid()) return;
    const uint64_t one = 1;
    // A full counter already means a pending wake-up.
    [[maybe_unused]] const ssize_t n = write(m_wake.Get(), &one, sizeof one);
}

bool DeviceSimulator::Start() {
    std::lock_guard control(m_control);
    {
        std::lock_guard lock(m_lock);
        if (m_serving) return false;
    }
    // A thread that ended by itself (hang-up, lost line) is still to be joined.
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_lock);
    if (!m_line.IsValid() || !m_wake.IsValid()) return false;
    m_stop = false;
    m_failure.clear();
    m_serving = true;
    m_thread = std::thread(&DeviceSimulator::Serve, this);
    return true;
}

void DeviceSimulator::Stop() {
    std::lock_guard control(m_control);
    m_stop = true;
    Wake();
    if (m_thread.joinable()) m_thread.join();
}

void DeviceSimulator::HangUp() {
    std::lock_guard control(m_control);
    std::unique_lock lock(m_lock);
    if (m_serving) {
        m_hangUpRequested = true;
        Wake();
        m_changed.wait(lock, [this] { return !m_serving; });
    }
    CloseLineLocked();
    m_hangUpRequested = false;
}

void DeviceSimulator::CloseLineLocked() {
    m_line.Close();
    m_slave.Close();
    m_lineClosed = true;
}

std::string DeviceSimulator::Failure() const {
    std::lock_guard lock(m_lock);
    return m_failure;
}

bool DeviceSimulator::Running() const {
    std::lock_guard lock(m_lock);
    return m_serving;
}

std::vector<DeviceSimulator::Request> DeviceSimulator::Requests() const {
    std::lock_guard lock(m_lock);
    return m_requests;
}

void DeviceSimulator::ClearRequests() {
    std::lock_guard lock(m_lock);
    m_requests.clear();
}

size_t DeviceSimulator::CountRequests(uint8_t command) const {
    std::lock_guard lock(m_lock);
    return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                             [command](const Request& r) { return r.command == command; }));
}

bool DeviceSimulator::WaitForRequests(uint8_t command, size_t count, int timeoutMs) const {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
        return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(), [command](const Request& r) {
                   return r.command == command;
               })) >= count;
    });
}

bool DeviceSimulator::WaitForEnd(int timeoutMs) const {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                              [this] { return !m_serving; });
}

std::vector<uint8_t> DeviceSimulator::Image(int cpu) const {
    std::lock_guard lock(m_lock);
    return m_protocol.Image(cpu);
}

size_t DeviceSimulator::EndCount(int cpu) const {
    std::lock_guard lock(m_lock);
    return m_protocol.EndCount(cpu);
}

size_t DeviceSimulator::AcknowledgedBlocks() const {
    std::lock_guard lock(m_lock);
    return static_cast<size_t>(m_protocol.AcknowledgedBlocks());
}

// The serving thread. It owns the line while m_serving is set: nothing else
// touches m_line or m_slave until it has cleared the flag.
void DeviceSimulator::Serve() {
    const int line = m_line.Get();
    const int wake = m_wake.Get();

    struct Incoming {
        Clock::time_point ready;  // when its last byte could have arrived
        std::vector<uint8_t> message;
    };
    struct Outgoing {
        Clock::time_point due;
        uint64_t sequence;
        std::vector<uint8_t> bytes;
    };
    uint8_t body[MAX_MESSAGE_LENGTH];
    FrameDecoder decoder(body);
    std::deque<Incoming> incoming;
    std::vector<Outgoing> outgoing;  // frames not started yet
    std::vector<uint8_t> current;    // the frame being written
    size_t written = 0;
    bool writing = false;
    bool blocked = false;  // the line took no more bytes; wait for POLLOUT
    uint64_t sequence = 0;
    Clock::time_point inputFree{}, outputFree{};  // when the paced line is free again
    bool hangUp = false;
    bool lost = false;
    std::string failure;

    auto log = [this](bool error, const std::string& text) {
        Logger logger;
        {
            std::lock_guard lock(m_lock);
            logger = m_logger;
        }
        if (logger) logger(error, text);
    };

    // The time one byte takes at the current line rate (zero: unpaced). Read
    // anew after every wake-up, since the faults may change at any time.
    auto byteTimeNow = [this] {
        std::lock_guard lock(m_lock);
        const uint32_t rate = m_protocol.Faults().lineRate;
        return rate > 0 ? Clock::duration(std::chrono::nanoseconds(10'000'000'000ull / rate)) : Clock::duration{};
    };

    while (!m_stop && !hangUp && !lost) {
        {
            std::lock_guard lock(m_lock);
            if (m_hangUpRequested) break;
        }
        Clock::duration byteTime = byteTimeNow();
        bool paced = byteTime.count() > 0;
        Clock::time_point now = Clock::now();

        // Requests whose bytes have all arrived.
        while (!hangUp && !incoming.empty() && incoming.front().ready <= now) {
            Incoming request = std::move(incoming.front());
            incoming.pop_front();
            SimReaction reaction;
            Logger logger;
            std::string saveError;
            {
                std::lock_guard lock(m_lock);
                reaction = m_protocol.Handle(request.message.data(), request.message.size());
                if (reaction.isRequest) m_requests.push_back({reaction.command, request.message, request.ready});
                const std::string& savePath = m_saveImagePath[reaction.cpu];
                if (reaction.endAccepted && !savePath.empty()) {
                    if (WriteFileAtomically(savePath, m_protocol.Image(reaction.cpu), saveError))
                        reaction.note += ", saved to " + savePath;
                }
                logger = m_logger;
            }
            m_changed.notify_all();
            if (logger && reaction.isRequest) logger(false, reaction.note);
            if (logger && !saveError.empty()) logger(true, saveError);
            for (SimEmission& e : reaction.emissions) {
                if (e.kind == SimEmission::Kind::HangUp) {
                    hangUp = true;
                    break;
                }
                outgoing.push_back({request.ready + std::chrono::milliseconds(e.delayMs), sequence++, std::move(e.bytes)});
            }
            if (outgoing.size() > MAX_QUEUED_FRAMES) outgoing.erase(outgoing.begin());
        }
        if (hangUp) break;

        // Replies whose time has come, one frame after the other, at line pace.
        while (!blocked) {
            if (!writing) {
                auto next = outgoing.end();
                for (auto it = outgoing.begin(); it != outgoing.end(); ++it) {
                    if (it->due <= now && (next == outgoing.end() || it->due < next->due ||
                                           (it->due == next->due && it->sequence < next->sequence)))
                        next = it;
                }
                if (next == outgoing.end()) break;
                current = std::move(next->bytes);
                outgoing.erase(next);
                written = 0;
                writing = true;
                if (paced && outputFree < now) outputFree = now;
            }
            size_t allowed = current.size() - written;
            if (paced) {
                // A byte goes out once it could have been sent completely.
                if (now < outputFree + byteTime) break;
                const auto due = static_cast<size_t>((now - outputFree) / byteTime);
                allowed = std::min(allowed, due);
            }
            const ssize_t n = write(line, current.data() + written, allowed);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    blocked = true;
                    break;
                }
                failure = ErrnoText("write to the line failed", errno);
                lost = true;
                break;
            }
            written += static_cast<size_t>(n);
            if (paced) outputFree += byteTime * n;
            if (written == current.size()) {
                writing = false;
                current.clear();
            } else if (static_cast<size_t>(n) < allowed) {
                blocked = true;
            }
        }
        if (lost) break;

        // Sleep until a request is ready, a reply is due or the line moves.
        Clock::time_point deadline = Clock::time_point::max();
        if (!incoming.empty()) deadline = incoming.front().ready;
        if (!blocked) {
            if (writing) {
                if (paced) deadline = std::min(deadline, outputFree + byteTime);
            } else {
                for (const Outgoing& o : outgoing) deadline = std::min(deadline, o.due);
            }
        }
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (deadline != Clock::time_point::max()) {
            const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::max(deadline - Clock::now(), Clock::duration::zero()));
            timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
            timeoutPointer = &timeout;
        }
        pollfd fds[2] = {{line, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0}, {wake, POLLIN, 0}};
        if (ppoll(fds, 2, timeoutPointer, nullptr) < 0) {
            if (errno == EINTR) continue;
            failure = ErrnoText("poll failed", errno);
            lost = true;
            break;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] const ssize_t n = read(wake, &count, sizeof count);
        }
        if (fds[0].revents & POLLNVAL) {
            failure = "the line descriptor is no longer valid";
            lost = true;
            break;
        }
        if (fds[0].revents & POLLOUT) blocked = false;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            byteTime = byteTimeNow();
            paced = byteTime.count() > 0;
            bool gotBytes = false;
            for (;;) {
                uint8_t buffer[4096];
                const ssize_t n = read(line, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && errno == EAGAIN) break;
                if (n <= 0) {
                    // End of file or EIO: the other end of the line is gone.
                    failure = n == 0 ? "the line was closed" : ErrnoText("the line hung up", errno);
                    lost = true;
                    break;
                }
                gotBytes = true;
                const Clock::time_point arrived = Clock::now();
                for (ssize_t i = 0; i < n; ++i) {
                    Clock::time_point at = arrived;
                    if (paced) {
                        inputFree = std::max(inputFree, arrived) + byteTime;
                        at = inputFree;
                    }
                    const FrameDecoder::Status status = decoder.Feed(buffer[i]);
                    if (status == FrameDecoder::Status::Frame) {
                        incoming.push_back({at, std::vector<uint8_t>(body, body + decoder.MessageLength())});
                    } else if (status == FrameDecoder::Status::BadChecksum) {
                        log(false, "frame with a bad checksum ignored");
                    }
                }
            }
            if (!gotBytes && !lost && (fds[0].revents & (POLLHUP | POLLERR))) {
                failure = "the line hung up";
                lost = true;
            }
        }
    }

    {
        std::lock_guard lock(m_lock);
        if (hangUp || lost || m_hangUpRequested) CloseLineLocked();
        if (lost) m_failure = failure;
        m_hangUpRequested = false;
        m_serving = false;
    }
    m_changed.notify_all();
    if (hangUp) log(false, "hung up the line");
    if (lost) log(true, failure);
}
