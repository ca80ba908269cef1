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

#include "link/protocol.h"

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

// What the serving thread keeps between its steps: requests whose bytes are
// still arriving at line pace, replies not yet started, the frame being
// written, and how serving ends.
struct DeviceSimulator::Pending {
    struct Incoming {
        Clock::time_point ready;  // when its last byte could have arrived
        std::vector<uint8_t> message;
    };
    struct Outgoing {
        Clock::time_point due;
        uint64_t sequence;
        std::vector<uint8_t> bytes;
    };
    explicit Pending(int lineFd, int wakeFd) : line(lineFd), wake(wakeFd), decoder(body) {}

    const int line;
    const int wake;
    uint8_t body[MAX_MESSAGE_LENGTH]{};
    FrameDecoder decoder;
    std::deque<Incoming> incoming;
    std::vector<Outgoing> outgoing;  // frames not started yet
    std::vector<uint8_t> current;    // the frame being written
    size_t written = 0;
    bool writing = false;
    bool holding = false;             // the frame goes out whole at releaseAt
    Clock::time_point releaseAt{};
    Clock::duration replyHold{};      // zero: no adapter hold
    bool blocked = false;  // the line took no more bytes; wait for POLLOUT
    uint64_t sequence = 0;
    Clock::time_point inputFree{}, outputFree{};  // when the paced line is free again
    Clock::duration byteTime{};                   // zero: unpaced
    bool hangUp = false;
    bool lost = false;
    std::string failure;

    bool Paced() const { return byteTime.count() > 0; }
    void Lose(std::string why) {
        failure = std::move(why);
        lost = true;
    }
};

void DeviceSimulator::Log(bool error, const std::string& text) const {
    Logger logger;
    {
        std::lock_guard lock(m_lock);
        logger = m_logger;
    }
    if (logger) logger(error, text);
}

// The time one byte takes at the current line rate (zero: unpaced). Read anew
// after every wake-up, since the faults may change at any time.
std::chrono::steady_clock::duration DeviceSimulator::ByteTime() const {
    std::lock_guard lock(m_lock);
    const uint32_t rate = m_protocol.Faults().lineRate;
    return rate > 0 ? Clock::duration(std::chrono::nanoseconds(10'000'000'000ull / rate)) : Clock::duration{};
}

std::chrono::steady_clock::duration DeviceSimulator::ReplyHold() const {
    std::lock_guard lock(m_lock);
    return std::chrono::milliseconds(m_protocol.Faults().replyHoldMs);
}

namespace {
// What a full-speed FTDI adapter passes on in one USB packet (64 bytes, two
// of them its status): a reply that fills one goes on without waiting.
constexpr size_t kAdapterPacketBytes = 62;
}  // namespace

// A USB adapter holds a short reply until its latency timer runs out, counted
// from the reply's first byte: the whole frame reaches the host then, or once
// its last byte has crossed the line if that comes later. The line itself is
// busy for the frame's own time only.
void DeviceSimulator::StartHold(Pending& p, Clock::time_point now) {
    p.holding = p.replyHold.count() > 0 && p.current.size() < kAdapterPacketBytes;
    if (!p.holding) return;
    const Clock::time_point start = p.Paced() ? p.outputFree : now;
    const Clock::time_point lastByte = start + p.byteTime * static_cast<int64_t>(p.current.size());
    p.releaseAt = std::max(start + p.byteTime + p.replyHold, lastByte);
    if (p.Paced()) p.outputFree = lastByte;
}

// The serving thread. It owns the line while m_serving is set: nothing else
// touches m_line or m_slave until it has cleared the flag.
void DeviceSimulator::Serve() {
    Pending p(m_line.Get(), m_wake.Get());
    while (!m_stop && !p.hangUp && !p.lost) {
        {
            std::lock_guard lock(m_lock);
            if (m_hangUpRequested) break;
        }
        p.byteTime = ByteTime();
        p.replyHold = ReplyHold();
        const Clock::time_point now = Clock::now();
        HandleArrivedRequests(p, now);
        if (p.hangUp) break;
        WriteDueReplies(p, now);
        if (p.lost) break;
        if (!WaitForLine(p)) break;
    }
    EndServing(p);
}

// Requests whose bytes have all arrived: the device reacts, its replies queued.
void DeviceSimulator::HandleArrivedRequests(Pending& p, Clock::time_point now) {
    while (!p.hangUp && !p.incoming.empty() && p.incoming.front().ready <= now) {
        Pending::Incoming request = std::move(p.incoming.front());
        p.incoming.pop_front();
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
                p.hangUp = true;
                break;
            }
            p.outgoing.push_back(
                {request.ready + std::chrono::milliseconds(e.delayMs), p.sequence++, std::move(e.bytes)});
        }
        if (p.outgoing.size() > MAX_QUEUED_FRAMES) p.outgoing.erase(p.outgoing.begin());
    }
}

