#pragma once
// Records and folders for the records tests.
#include <string>

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

}  // namespace recordtest
