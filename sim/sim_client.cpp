#include "sim/sim_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
}  // namespace

bool SimClient::Open(const std::string& path, std::string& error) {
    Close();
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsValid()) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (tcgetattr(fd.Get(), &tio) != 0) {
        error = path + " is not a serial device: " + std::strerror(errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd.Get(), TCSANOW, &tio) != 0) {
        error = "cannot set raw mode on " + path + ": " + std::strerror(errno);
        return false;
    }
    tcflush(fd.Get(), TCIOFLUSH);
    m_fd = std::move(fd);
    return true;
}

void SimClient::Close() {
    m_fd.Close();
    m_buffer.clear();
    m_decoder.Reset();
}

bool SimClient::WriteRaw(const std::vector<uint8_t>& bytes) {
    if (!m_fd.IsValid()) return false;
    size_t done = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        const ssize_t n = write(m_fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{m_fd.Get(), POLLOUT, 0};
            if (poll(&p, 1, RemainingMs(deadline)) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

bool SimClient::Send(const std::vector<uint8_t>& message) {
    uint8_t frame[MAX_FRAME_LENGTH];
    const size_t n = BuildFrame(message.data(), static_cast<uint32_t>(message.size()), frame, sizeof frame);
    return n > 0 && WriteRaw(std::vector<uint8_t>(frame, frame + n));
}

SimClient::Result SimClient::Fill(int timeoutMs) {
    if (!m_fd.IsValid()) return Result::Error;
    pollfd p{m_fd.Get(), POLLIN, 0};
    const int rc = poll(&p, 1, timeoutMs);
    if (rc < 0) return errno == EINTR ? Result::Timeout : Result::Error;
    if (rc == 0) return Result::Timeout;
    uint8_t buffer[4096];
    const ssize_t n = read(m_fd.Get(), buffer, sizeof buffer);
    if (n > 0) {
        m_buffer.insert(m_buffer.end(), buffer, buffer + n);
        return Result::Frame;  // bytes came
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return Result::Timeout;
    // Read 0 or EIO after POLLHUP: the master side is gone.
    if (n == 0 || errno == EIO || (p.revents & POLLHUP)) return Result::HangUp;
    return Result::Error;
}

SimClient::Result SimClient::Receive(std::vector<uint8_t>& message, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t consumed = 0;
        const FrameDecoder::Status status = m_decoder.Feed(m_buffer.data(), m_buffer.size(), consumed);
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(consumed));
        if (status == FrameDecoder::Status::Frame) {
            message.assign(m_body, m_body + m_decoder.MessageLength());
            return Result::Frame;
        }
        if (status != FrameDecoder::Status::NeedMore) return Result::BadFrame;
        const int left = RemainingMs(deadline);
        const Result filled = Fill(left);
        if (filled == Result::Timeout && left == 0) return Result::Timeout;
        if (filled == Result::HangUp || filled == Result::Error) return filled;
    }
}

std::vector<uint8_t> SimClient::ReadRaw(int timeoutMs, bool& hungUp) {
    hungUp = false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int left = RemainingMs(deadline);
        if (left == 0) break;
        const Result filled = Fill(left);
        if (filled == Result::HangUp) {
            hungUp = true;
            break;
        }
        if (filled == Result::Error) break;
    }
    std::vector<uint8_t> bytes;
    bytes.swap(m_buffer);
    m_decoder.Reset();
    return bytes;
}
