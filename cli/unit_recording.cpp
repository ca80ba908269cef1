#include "cli/unit_recording.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

#include "cli/cli_text.h"
#include "cli/exit_codes.h"
#include "image/image_digest.h"
#include "records/record_time.h"
#include "records/record_writer.h"
#include "res/resource_ids.h"
#include "res/strings.h"
#include "res/translation.h"

namespace {

void PrintError(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
}

// The message as stored: a record field, so in English whatever the person's
// language.
std::string StoredText(unsigned id) {
    const char* text = LoadStringSource(id);
    return text != nullptr ? text : "";
}

// How the attempt ended, from the command's exit status; false when nothing
// was attempted (an unusable image, bad arguments).
bool ResultOfStatus(int status, UnitResult& result, std::string& message) {
    switch (status) {
    case kExitOk:
        result = UnitResult::Passed;
        message = StoredText(IDS_DOWNLOAD_DONE);
        return true;
    case kExitPort:
        result = UnitResult::PortFailed;
        message = StoredText(IDS_PORT_FAILED);
        return true;
    case kExitNoResponse:
        result = UnitResult::NoResponse;
        message = StoredText(IDS_NO_RESPONSE);
        return true;
    case kExitRefused:
        result = UnitResult::RefusedByHardwareRange;
        message = StoredText(IDS_HW_INCORRECT);
        return true;
    case kExitSigInt:
    case kExitSigTerm:
        result = UnitResult::Stopped;
        message = "Stopped by a stop request.";
        return true;
    default:
        return false;
    }
}

}  // namespace

int ReportUnkeptRecords(const RecordWriterResult& result, const std::string& where, int status) {
    if (result.uncommitted == 0) return status;
    const std::string count = std::to_string(result.uncommitted);
    PrintError(FormatText(Tr("%s records could not be stored in %s: %s"), {count, where, result.reason}));
    if (result.savedTo.empty())
        PrintError(Tr("They could not be saved anywhere else either: they are lost."));
    else
        PrintError(FormatText(Tr("They were saved to %s instead."), {result.savedTo}));
    return kExitRecords;
}

struct CUnitRecording::State {
    std::string locator;
    UnitRecord unit;
    bool hasOutcome = false;
    UnitOutcome outcome;
    bool started = false;
    std::chrono::steady_clock::time_point startedSteady{};  // the duration's start
    std::string where;
    std::string localPath;
    std::mutex mutex;  // the writer's events, read after its Flush
    std::vector<RecordWriterEvent> events;
    std::unique_ptr<CRecordWriter> writer;  // last: joined before the events go
};

CUnitRecording::CUnitRecording(const std::string& locator, const std::string& station, const std::string& port)
    : m_state(std::make_unique<State>()) {
    m_state->locator = locator;
    m_state->unit.station = station.empty() ? DefaultStationName() : station;
    m_state->unit.port = port;
}

CUnitRecording::~CUnitRecording() = default;

bool CUnitRecording::Open() {
    State& s = *m_state;
    if (s.locator.empty()) return true;
    std::string error;
    std::unique_ptr<IRecordStore> store = OpenRecordStore(s.locator, error);
    if (!store) {
        PrintError(FormatText(Tr("Records cannot be kept: %s"), {error}));
        PrintError(Tr("Nothing was sent."));
        return false;
    }
    s.where = store->Where();
    s.localPath = store->LocalPath();  // where the record is committed (a server's waits there)
    s.writer = std::make_unique<CRecordWriter>(std::move(store), [&s](const RecordWriterEvent& event) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.events.push_back(event);
    });
    return true;
}

void CUnitRecording::SetImage(const FirmwareImage& image) {
    UnitRecord& unit = m_state->unit;
    unit.imageSource = image.Source();
    unit.image = image.info;
    unit.imageLength = static_cast<uint32_t>(image.data.size());
    unit.imageChecksum = image.checksum;
    unit.imageSha256 = image.sha256.empty() ? ImageSha256(image.data.data(), image.data.size()) : image.sha256;
    unit.startedUtcMs = UtcNowMs();
    m_state->startedSteady = std::chrono::steady_clock::now();
    m_state->started = true;
}

void CUnitRecording::SetDevice(const DeviceInfo& device) { m_state->unit.device = device; }

void CUnitRecording::SetOutcome(UnitStep step, const SessionResult& result) {
    State& s = *m_state;
    if (step == UnitStep::Reset && s.hasOutcome && s.outcome.result == UnitResult::Passed) {
        AddReset(s.outcome, result, s.unit.port);
    } else {
        s.outcome = OutcomeOf(step, result, s.unit.port);
    }
    s.hasOutcome = true;
}

int CUnitRecording::Finish(int status) {
    State& s = *m_state;
    if (!s.writer || !s.started) return status;
    // A refusal by range is decided by the command, not by a session step.
    if (s.hasOutcome && status != kExitRefused) {
        s.unit.result = s.outcome.result;
        s.unit.message = s.outcome.message;
    } else if (!ResultOfStatus(status, s.unit.result, s.unit.message)) {
        return status;
    }
    s.unit.id = NewRecordId();
    s.unit.endedUtcMs = UtcNowMs();
    s.unit.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                              s.startedSteady).count();
    s.writer->Submit(s.unit);
    const RecordWriterResult result = s.writer->Close();
    std::lock_guard<std::mutex> lock(s.mutex);
    bool stored = false, away = result.forwardPending;
    for (const RecordWriterEvent& event : s.events) {
        if (event.kind == RecordWriterEvent::Kind::Stored) stored = true;
        if (event.kind == RecordWriterEvent::Kind::ServerAway) {
            away = true;
            PrintError(FormatText(Tr("Records: %s"), {event.message}));
        }
    }
    if (away)
        PrintError(FormatText(Tr("The record waits in %s and goes to the server with the next run that reaches it."),
                              {s.localPath}));
    if (stored && !away) std::printf("%s\n", FormatText(Tr("Recorded as %s in %s"), {s.unit.id, s.where}).c_str());
    std::fflush(stdout);
    if (status == kExitOk && away) status = kExitRecords;
    return ReportUnkeptRecords(result, s.localPath, status);
}
