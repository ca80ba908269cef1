// The device's command set, run by the link's worker thread.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "link/device_link.h"

void CDeviceLink::FromBigEndian32(uint32_t* value) {
    uint8_t* b = reinterpret_cast<uint8_t*>(value);
    std::swap(b[0], b[3]);
    std::swap(b[1], b[2]);
}

template <class Judge>
bool CDeviceLink::SendAndAwaitAnswer(Judge judge) {
    if (!m_port.SendFrame()) return false;
    // Up to three replies: late answers to earlier requests are skipped.
    for (int reply = 0; reply < REPLIES_PER_ATTEMPT; ++reply) {
        if (!m_port.ReceiveFrame()) return false;
        switch (judge(m_port.m_reply, m_port.m_replyLength)) {
            case ReplyVerdict::Answer: return true;
            case ReplyVerdict::EndAttempt: return false;
            case ReplyVerdict::Skip: break;
        }
    }
    return false;
}

bool CDeviceLink::FitReadToDeadline(uint32_t readTimeout) {
    using Clock = std::chrono::steady_clock;
    if (m_stepDeadline == Clock::time_point::max()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= m_stepDeadline) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_stepDeadline - now).count();
    m_port.m_timeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(std::min<int64_t>(left, readTimeout));
    (void)m_port.ApplyTimeouts();
    return true;
}

CDeviceLink::ExchangeResult CDeviceLink::Exchange(uint8_t command, int attempts) {
    const uint32_t readTimeout = m_port.m_timeouts.ReadTotalTimeoutConstant;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!m_running) return ExchangeResult::Stopped;
        if (!FitReadToDeadline(readTimeout)) return ExchangeResult::Failed;
        const uint8_t code = CommandCode(command, m_secondCpu != 0);
        m_port.m_requestLength = BuildCommandRequest(code, m_port.m_request);
        const bool answered = SendAndAwaitAnswer([code](const uint8_t* r, uint32_t length) {
            return JudgeCommandReply(code, r, length);
        });
        if (answered) return ExchangeResult::Answered;
    }
    return ExchangeResult::Failed;
}

bool CDeviceLink::Command(uint8_t command) {
    if (Exchange(command, COMMAND_ATTEMPTS) == ExchangeResult::Answered) return true;
    PostNotify(LN_NO_RESPONSE);
    return false;
}

void CDeviceLink::WakeDevice() {
    (void)m_port.EscapeCommFunction(SETDTR);
    // Waits on the port's stop event, which stays set once stopped, so a stop
    // cuts both pauses short.
    m_port.m_stopEvent.Wait(WAKE_PAUSE);
    for (uint32_t rate : PROBE_RATES) {
        if (!m_running) break;
        m_port.m_stopEvent.Wait(PROBE_PAUSE);
        m_port.m_baudRate = rate;
        (void)m_port.ApplyState();
        (void)m_port.EscapeCommFunction(SETDTR);
        (void)m_port.EscapeCommFunction(SETRTS);
        m_port.m_requestLength = BuildBaudSyncRequest(m_port.m_request);
        (void)m_port.SendFrame();
    }
    m_port.m_baudRate = LINK_BAUD_RATE;
    (void)m_port.ApplyState();
    (void)m_port.EscapeCommFunction(SETRTS);
    (void)m_port.EscapeCommFunction(SETDTR);
}

// A reply that does not parse is no answer: the group counts as silent.
bool CDeviceLink::ReadHardwareInfo(int attempts) {
    if (Exchange(CMD_READ_HWINFO, attempts) != ExchangeResult::Answered) return false;
    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (!ParseHardwareInfoReply(m_port.m_reply, m_port.m_replyLength, m_device)) return false;
    m_answers.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool CDeviceLink::ReadIdentity() {
    if (Exchange(CMD_READ_IDENT, POLL_ATTEMPTS) != ExchangeResult::Answered) return false;
    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (!ParseIdentityReply(m_port.m_reply, m_port.m_replyLength, m_device)) return false;
    m_answers.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool CDeviceLink::BeginDownload() { return Command(CMD_BEGIN_DOWNLOAD); }
bool CDeviceLink::EndDownload() { return Command(CMD_END_DOWNLOAD); }
bool CDeviceLink::RunDevice() { return Command(CMD_RUN); }

bool CDeviceLink::RunSecondCpu() {
    if (!m_secondCpu) return true;
    return Command(CMD_RUN_SECOND);
}

bool CDeviceLink::ImageSendable() {
    // Never read from an absent image, and never send an offset that would wrap
    // at 16 bits: such a download sends nothing and fails.
    if (m_data != nullptr && m_length <= MAX_DOWNLOAD_LENGTH) return true;
    PostNotify(LN_NO_RESPONSE);
    return false;
}

bool CDeviceLink::WriteBlocks() {
    if (!ImageSendable()) return false;
    PostProgressRange(m_length);
    uint32_t position = 0;
    int attempts = 0;
    for (;;) {
        if (!m_running) {
            PostNotify(LN_NO_RESPONSE);
            return false;
        }
        if (position >= m_length) {
            PostNotify(LN_DOWNLOAD_DONE);
            return true;
        }
        const uint32_t n = std::min(BLOCK_SIZE, m_length - position);
        const uint8_t code = CommandCode(CMD_WRITE_BLOCK, m_secondCpu != 0);
        m_port.m_requestLength = BuildBlockRequest(code, position, m_data.get() + position, n, m_port.m_request);
        const bool acknowledged = SendAndAwaitAnswer([code](const uint8_t* r, uint32_t length) {
            return JudgeBlockReply(code, r, length);
        });
        if (acknowledged) {
            position += n;
            PostProgressPos(position);
            attempts = 0;
            continue;
        }
        if (++attempts >= COMMAND_ATTEMPTS) {
            PostNotify(LN_NO_RESPONSE);
            return false;
        }
    }
}
