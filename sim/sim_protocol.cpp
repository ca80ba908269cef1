#include "sim/sim_protocol.h"

#include <algorithm>
#include <cstdio>

#include "link/protocol.h"

namespace {
void PutU32BigEndian(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

std::vector<uint8_t> ReplyHead(uint8_t code, uint8_t status) { return {REPLY_TAG, code, 0x00, status}; }

// Codes a foreign frame may answer: late sync replies and answers to other requests.
constexpr uint8_t FOREIGN_CODES[] = {CMD_BAUD_SYNC,      CMD_READ_IDENT, CMD_READ_HWINFO, CMD_BEGIN_DOWNLOAD,
                                     CMD_END_DOWNLOAD,   CMD_RUN,        CMD_WRITE_BLOCK, CMD_RUN_SECOND,
                                     CMD_READ_IDENT_SECOND, CMD_READ_HWINFO_SECOND};

std::string Hex(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}
}  // namespace

uint8_t SimMainCode(uint8_t code) {
    switch (code) {
    case CMD_WRITE_BLOCK:
    case CMD_READ_IDENT:
    case CMD_READ_HWINFO:
    case CMD_BEGIN_DOWNLOAD:
    case CMD_END_DOWNLOAD:
    case CMD_RUN:
    case CMD_RUN_SECOND:
    case CMD_BAUD_SYNC:
        return code;
    case CMD_WRITE_BLOCK_SECOND:
    case CMD_READ_IDENT_SECOND:
    case CMD_READ_HWINFO_SECOND:
    case CMD_BEGIN_DOWNLOAD_SECOND:
    case CMD_END_DOWNLOAD_SECOND:
        return static_cast<uint8_t>(code - SECOND_CPU_OFFSET);
    default:
        return 0;
    }
}

int SimCpuOfCode(uint8_t code) {
    const uint8_t main = SimMainCode(code);
    return (main != 0 && main != code) || code == CMD_RUN_SECOND ? 1 : 0;
}

SimProtocol::SimProtocol() {
    SimIdentity& second = m_cpus[1].identity;
    second.chip[3] = 0x79;
    second.name = "KAVRO SIM CPU 2";
}

void SimProtocol::SetCpuCount(int count) { m_cpuCount = count < 1 ? 1 : count > SIM_MAX_CPUS ? SIM_MAX_CPUS : count; }

void SimProtocol::SetFaults(const SimFaults& faults) {
    m_faults = faults;
    m_random.Seed(faults.seed);
    m_refused = 0;
    m_shortAcks = 0;
    m_ackedBlocks = 0;
}

std::vector<uint8_t> SimProtocol::IdentityMessage(uint8_t code, const SimIdentity& id) {
    std::vector<uint8_t> m = ReplyHead(code, 0);
    for (uint8_t b : id.chip) m.push_back(b);  // (g++ 12 -O3 misreads a ranged insert here)
    m.push_back(static_cast<uint8_t>(id.sw.major));
    m.push_back(id.sw.minor);
    PutU32BigEndian(m, id.hwLowest.major);
    m.push_back(id.hwLowest.minor);
    PutU32BigEndian(m, id.hwHighest.major);
    m.push_back(id.hwHighest.minor);
    // The name up to its first zero byte, cut so that the message fits in 256 bytes.
    const size_t zero = id.name.find('\0');
    const size_t length = std::min({zero == std::string::npos ? id.name.size() : zero, SIM_MAX_NAME_LENGTH});
    m.insert(m.end(), id.name.begin(), id.name.begin() + static_cast<std::ptrdiff_t>(length));
    m.push_back(0);
    return m;
}

std::vector<uint8_t> SimProtocol::HardwareInfoMessage(uint8_t code, const SimIdentity& id) {
    std::vector<uint8_t> m = ReplyHead(code, 0);
    PutU32BigEndian(m, id.hwCurrent.major);
    m.push_back(id.hwCurrent.minor);
    PutU32BigEndian(m, id.productNumber);
    return m;
}

std::vector<uint8_t> SimProtocol::Frame(const std::vector<uint8_t>& message, bool corrupt) {
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(message.size(), MAX_MESSAGE_LENGTH));
    std::vector<uint8_t> frame(MAX_FRAME_LENGTH);
    size_t n = BuildFrame(message.data(), length, frame.data(), frame.size());
    if (corrupt) {
        // Replace the checksum (one byte, or two when escaped) by a wrong one.
        const uint8_t good = FrameChecksum(message.data(), length);
        n -= 1 + (good < 0x20 ? 2 : 1);
        const uint8_t bad = static_cast<uint8_t>(good ^ 0xFF);
        if (bad < 0x20) {
            frame[n++] = FRAME_ESCAPE;
            frame[n++] = static_cast<uint8_t>(bad | 0x20);
        } else {
            frame[n++] = bad;
        }
        frame[n++] = FRAME_END;
    }
    frame.resize(n);
    return frame;
}

std::vector<uint8_t> SimProtocol::Garbage() {
    std::vector<uint8_t> bytes(1 + m_random.Below(16));
    for (uint8_t& b : bytes) {
        // 255 values: every byte but FRAME_START, which would open a frame.
        uint32_t v = m_random.Below(255);
        if (v >= FRAME_START) ++v;
        b = static_cast<uint8_t>(v);
    }
    return bytes;
}

