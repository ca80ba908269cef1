// The device's command set, run by the link's worker thread.
#include <algorithm>
#include <cstring>

#include "link/device_link.h"

void CDeviceLink::FromBigEndian32(uint32_t* value) {
    uint8_t* b = reinterpret_cast<uint8_t*>(value);
    std::swap(b[0], b[3]);
    std::swap(b[1], b[2]);
}

namespace {
// A big-endian u32 of a reply, brought into host order.
uint32_t ReplyU32(const uint8_t* at) {
    uint32_t v;
    std::memcpy(&v, at, sizeof v);
    CDeviceLink::FromBigEndian32(&v);
    return v;
}
}  // namespace

uint8_t CDeviceLink::CommandCode(uint8_t code) const {
    if (!m_secondCpu) return code;
    switch (code) {
        case CMD_WRITE_BLOCK:
        case CMD_READ_IDENT:
        case CMD_READ_HWINFO:
        case CMD_BEGIN_DOWNLOAD:
        case CMD_END_DOWNLOAD: return static_cast<uint8_t>(code + SECOND_CPU_OFFSET);
        default: return code;
    }
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

CDeviceLink::ExchangeResult CDeviceLink::Exchange(uint8_t command, int attempts) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!m_running) return ExchangeResult::Stopped;
        const uint8_t code = CommandCode(command);
        m_port.m_request[0] = REQUEST_TAG;
        m_port.m_request[1] = code;
        m_port.m_request[2] = 0;
        m_port.m_request[3] = 0;
        m_port.m_requestLength = 4;
        const bool answered = SendAndAwaitAnswer([code](const uint8_t* r, uint32_t length) {
            if (r[0] != REPLY_TAG || r[1] != code) return ReplyVerdict::Skip;
            // A reply too short to hold a status byte is not an answer: the
            // byte in that place would be its checksum or a stale one.
            if (length < 4 || r[3] != 0) return ReplyVerdict::EndAttempt;
            return ReplyVerdict::Answer;
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
    m_port.EscapeCommFunction(SETDTR);
    // Waits on the port's stop event, which stays set once stopped, so a stop
    // cuts both pauses short.
    m_port.m_stopEvent.Wait(WAKE_PAUSE);
    for (uint32_t rate : PROBE_RATES) {
        if (!m_running) break;
        m_port.m_stopEvent.Wait(PROBE_PAUSE);
        m_port.m_baudRate = rate;
        m_port.ApplyState();
        m_port.EscapeCommFunction(SETDTR);
        m_port.EscapeCommFunction(SETRTS);
        m_port.m_request[0] = REQUEST_TAG;
        m_port.m_request[1] = CMD_BAUD_SYNC;
        m_port.m_request[2] = 0;
        m_port.m_request[3] = 0;
        m_port.m_request[4] = 0xFF;
        m_port.m_requestLength = 5;
        m_port.SendFrame();
    }
    m_port.m_baudRate = LINK_BAUD_RATE;
    m_port.ApplyState();
    m_port.EscapeCommFunction(SETRTS);
    m_port.EscapeCommFunction(SETDTR);
}

bool ParseHardwareInfoReply(const uint8_t* reply, uint32_t length, DeviceInfo& device) {
    // Only a reply that holds the whole group is taken.
    if (length < 13) return false;
    device.hwCurrentMajor = ReplyU32(reply + 4);
    device.hwCurrentMinor = reply[8];
    device.productNumber = ReplyU32(reply + 9);
    return true;
}

bool ParseIdentityReply(const uint8_t* reply, uint32_t length, DeviceInfo& device) {
    if (length > MAX_MESSAGE_LENGTH) length = MAX_MESSAGE_LENGTH;
    bool taken = false;
    if (length >= 8) {
        std::memcpy(device.chipId, reply + 4, 4);
        taken = true;
    }
    if (length >= 20) {
        device.swMajor = reply[8];
        device.swMinor = reply[9];
        device.hwLowestMajor = ReplyU32(reply + 10);
        device.hwLowestMinor = reply[14];
        device.hwHighestMajor = ReplyU32(reply + 15);
        device.hwHighestMinor = reply[19];
    }
    if (length > 20) {
        // The name ends at its terminator or at the end of the reply, whichever
        // comes first, so no byte of an earlier reply is ever shown.
        char name[MAX_MESSAGE_LENGTH + 1];
        const uint32_t available = length - 20;
        uint32_t n = 0;
        while (n < available && reply[20 + n] != 0) {
            name[n] = static_cast<char>(reply[20 + n]);
            ++n;
        }
        name[n] = '\0';
        device.name.Assign(name);
    }
    return taken;
}

bool CDeviceLink::ReadHardwareInfo() {
    if (Exchange(CMD_READ_HWINFO, POLL_ATTEMPTS) != ExchangeResult::Answered) return false;
    m_answers.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(m_deviceLock);
    ParseHardwareInfoReply(m_port.m_reply, m_port.m_replyLength, m_device);
    return true;
}

bool CDeviceLink::ReadIdentity() {
    if (Exchange(CMD_READ_IDENT, POLL_ATTEMPTS) != ExchangeResult::Answered) return false;
    m_answers.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(m_deviceLock);
    ParseIdentityReply(m_port.m_reply, m_port.m_replyLength, m_device);
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
    if (m_data != nullptr && m_length <= MAX_BLOCK_OFFSET_SPAN) return true;
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
        const uint8_t code = CommandCode(CMD_WRITE_BLOCK);
        uint8_t* q = m_port.m_request;
        q[0] = REQUEST_TAG;
        q[1] = code;
        q[2] = 0;
        q[3] = 0;
        q[4] = static_cast<uint8_t>(position & 0xFF);
        q[5] = static_cast<uint8_t>((position >> 8) & 0xFF);
        q[6] = static_cast<uint8_t>(n);
        std::memcpy(q + 7, m_data.get() + position, n);
        m_port.m_requestLength = n + 7;
        const bool acknowledged = SendAndAwaitAnswer([code](const uint8_t* r, uint32_t length) {
            // Foreign, refused and short replies are skipped alike.
            const bool ack = length >= MIN_BLOCK_ACK_LENGTH && r[0] == REPLY_TAG && r[1] == code && r[3] == 0;
            return ack ? ReplyVerdict::Answer : ReplyVerdict::Skip;
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
