// Reply parsing takes a group only when the reply holds all of it, so no byte
// of an earlier reply or of the checksum ever reaches the device record.
#include <gtest/gtest.h>

#include <vector>

#include "link/device_link.h"

namespace {
// The worked identity reply: C0 03 00 00, chip, 2.05, 1.00, 2.09, "AB".
std::vector<uint8_t> IdentityReply() {
    return {0xC0, 0x03, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x02, 0x05, 0x00, 0x00,
            0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x09, 0x41, 0x42, 0x00};
}
}  // namespace

TEST(ReplyParsing, WorkedExamples) {
    DeviceInfo d;
    const auto ident = IdentityReply();
    ASSERT_TRUE(ParseIdentityReply(ident.data(), 23, d));
    EXPECT_EQ(d.chipId[0], 0x12);
    EXPECT_EQ(d.chipId[3], 0x78);
    EXPECT_EQ(d.swMajor, 2);
    EXPECT_EQ(d.swMinor, 5);
    EXPECT_EQ(d.hwLowestMajor, 1u);
    EXPECT_EQ(d.hwHighestMajor, 2u);
    EXPECT_EQ(d.hwHighestMinor, 9);
    EXPECT_STREQ(d.name.Text(), "AB");

    const uint8_t hw[] = {0xC0, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x00, 0x00, 0x01, 0x02};
    ASSERT_TRUE(ParseHardwareInfoReply(hw, 13, d));
    EXPECT_EQ(d.hwCurrentMajor, 3u);
    EXPECT_EQ(d.hwCurrentMinor, 1);
    EXPECT_EQ(d.productNumber, 258u);
}

TEST(ReplyParsing, ShortRepliesLeaveIncompleteGroupsAlone) {
    DeviceInfo d;
    d.swMajor = 9;
    d.name.Assign("OLD");
    auto ident = IdentityReply();
    // 19 bytes: the chip ID only; the version group would need byte 19.
    ASSERT_TRUE(ParseIdentityReply(ident.data(), 19, d));
    EXPECT_EQ(d.chipId[0], 0x12);
    EXPECT_EQ(d.swMajor, 9);
    EXPECT_STREQ(d.name.Text(), "OLD");
    // 21 bytes: the name is cut at the end of the reply, not at a stale terminator.
    ASSERT_TRUE(ParseIdentityReply(ident.data(), 21, d));
    EXPECT_EQ(d.swMajor, 2);
    EXPECT_STREQ(d.name.Text(), "A");
    // Under 8 bytes nothing is taken.
    DeviceInfo untouched;
    EXPECT_FALSE(ParseIdentityReply(ident.data(), 7, untouched));
    EXPECT_EQ(untouched.chipId[0], 0);

    const uint8_t hw[] = {0xC0, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x00, 0x00, 0x01, 0x02};
    DeviceInfo h;
    h.productNumber = 5;
    EXPECT_FALSE(ParseHardwareInfoReply(hw, 12, h));
    EXPECT_EQ(h.productNumber, 5u);
    EXPECT_EQ(h.hwCurrentMajor, 0u);
}

TEST(ReplyParsing, BigEndianNumbersAndLongNames) {
    std::vector<uint8_t> r(256, 'n');
    r[0] = 0xC0;
    r[1] = 0x03;
    r[10] = 0xFF; r[11] = 0xFF; r[12] = 0xFF; r[13] = 0xFF;  // lowest major 4294967295
    r[15] = 0x80; r[16] = 0x00; r[17] = 0x00; r[18] = 0x00;  // highest major 2^31
    DeviceInfo d;
    ASSERT_TRUE(ParseIdentityReply(r.data(), 255, d));
    EXPECT_EQ(d.hwLowestMajor, 4294967295u);
    EXPECT_EQ(d.hwHighestMajor, 2147483648u);
    EXPECT_EQ(std::string(d.name.Text()), std::string(127, 'n')) << "a long name is cut to 127";

    uint32_t v = 0x01020304;
    CDeviceLink::FromBigEndian32(&v);
    EXPECT_EQ(v, 0x04030201u);
}
