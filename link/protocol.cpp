#include "link/protocol.h"

#include <cstring>

#include "link/frame_codec.h"

uint8_t CommandCode(uint8_t code, bool secondCpu) {
    if (!secondCpu) return code;
    switch (code) {
        case CMD_WRITE_BLOCK:
        case CMD_READ_IDENT:
        case CMD_READ_HWINFO:
        case CMD_BEGIN_DOWNLOAD:
        case CMD_END_DOWNLOAD: return static_cast<uint8_t>(code + SECOND_CPU_OFFSET);
        default: return code;
    }
}

uint32_t BuildCommandRequest(uint8_t code, uint8_t* request) {
    request[0] = REQUEST_TAG;
    request[1] = code;
    request[2] = 0;
    request[3] = 0;
    return 4;
}

uint32_t BuildBaudSyncRequest(uint8_t* request) {
    BuildCommandRequest(CMD_BAUD_SYNC, request);
    request[4] = 0xFF;
    return 5;
}

uint32_t BuildBlockRequest(uint8_t code, uint32_t offset, const uint8_t* data, uint32_t count, uint8_t* request) {
    BuildCommandRequest(code, request);
    request[4] = static_cast<uint8_t>(offset & 0xFF);
    request[5] = static_cast<uint8_t>((offset >> 8) & 0xFF);
    request[6] = static_cast<uint8_t>(count);
    std::memcpy(request + 7, data, count);
    return count + 7;
}

ReplyVerdict JudgeCommandReply(uint8_t code, const uint8_t* reply, uint32_t length) {
    if (reply[0] != REPLY_TAG || reply[1] != code) return ReplyVerdict::Skip;
    // A reply too short to hold a status byte is not an answer: the byte in
    // that place would be its checksum or a stale one.
    if (length < 4 || reply[3] != 0) return ReplyVerdict::EndAttempt;
    return ReplyVerdict::Answer;
}

ReplyVerdict JudgeBlockReply(uint8_t code, const uint8_t* reply, uint32_t length) {
    const bool ack = length >= MIN_BLOCK_ACK_LENGTH && reply[0] == REPLY_TAG && reply[1] == code && reply[3] == 0;
    return ack ? ReplyVerdict::Answer : ReplyVerdict::Skip;
}

uint32_t ReplyU32(const uint8_t* at) {
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
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
