// Builds for targets without SQLite and libpq:
// kavro-cli says that it keeps no records instead of pretending to.
#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/records_command.h"
#include "cli/unit_recording.h"

namespace {

constexpr const char* kUnavailable = "Records cannot be kept or read: this build of kavro-cli has no records "
                                     "(it was built without SQLite and libpq).";

}  // namespace

struct CUnitRecording::State {
    bool wanted = false;
};

CUnitRecording::CUnitRecording(const std::string& locator, const std::string&, const std::string&)
    : m_state(std::make_unique<State>()) {
    m_state->wanted = !locator.empty();
}

CUnitRecording::~CUnitRecording() = default;

bool CUnitRecording::Open() {
    if (!m_state->wanted) return true;
    std::fprintf(stderr, "%s\nNothing was sent.\n", kUnavailable);
    return false;
}

void CUnitRecording::SetImage(const FirmwareImage&) {}

void CUnitRecording::SetDevice(const DeviceInfo&) {}

void CUnitRecording::SetOutcome(UnitStep, const SessionResult&) {}

int CUnitRecording::Finish(int status) { return status; }

int CommandRecords(const RecordsOptions&) {
    std::fprintf(stderr, "%s\n", kUnavailable);
    return kExitRecords;
}
