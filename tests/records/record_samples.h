#pragma once
// Records and folders for the records tests.
#include <string>

#include <gtest/gtest.h>

#include "records/json_text.h"
#include "records/record_store.h"
#include "records/unit_record.h"
#include "tests/support/temp_dir.h"

namespace recordtest {

using testdata::TempDir;

// A record with every field set, different for every n.
inline UnitRecord SampleRecord(int n, const std::string& station = "line3-st1") {
    UnitRecord r;
    r.id = NewRecordId();
    r.startedUtcMs = 1796000000000 + int64_t{n} * 60000;
    r.endedUtcMs = r.startedUtcMs + 12345 + n;
    r.station = station;
    r.port = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:" + std::to_string(n % 4) + ":1.0-port0";
    r.usbPath = "1-" + std::to_string(n % 4);
    r.adapterSerial = "FT" + std::to_string(1000 + n);
    r.secondCpu = n % 2 == 1;
    r.device.chipId[0] = 0x12;
    r.device.chipId[1] = 0xAB;
    r.device.chipId[2] = static_cast<uint8_t>(n);
    r.device.chipId[3] = 0xFF;
    r.device.name.Assign("Board \"Ü\" 7");
    r.device.swMajor = 2;
    r.device.swMinor = 5;
    r.device.hwLowestMajor = 1;
    r.device.hwHighestMajor = 4000000000u;
    r.device.hwHighestMinor = 255;
    r.device.hwCurrentMajor = 3;
    r.device.hwCurrentMinor = 1;
    r.device.productNumber = 4000000000u + static_cast<uint32_t>(n);
    r.imageSource = n % 3 == 0 ? "built-in" : "/srv/images/kavro 2.09.fw";
    r.image.name.Assign(n % 3 == 0 ? "KAVRO demo firmware" : "Release, 2.09");
    r.image.swMajor = 2;
    r.image.swMinor = 9;
    r.image.hwLowestMajor = 1;
    r.image.hwHighestMajor = 3;
    r.imageLength = 24576;
    r.imageChecksum = 0xC8FF;
    r.imageSha256 = std::string(62, 'a') + std::to_string(10 + n % 90);
    r.result = static_cast<UnitResult>(n % 5);
    r.message = n % 5 == 0 ? "Firmware was downloaded successfuly" : "Device does not respond";
    return r;
}

// Stores records and asks store whether their chips passed: only a passed
// record of the same chip and the same image counts.
inline void ExpectPassedLookups(IRecordStore& store) {
    UnitRecord passed = SampleRecord(0);
    passed.result = UnitResult::Passed;
    UnitRecord failed = SampleRecord(1);
    failed.result = UnitResult::NoResponse;
    failed.imageSha256 = passed.imageSha256;
    ASSERT_TRUE(store.Append(passed)) << store.LastError();
    ASSERT_TRUE(store.Append(failed)) << store.LastError();
    const auto ask = [&store](const UnitRecord& r, const std::string& sha) {
        bool found = true;
        EXPECT_TRUE(store.HasPassedRecord(ChipIdText(r.device.chipId), sha, found)) << store.LastError();
        return found;
    };
    EXPECT_TRUE(ask(passed, passed.imageSha256));
    EXPECT_FALSE(ask(passed, std::string(64, 'b'))) << "another image";
    EXPECT_FALSE(ask(failed, passed.imageSha256)) << "a unit that did not pass";
}

}  // namespace recordtest
