#include "cli/stop_signals.h"

#include "cli/exit_codes.h"

int ExitStatusForStop(StopRequest request) {
    return request == StopRequest::Terminate ? kExitSigTerm : kExitSigInt;
}
