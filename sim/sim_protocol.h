#pragma once
// The device side of the protocol without any port: one decoded request message
// in, the device's reaction out (the wire bytes to send, when, and whether to
// hang up), with the fault decisions made here. The I/O loop in
// device_simulator.cpp feeds it; tests and fuzzers can drive it directly.
//
// Not thread-safe: one owner at a time (DeviceSimulator guards it with its lock).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/device_info.h"
#include "link/frame_codec.h"
#include "sim/sim_random.h"

// What the simulated device reports. The defaults make a device whose current
// hardware version lies inside the built-in image's range (1.00 to 3.00).
struct SimIdentity {
    uint8_t chip[4] = {0x12, 0x34, 0x56, 0x78};
    std::string name = "KAVRO SIM";  // cut to SIM_MAX_NAME_LENGTH (234) in the reply
    Version sw{2, 5};
    Version hwLowest{1, 0};
    Version hwHighest{3, 0};
    Version hwCurrent{2, 0};
    uint32_t productNumber = 258;
};

// Fault injection. Every random decision comes from a generator seeded with
// `seed`, so the same settings and the same requests give the same replies.
// Setting faults reseeds the generator and restarts every fault count.
struct SimFaults {
    uint32_t seed = 1;
    int foreignFrames = 0;          // frames answering another command code, sent before every answer
    uint8_t refuseCommand = 0;      // 0 = every command, else only this request code
    int refuseFirst = 0;            // the first N matching requests get status 1
    int shortAckFirst = 0;          // the first N block requests get a 3-byte ack C0 01 00 (too short)
    double corruptRate = 0;         // probability a reply's checksum byte is wrong
    double dropRate = 0;            // probability a reply is not sent
    bool silent = false;            // answer nothing at all
    uint8_t silentCommand = 0;      // if non-zero, never answer this request code
    int silenceAfterBlocks = -1;    // stop answering anything after N acknowledged blocks
    int hangUpAfterBlocks = -1;     // close the line (the client sees a hang-up) after N blocks
    double garbageRate = 0;         // probability of 1..16 random non-0x05 bytes before a reply
    uint32_t replyDelayMs = 0;
    uint32_t lineRate = 0;          // bits per second (10 bits a byte) both ways; 0 = unpaced
    int64_t syncReplyDelayMs = -1;  // >= 0: answer each sync request with C0 86 00 00 after this delay
};

// A reply and its checksum fit the receiver's 256-byte body: 20 bytes of head
// and numbers, the name, its terminator and the checksum.
inline constexpr size_t SIM_MAX_NAME_LENGTH = MAX_MESSAGE_LENGTH - 22;

// Reply statuses the simulator uses besides 0 (done).
inline constexpr uint8_t SIM_STATUS_REFUSED = 1;    // the refusal fault
inline constexpr uint8_t SIM_STATUS_MALFORMED = 2;  // a block request whose layout is wrong

// One thing the device does on the line in answer to a request.
struct SimEmission {
    enum class Kind { Bytes, HangUp };
    Kind kind = Kind::Bytes;
    uint32_t delayMs = 0;        // counted from the moment the request was taken
    std::vector<uint8_t> bytes;  // wire bytes: optional garbage, then one frame
};

struct SimReaction {
    bool isRequest = false;    // a message with REQUEST_TAG and a command code
    uint8_t command = 0;       // its code
    bool endAccepted = false;  // an end request was carried out: the image is complete
    std::vector<SimEmission> emissions;
    std::string note;  // what the device did, one line for a log
};

class SimProtocol {
public:
    SimProtocol() = default;

    void SetIdentity(const SimIdentity& identity) { m_identity = identity; }
    const SimIdentity& Identity() const { return m_identity; }
    // Reseeds the generator and restarts the refusal, short-ack and block counts.
    void SetFaults(const SimFaults& faults);
    const SimFaults& Faults() const { return m_faults; }

    // Reacts to one decoded message (unescaped, checksum removed).
    SimReaction Handle(const uint8_t* message, size_t length);

    // The image received since the last accepted begin: sized to the highest
    // offset + length written.
    const std::vector<uint8_t>& Image() const { return m_image; }
    size_t EndCount() const { return m_endCount; }
    // Block requests acknowledged with a full ack that was put on the line.
    int AcknowledgedBlocks() const { return m_ackedBlocks; }

    // The reply messages (no framing) for the identity and hardware-information
    // requests, code being the request's code.
    static std::vector<uint8_t> IdentityMessage(uint8_t code, const SimIdentity& identity);
    static std::vector<uint8_t> HardwareInfoMessage(uint8_t code, const SimIdentity& identity);

    // The wire frame of a message; with a wrong checksum byte when corrupt is set.
    static std::vector<uint8_t> Frame(const std::vector<uint8_t>& message, bool corrupt = false);

private:
    // Appends the answer message as emissions, with the fault decisions.
    void Answer(SimReaction& reaction, uint8_t code, std::vector<uint8_t> message, bool isBlockAck);
    std::vector<uint8_t> Garbage();

    SimIdentity m_identity;
    SimFaults m_faults;
    SimRandom m_random{1};
    int m_refused = 0;
    int m_shortAcks = 0;
    int m_ackedBlocks = 0;
    size_t m_endCount = 0;
    std::vector<uint8_t> m_image;
};

// The main-CPU code of a known request code (0x0B..0x10 map to 0x01..0x06), or
// 0 when the simulator does not know the code.
uint8_t SimMainCode(uint8_t code);
