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
// A device with two CPUs reports one identity per CPU.
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
    uint32_t replyHoldMs = 0;       // a USB adapter's latency timer: a reply shorter than its packet
                                    // reaches the host only this long after its first byte
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

// CPUs a simulated device may have; CPU 0 is the first, 1 the second.
inline constexpr int SIM_MAX_CPUS = 2;
// A CPU number as an index: anything above 0 is the second CPU.
inline constexpr int SimCpuIndex(int cpu) { return cpu <= 0 ? 0 : SIM_MAX_CPUS - 1; }

struct SimReaction {
    bool isRequest = false;    // a message with REQUEST_TAG and a command code
    uint8_t command = 0;       // its code
    int cpu = 0;               // the CPU the code addresses
    bool endAccepted = false;  // an end request was carried out: that CPU's image is complete
    std::vector<SimEmission> emissions;
    std::string note;  // what the device did, one line for a log
};

class SimProtocol {
public:
    // The second CPU starts with the first's identity under its own chip ID
    // (12 34 56 79) and name ("KAVRO SIM CPU 2"), so replies tell them apart.
    SimProtocol();

    // One CPU (the default) or two. A device with one CPU does not answer the
    // second CPU's codes at all, as such equipment does; a count outside 1..2
    // is taken as the nearest one.
    void SetCpuCount(int count);
    int CpuCount() const { return m_cpuCount; }
    // Each CPU keeps its own identity, hardware information and image.
    void SetIdentity(const SimIdentity& identity, int cpu = 0) { m_cpus[SimCpuIndex(cpu)].identity = identity; }
    const SimIdentity& Identity(int cpu = 0) const { return m_cpus[SimCpuIndex(cpu)].identity; }
    // Reseeds the generator and restarts the refusal, short-ack and block counts.
    void SetFaults(const SimFaults& faults);
    const SimFaults& Faults() const { return m_faults; }

    // Reacts to one decoded message (unescaped, checksum removed).
    SimReaction Handle(const uint8_t* message, size_t length);

    // The image a CPU received since its last accepted begin: sized to the
    // highest offset + length written.
    const std::vector<uint8_t>& Image(int cpu = 0) const { return m_cpus[SimCpuIndex(cpu)].image; }
    // End requests a CPU carried out.
    size_t EndCount(int cpu = 0) const { return m_cpus[SimCpuIndex(cpu)].endCount; }
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

    struct Cpu {
        SimIdentity identity;
        std::vector<uint8_t> image;
        size_t endCount = 0;
    };
    Cpu m_cpus[SIM_MAX_CPUS];
    int m_cpuCount = 1;
    SimFaults m_faults;
    SimRandom m_random{1};
    int m_refused = 0;
    int m_shortAcks = 0;
    int m_ackedBlocks = 0;
};

// The main-CPU code of a known request code (0x0B..0x10 map to 0x01..0x06), or
// 0 when the simulator does not know the code.
uint8_t SimMainCode(uint8_t code);
// The CPU a known request code addresses: 1 for the second CPU's variants and
// its run command, else 0.
int SimCpuOfCode(uint8_t code);
