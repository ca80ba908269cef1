#pragma once
// One unit's attempt at a station or a single download: who flashed what on
// which bay, and how it ended. Plain data; any thread.
#include <cstdint>
#include <string>

#include "link/device_info.h"

// How a unit's attempt ended. The names (UnitResultName) are stored in the
// records and printed in machine-readable output: they never change.
enum class UnitResult : uint8_t {
    Passed,         // downloaded, end confirmed (and reset when asked)
    RefusedByHardwareRange,
    NoResponse,
    PortFailed,
    Stopped,        // a stop request ended the attempt
};

// "passed", "refused", "no-response", "port-failed", "stopped".
const char* UnitResultName(UnitResult result);
// The inverse of UnitResultName; false for an unknown name.
[[nodiscard]] bool ParseUnitResult(const std::string& name, UnitResult& result);

struct UnitRecord {
    std::string id;             // unique: 32 lower-case hex digits (128 random bits)
    int64_t startedUtcMs = 0;   // milliseconds since 1970-01-01 UTC
    int64_t endedUtcMs = 0;
    std::string station;        // the station's name (host name by default)

    // The bay: the port as given, and where udev knows them, the physical USB
    // path and the adapter's serial number.
    std::string port;
    std::string usbPath;
    std::string adapterSerial;
    bool secondCpu = false;     // the unit's second processor was addressed

    DeviceInfo device;          // as the unit identified itself (zeros when it never answered)

    std::string imageSource;    // the file's path, or "built-in"
    FirmwareInfo image;
    uint32_t imageLength = 0;
    uint16_t imageChecksum = 0;
    std::string imageSha256;    // the data's SHA-256, 64 lower-case hex digits ("" in older records)
    std::string imageKeyId;     // the key whose signature released the image ("" unsigned)
    std::string orderId;        // the work order the unit counts against ("" none)

    UnitResult result = UnitResult::NoResponse;
    std::string message;        // the system's message for the result (English, untranslated)

    // How long the attempt took on a steady clock, as measured when it was
    // made (-1: not measured; then ended - started, which a clock set
    // meanwhile may have made wrong). Never negative.
    int64_t durationMs = -1;
    int64_t DurationMs() const {
        if (durationMs >= 0) return durationMs;
        return endedUtcMs > startedUtcMs ? endedUtcMs - startedUtcMs : 0;
    }
};

// A new unique record id (32 hex digits from a random device).
std::string NewRecordId();
