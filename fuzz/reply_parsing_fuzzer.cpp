// Identity and hardware-information reply parsing on arbitrary replies.
//
// Input: one byte selecting the reply length (0..255, the receiver's largest
// message length), then the reply bytes. The reply is handed over in a block of
// exactly its length, so a read past the reply is an ASan report.
//
// Invariants: a group is taken only when the reply holds all of it, and then
// equals the reply's big-endian fields; the rest keep their earlier values;
// the name is the reply's text from byte 20 up to its first zero byte or the
// reply's end, cut to 127 characters, and always terminated.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "link/protocol.h"

namespace {
uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// A record whose every field differs from what a parse could leave in it by
// chance as rarely as possible.
DeviceInfo Sentinel() {
    DeviceInfo d;
    const uint8_t chip[4] = {0xA1, 0xB2, 0xC3, 0xD4};
    std::memcpy(d.chipId, chip, 4);
    d.swMajor = 0x5A;
    d.swMinor = 0xA5;
    d.hwLowestMajor = 0x11223344;
    d.hwLowestMinor = 0x55;
    d.hwHighestMajor = 0x66778899;
    d.hwHighestMinor = 0xAA;
    d.name.Assign("sentinel name");
    d.hwCurrentMajor = 0xBBCCDDEE;
    d.hwCurrentMinor = 0xFF;
    d.productNumber = 0x01020304;
    return d;
}

void CheckIdentity(const uint8_t* reply, uint32_t length) {
    const DeviceInfo before = Sentinel();
    DeviceInfo d = before;
    const bool taken = ParseIdentityReply(reply, length, d);
    FUZZ_CHECK(taken == (length >= 8));
    if (length >= 8)
        FUZZ_CHECK(std::memcmp(d.chipId, reply + 4, 4) == 0);
    else
        FUZZ_CHECK(std::memcmp(d.chipId, before.chipId, 4) == 0);
    if (length >= 20) {
        FUZZ_CHECK(d.swMajor == reply[8] && d.swMinor == reply[9]);
        FUZZ_CHECK(d.hwLowestMajor == Be32(reply + 10) && d.hwLowestMinor == reply[14]);
        FUZZ_CHECK(d.hwHighestMajor == Be32(reply + 15) && d.hwHighestMinor == reply[19]);
    } else {
        FUZZ_CHECK(d.swMajor == before.swMajor && d.swMinor == before.swMinor);
        FUZZ_CHECK(d.hwLowestMajor == before.hwLowestMajor && d.hwLowestMinor == before.hwLowestMinor);
        FUZZ_CHECK(d.hwHighestMajor == before.hwHighestMajor && d.hwHighestMinor == before.hwHighestMinor);
    }
    const size_t nameLength = std::strlen(d.name.Text());
    FUZZ_CHECK(nameLength < static_cast<size_t>(d.name.Capacity()));
    if (length > 20) {
        const uint8_t* text = reply + 20;
        const uint8_t* end = std::find(text, reply + length, uint8_t{0});
        std::string expected(text, end);
        if (expected.size() > 127) expected.resize(127);
        FUZZ_CHECK(expected == d.name.Text());
    } else {
        FUZZ_CHECK(std::strcmp(d.name.Text(), before.name.Text()) == 0);
    }
    // The identity never touches the hardware-information group.
    FUZZ_CHECK(d.hwCurrentMajor == before.hwCurrentMajor && d.hwCurrentMinor == before.hwCurrentMinor &&
               d.productNumber == before.productNumber);
}

void CheckHardwareInfo(const uint8_t* reply, uint32_t length) {
    const DeviceInfo before = Sentinel();
    DeviceInfo d = before;
    const bool taken = ParseHardwareInfoReply(reply, length, d);
    FUZZ_CHECK(taken == (length >= 13));
    if (taken) {
        FUZZ_CHECK(d.hwCurrentMajor == Be32(reply + 4) && d.hwCurrentMinor == reply[8]);
        FUZZ_CHECK(d.productNumber == Be32(reply + 9));
    } else {
        FUZZ_CHECK(d.hwCurrentMajor == before.hwCurrentMajor && d.hwCurrentMinor == before.hwCurrentMinor &&
                   d.productNumber == before.productNumber);
    }
    FUZZ_CHECK(std::memcmp(d.chipId, before.chipId, 4) == 0);
    FUZZ_CHECK(std::strcmp(d.name.Text(), before.name.Text()) == 0);
    FUZZ_CHECK(d.swMajor == before.swMajor && d.hwLowestMajor == before.hwLowestMajor &&
               d.hwHighestMajor == before.hwHighestMajor);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The length the receiver reports: the selector, but never more than the
    // bytes that follow (a reply longer than its bytes cannot arrive).
    const uint32_t wanted = data[0];
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(wanted, size - 1));
    std::vector<uint8_t> reply(data + 1, data + 1 + length);
    // A zero-length reply still gets a valid, empty block.
    const uint8_t* bytes = reply.empty() ? data : reply.data();
    CheckIdentity(bytes, length);
    CheckHardwareInfo(bytes, length);
    return 0;
}