void SimProtocol::Answer(SimReaction& r, uint8_t code, std::vector<uint8_t> message, bool isBlockAck) {
    const uint32_t delay = m_faults.replyDelayMs;
    for (int i = 0; i < m_faults.foreignFrames; ++i) {
        uint8_t other = FOREIGN_CODES[m_random.Below(sizeof FOREIGN_CODES)];
        if (other == code) other = (other == CMD_BAUD_SYNC) ? CMD_READ_HWINFO : CMD_BAUD_SYNC;
        SimEmission e;
        e.delayMs = delay;
        if (m_random.Chance(m_faults.garbageRate)) e.bytes = Garbage();
        const std::vector<uint8_t> frame = Frame(ReplyHead(other, 0));
        e.bytes.insert(e.bytes.end(), frame.begin(), frame.end());
        r.emissions.push_back(std::move(e));
    }
    SimEmission e;
    e.delayMs = delay;
    if (m_random.Chance(m_faults.garbageRate)) e.bytes = Garbage();
    const bool drop = m_random.Chance(m_faults.dropRate);
    const bool corrupt = m_random.Chance(m_faults.corruptRate);
    if (drop) {
        r.note += ", reply dropped";
        if (!e.bytes.empty()) r.emissions.push_back(std::move(e));
        return;
    }
    if (corrupt) r.note += ", checksum corrupted";
    const std::vector<uint8_t> frame = Frame(message, corrupt);
    e.bytes.insert(e.bytes.end(), frame.begin(), frame.end());
    r.emissions.push_back(std::move(e));
    if (isBlockAck) ++m_ackedBlocks;
}

SimReaction SimProtocol::Handle(const uint8_t* message, size_t length) {
    SimReaction r;
    if (length < 2 || message[0] != REQUEST_TAG) return r;
    r.isRequest = true;
    const uint8_t code = message[1];
    r.command = code;
    r.note = "request " + Hex(code);
    const SimFaults& f = m_faults;
    const bool silenced = f.silent || f.silentCommand == code ||
                          (f.silenceAfterBlocks >= 0 && m_ackedBlocks >= f.silenceAfterBlocks);

    if (code == CMD_BAUD_SYNC) {
        r.note = "sync request";
        if (silenced || f.syncReplyDelayMs < 0) return r;
        SimEmission e;
        e.delayMs = static_cast<uint32_t>(std::min<int64_t>(f.syncReplyDelayMs, UINT32_MAX));
        e.bytes = Frame(ReplyHead(CMD_BAUD_SYNC, 0));
        r.emissions.push_back(std::move(e));
        r.note += ", answered late";
        return r;
    }

    const uint8_t main = SimMainCode(code);
    if (main == 0 || length < 4) {
        r.note += main == 0 ? ", unknown: ignored" : ", too short: ignored";
        return r;
    }
    const bool block = main == CMD_WRITE_BLOCK;
    r.cpu = SimCpuOfCode(code);
    if (r.cpu >= m_cpuCount) {
        // Equipment with one processor does not know these codes: no answer.
        r.note += ", no second CPU: ignored";
        return r;
    }
    Cpu& cpu = m_cpus[r.cpu];
    if (silenced) {
        r.note += ", silent";
        return r;
    }
    if (block && f.hangUpAfterBlocks >= 0 && m_ackedBlocks >= f.hangUpAfterBlocks) {
        r.note += ", hanging up";
        SimEmission e;
        e.kind = SimEmission::Kind::HangUp;
        r.emissions.push_back(std::move(e));
        return r;
    }
    if (m_refused < f.refuseFirst && (f.refuseCommand == 0 || f.refuseCommand == code)) {
        ++m_refused;
        r.note += ", refused";
        Answer(r, code, ReplyHead(code, SIM_STATUS_REFUSED), false);
        return r;
    }

    switch (main) {
    case CMD_WRITE_BLOCK: {
        // offset low, offset high, n, then exactly n bytes (n = 1..128).
        const uint32_t n = length >= 7 ? message[6] : 0;
        if (length < 7 || n < 1 || n > BLOCK_SIZE || length != 7 + n) {
            r.note = "malformed block request, refused";
            Answer(r, code, ReplyHead(code, SIM_STATUS_MALFORMED), false);
            return r;
        }
        const uint32_t offset = message[4] | (static_cast<uint32_t>(message[5]) << 8);
        if (cpu.image.size() < offset + n) cpu.image.resize(offset + n, 0);
        std::copy(message + 7, message + 7 + n, cpu.image.begin() + offset);
        r.note = "block of " + std::to_string(n) + " bytes at offset " + std::to_string(offset);
        if (code != main) r.note += " (second CPU)";
        if (m_shortAcks < f.shortAckFirst) {
            ++m_shortAcks;
            r.note += ", short ack";
            std::vector<uint8_t> ack = ReplyHead(code, 0);
            ack.pop_back();
            Answer(r, code, std::move(ack), false);
            return r;
        }
        Answer(r, code, ReplyHead(code, 0), true);
        return r;
    }
    case CMD_READ_IDENT:
        r.note = "identity request";
        Answer(r, code, IdentityMessage(code, cpu.identity), false);
        return r;
    case CMD_READ_HWINFO:
        r.note = "hardware information request";
        Answer(r, code, HardwareInfoMessage(code, cpu.identity), false);
        return r;
    case CMD_BEGIN_DOWNLOAD:
        cpu.image.clear();
        r.note = "begin download";
        break;
    case CMD_END_DOWNLOAD:
        ++cpu.endCount;
        r.endAccepted = true;
        r.note = "end download, image of " + std::to_string(cpu.image.size()) + " bytes";
        break;
    case CMD_RUN:
        r.note = "run";
        break;
    case CMD_RUN_SECOND:
        r.note = "run second CPU";
        break;
    default:
        break;
    }
    if (code != main) r.note += " (second CPU)";
    Answer(r, code, ReplyHead(code, 0), false);
    return r;
}
