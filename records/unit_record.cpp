#include "records/unit_record.h"

#include <cstdio>
#include <random>

namespace {

struct ResultName {
    UnitResult result;
    const char* name;
};

constexpr ResultName kResultNames[] = {
    {UnitResult::Passed, "passed"},
    {UnitResult::RefusedByHardwareRange, "refused"},
    {UnitResult::NoResponse, "no-response"},
    {UnitResult::PortFailed, "port-failed"},
    {UnitResult::Stopped, "stopped"},
};

}  // namespace

const char* UnitResultName(UnitResult result) {
    for (const ResultName& entry : kResultNames)
        if (entry.result == result) return entry.name;
    return "unknown";
}

bool ParseUnitResult(const std::string& name, UnitResult& result) {
    for (const ResultName& entry : kResultNames) {
        if (name == entry.name) {
            result = entry.result;
            return true;
        }
    }
    return false;
}

std::string NewRecordId() {
    // One generator per thread, seeded from the system's random device: ids
    // from two stations (or two processes on one) never follow one sequence.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(generator()),
                  static_cast<unsigned long long>(generator()));
    return text;
}