// Replies whose time has come, one frame after the other, at line pace.
void DeviceSimulator::WriteDueReplies(Pending& p, Clock::time_point now) {
    while (!p.blocked) {
        if (!p.writing) {
            auto next = p.outgoing.end();
            for (auto it = p.outgoing.begin(); it != p.outgoing.end(); ++it) {
                if (it->due <= now && (next == p.outgoing.end() || it->due < next->due ||
                                       (it->due == next->due && it->sequence < next->sequence)))
                    next = it;
            }
            if (next == p.outgoing.end()) return;
            p.current = std::move(next->bytes);
            p.outgoing.erase(next);
            p.written = 0;
            p.writing = true;
            if (p.Paced() && p.outputFree < now) p.outputFree = now;
            StartHold(p, now);
        }
        size_t allowed = p.current.size() - p.written;
        if (p.holding) {
            if (now < p.releaseAt) return;
        } else if (p.Paced()) {
            // A byte goes out once it could have been sent completely.
            if (now < p.outputFree + p.byteTime) return;
            const auto due = static_cast<size_t>((now - p.outputFree) / p.byteTime);
            allowed = std::min(allowed, due);
        }
        const ssize_t n = write(p.line, p.current.data() + p.written, allowed);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                p.blocked = true;
                return;
            }
            p.Lose(ErrnoText("write to the line failed", errno));
            return;
        }
        p.written += static_cast<size_t>(n);
        if (p.Paced() && !p.holding) p.outputFree += p.byteTime * n;
        if (p.written == p.current.size()) {
            p.writing = false;
            p.current.clear();
        } else if (static_cast<size_t>(n) < allowed) {
            p.blocked = true;
        }
    }
}

// Sleeps until a request is ready, a reply is due or the line moves, and
// takes what arrived. False when the line is lost.
bool DeviceSimulator::WaitForLine(Pending& p) {
    Clock::time_point deadline = Clock::time_point::max();
    if (!p.incoming.empty()) deadline = p.incoming.front().ready;
    if (!p.blocked) {
        if (p.writing) {
            if (p.holding) deadline = std::min(deadline, p.releaseAt);
            else if (p.Paced()) deadline = std::min(deadline, p.outputFree + p.byteTime);
        } else {
            for (const Pending::Outgoing& o : p.outgoing) deadline = std::min(deadline, o.due);
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
    pollfd fds[2] = {{p.line, static_cast<short>(POLLIN | (p.blocked ? POLLOUT : 0)), 0}, {p.wake, POLLIN, 0}};
    if (ppoll(fds, 2, timeoutPointer, nullptr) < 0) {
        if (errno == EINTR) return true;
        p.Lose(ErrnoText("poll failed", errno));
        return false;
    }
    if (fds[1].revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] const ssize_t n = read(p.wake, &count, sizeof count);
    }
    if (fds[0].revents & POLLNVAL) {
        p.Lose("the line descriptor is no longer valid");
        return false;
    }
    if (fds[0].revents & POLLOUT) p.blocked = false;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) ReadLine(p, (fds[0].revents & (POLLHUP | POLLERR)) != 0);
    return !p.lost;
}

// Takes the bytes that arrived and decodes them into requests, each ready
// once its last byte could have come at line pace.
void DeviceSimulator::ReadLine(Pending& p, bool hungUp) {
    p.byteTime = ByteTime();
    bool gotBytes = false;
    for (;;) {
        uint8_t buffer[4096];
        const ssize_t n = read(p.line, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (n <= 0) {
            // End of file or EIO: the other end of the line is gone.
            p.Lose(n == 0 ? "the line was closed" : ErrnoText("the line hung up", errno));
            return;
        }
        gotBytes = true;
        const Clock::time_point arrived = Clock::now();
        for (ssize_t i = 0; i < n; ++i) {
            Clock::time_point at = arrived;
            if (p.Paced()) {
                p.inputFree = std::max(p.inputFree, arrived) + p.byteTime;
                at = p.inputFree;
            }
            const FrameDecoder::Status status = p.decoder.Feed(buffer[i]);
            if (status == FrameDecoder::Status::Frame) {
                p.incoming.push_back({at, std::vector<uint8_t>(p.body, p.body + p.decoder.MessageLength())});
            } else if (status == FrameDecoder::Status::BadChecksum) {
                Log(false, "frame with a bad checksum ignored");
            }
        }
    }
    if (!gotBytes && hungUp) p.Lose("the line hung up");
}

void DeviceSimulator::EndServing(Pending& p) {
    {
        std::lock_guard lock(m_lock);
        if (p.hangUp || p.lost || m_hangUpRequested) CloseLineLocked();
        if (p.lost) m_failure = p.failure;
        m_hangUpRequested = false;
        m_serving = false;
    }
    m_changed.notify_all();
    if (p.hangUp) Log(false, "hung up the line");
    if (p.lost) Log(true, p.failure);
}
