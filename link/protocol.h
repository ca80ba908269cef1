#pragma once
// The device's protocol: command codes, the limits and time-outs of an
// exchange, the requests a host sends and the parse of the replies it gets.
// The link engine, the device session, the simulator and the fuzz targets all
// speak it through this header; none of them needs the engine for a code.
// Pure functions and constants; any thread.
#include <cstdint>

#include "link/device_info.h"

inline constexpr uint8_t REQUEST_TAG = 0x80;
inline constexpr uint8_t REPLY_TAG = 0xC0;

inline constexpr uint8_t CMD_WRITE_BLOCK = 0x01;
inline constexpr uint8_t CMD_READ_IDENT = 0x03;
inline constexpr uint8_t CMD_READ_HWINFO = 0x04;
inline constexpr uint8_t CMD_BEGIN_DOWNLOAD = 0x05;
inline constexpr uint8_t CMD_END_DOWNLOAD = 0x06;
inline constexpr uint8_t CMD_RUN = 0x07;
inline constexpr uint8_t CMD_RUN_SECOND = 0x11;
inline constexpr uint8_t CMD_BAUD_SYNC = 0x86;
// With the second CPU selected, block, identity, hardware-information, begin
// and end use their code plus this offset.
inline constexpr uint8_t SECOND_CPU_OFFSET = 10;
inline constexpr uint8_t CMD_WRITE_BLOCK_SECOND = CMD_WRITE_BLOCK + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_READ_IDENT_SECOND = CMD_READ_IDENT + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_READ_HWINFO_SECOND = CMD_READ_HWINFO + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_BEGIN_DOWNLOAD_SECOND = CMD_BEGIN_DOWNLOAD + SECOND_CPU_OFFSET;
inline constexpr uint8_t CMD_END_DOWNLOAD_SECOND = CMD_END_DOWNLOAD + SECOND_CPU_OFFSET;

inline constexpr int POLL_ATTEMPTS = 5;      // identity and hardware information
inline constexpr int COMMAND_ATTEMPTS = 3;   // begin, end, run, and each block
inline constexpr int REPLIES_PER_ATTEMPT = 3;
inline constexpr uint32_t BLOCK_SIZE = 128;
// Block offsets travel as 16 bits, so a download holds at most this many
// bytes; longer images cannot be addressed.
inline constexpr uint32_t MAX_DOWNLOAD_LENGTH = 65535;
inline constexpr uint32_t MIN_BLOCK_ACK_LENGTH = 4;
inline constexpr uint32_t LINK_BAUD_RATE = 19200;
inline constexpr uint32_t PROBE_RATES[7] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};

// Time-outs of the link, in milliseconds.
inline constexpr uint32_t LINK_READ_TIMEOUT = 6000;
inline constexpr uint32_t LINK_WRITE_TIMEOUT = 6000;
inline constexpr uint32_t HWINFO_READ_TIMEOUT = 2000;
inline constexpr uint32_t POLL_PAUSE = 2000;
inline constexpr uint32_t WAKE_PAUSE = 500;
inline constexpr uint32_t PROBE_PAUSE = 100;

// Which poll groups answered in a poll cycle.
inline constexpr uint8_t ANSWERED_HWINFO = 1;
inline constexpr uint8_t ANSWERED_IDENTITY = 2;

// The code a command travels under: block, identity, hardware information,
// begin and end move by SECOND_CPU_OFFSET when the second CPU is addressed.
uint8_t CommandCode(uint8_t code, bool secondCpu);

// Requests, written into request (room for a whole message); each returns the
// message length. A plain command: tag, code, two zero bytes.
uint32_t BuildCommandRequest(uint8_t code, uint8_t* request);
// The baud-rate sync probe of the wake-up.
uint32_t BuildBaudSyncRequest(uint8_t* request);
// One block of the image: its 16-bit offset and up to BLOCK_SIZE data bytes.
uint32_t BuildBlockRequest(uint8_t code, uint32_t offset, const uint8_t* data, uint32_t count, uint8_t* request);

// How a reply to a request with this code is taken.
enum class ReplyVerdict { Answer, Skip, EndAttempt };
// A command or poll request: another code (a late answer) is skipped; a reply
// too short to hold a status byte, or with a non-zero status, ends the attempt.
ReplyVerdict JudgeCommandReply(uint8_t code, const uint8_t* reply, uint32_t length);
// A block: only an acknowledgement of this code with status 0 is an answer;
// foreign, refused and short replies are skipped alike.
ReplyVerdict JudgeBlockReply(uint8_t code, const uint8_t* reply, uint32_t length);

// Reply parsing: the fields of a reply message (with the message length
// before the checksum) that it holds completely are copied into device; the
// rest keep their values. False when the reply holds none of them, which is
// no answer at all.
[[nodiscard]] bool ParseIdentityReply(const uint8_t* reply, uint32_t length, DeviceInfo& device);
[[nodiscard]] bool ParseHardwareInfoReply(const uint8_t* reply, uint32_t length, DeviceInfo& device);

// A big-endian u32 of a reply, in host order.
uint32_t ReplyU32(const uint8_t* at);
