#pragma once
// The record of one download (kavro-cli download --records): the unit's
// device and image as the attempt goes, its result from the command's exit
// session outcome (or, where none came, its exit status) at the end, written through a record writer (and, for a line's
// server, forwarded from the local file). Inactive without --records.
//
// Main thread only; prints its own outcome (the record's id and place on
// standard output, failures on standard error).
#include <memory>
#include <string>

#include "image/firmware_image.h"
#include "link/device_info.h"
#include "station/unit_outcome.h"
struct RecordWriterResult;

// Says which records a closed writer could not keep (where was meant, why,
// where they were saved instead) and returns the status to exit with:
// kExitRecords when any were left, else status. Main thread.
int ReportUnkeptRecords(const RecordWriterResult& result, const std::string& where, int status);

class CUnitRecording {
public:
    // locator "": records nothing. station "": the host name.
    CUnitRecording(const std::string& locator, const std::string& station, const std::string& port);
    ~CUnitRecording();
    CUnitRecording(const CUnitRecording&) = delete;
    CUnitRecording& operator=(const CUnitRecording&) = delete;

    // Opens the store before the device is touched; prints why it cannot be.
    [[nodiscard]] bool Open();
    // The image about to be sent (imageArgument "": the built-in one); the
    // attempt starts now.
    void SetImage(const FirmwareImage& image);
    void SetDevice(const DeviceInfo& device);
    // How the attempt's latest step went (the session's result for it).
    void SetOutcome(UnitStep step, const SessionResult& result);
    // Records the attempt that ended with the command's status (its outcome
    // when a step set one, otherwise from the status) and returns the
    // status to exit with: kExitRecords when the download went well but its
    // record did not get where --records said.
    int Finish(int status);

private:
    struct State;  // the record and its writer (none in builds without records)
    std::unique_ptr<State> m_state;
};
