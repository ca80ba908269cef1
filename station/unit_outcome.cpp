#include "station/unit_outcome.h"

#include "link/port_failure.h"

#include "res/resource_ids.h"
#include "res/strings.h"

namespace {
// The string table's English text.
std::string Text(unsigned id) {
    const char* text = LoadStringSource(id);
    return text != nullptr ? text : "";
}

std::string Bytes(const SessionResult& result) {
    return std::to_string(result.acknowledged) + " of " + std::to_string(result.total) + " bytes.";
}

UnitOutcome Make(UnitResult result, std::string message) { return UnitOutcome{result, std::move(message)}; }

UnitOutcome IdentifyOutcome(const SessionResult& result, const std::string& port) {
    const std::string noResponse = Text(IDS_NO_RESPONSE) + ". ";
    switch (result.silence) {
        case SilenceKind::MissingHardwareInfo:
            return Make(UnitResult::NoResponse,
                        noResponse + "The unit on " + port + " answered its identity but not the hardware information request.");
        case SilenceKind::MissingIdentity:
            return Make(UnitResult::NoResponse,
                        noResponse + "The unit on " + port + " answered the hardware information request but not its identity.");
        case SilenceKind::SilentLine:
            return Make(UnitResult::NoResponse, noResponse + "Not a single byte came back on " + port + ".");
        default:
            return Make(UnitResult::NoResponse, noResponse + "Nothing answered on " + port + ".");
    }
}

UnitOutcome DownloadOutcome(const SessionResult& result, const std::string& port) {
    switch (result.kind) {
        case SessionErrorKind::None: return Make(UnitResult::Passed, Text(IDS_DOWNLOAD_DONE));
        case SessionErrorKind::Stopped: return Make(UnitResult::Stopped, "Stopped during the download after " + Bytes(result));
        case SessionErrorKind::PortGone:
            return Make(UnitResult::PortFailed,
                        Text(IDS_PORT_FAILED) + ". The port " + port + " went away during the download after " + Bytes(result));
        case SessionErrorKind::RefusedByHardwareRange: return Make(UnitResult::RefusedByHardwareRange, Text(IDS_HW_INCORRECT));
        default: break;
    }
    return Make(UnitResult::NoResponse,
                Text(IDS_NO_RESPONSE) + ". " +
                    (result.silence == SilenceKind::EndNotConfirmed
                         ? std::string("The unit took every block but did not confirm the end of the download.")
                         : "The download stopped after " + Bytes(result)));
}
}  // namespace

UnitOutcome OutcomeOf(UnitStep step, const SessionResult& result, const std::string& port) {
    if (result.kind == SessionErrorKind::Port || step == UnitStep::Connect)
        return Make(UnitResult::PortFailed, Text(IDS_PORT_FAILED) + ". " + PortFailureText(port, result.systemCode));
    if (step == UnitStep::Download) return DownloadOutcome(result, port);
    if (result.kind == SessionErrorKind::Stopped) return Make(UnitResult::Stopped, "Stopped by a stop request.");
    if (result.kind == SessionErrorKind::PortGone)
        return Make(UnitResult::PortFailed, Text(IDS_PORT_FAILED) + ". The port " + port + " went away.");
    if (step == UnitStep::Identify) return IdentifyOutcome(result, port);
    UnitOutcome passed = Make(UnitResult::Passed, Text(IDS_DOWNLOAD_DONE));
    AddReset(passed, result, port);
    return passed;
}

void AddReset(UnitOutcome& outcome, const SessionResult& reset, const std::string& port) {
    switch (reset.kind) {
        case SessionErrorKind::None: outcome.message += ". " + Text(IDS_DEVICE_RESET); return;
        case SessionErrorKind::Stopped:
            outcome = Make(UnitResult::Stopped, "Stopped after the download, before the reset was confirmed.");
            return;
        case SessionErrorKind::PortGone:
            outcome = Make(UnitResult::PortFailed,
                           Text(IDS_PORT_FAILED) + ". The port " + port + " went away before the reset was confirmed.");
            return;
        default:
            outcome = Make(UnitResult::NoResponse,
                           Text(IDS_NO_RESPONSE) + ". The unit took the image but did not acknowledge the reset.");
    }
}
