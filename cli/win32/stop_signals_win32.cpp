// Stop requests on Windows: the console's control events, which the system
// delivers on a thread of its own.
#include <windows.h>

#include <atomic>

#include "cli/stop_signals.h"

namespace {
std::atomic<StopRequest> g_request{StopRequest::None};
std::atomic<bool> g_keepStopping{false};
static_assert(std::atomic<StopRequest>::is_always_lock_free);

// How long a closing console waits for the clean stop; the system itself ends
// the process about 5 s after the close.
constexpr DWORD kCloseGraceMs = 10000;

BOOL WINAPI OnConsoleControl(DWORD event) {
    StopRequest request = StopRequest::None;
    switch (event) {
        case CTRL_C_EVENT:
            request = StopRequest::Interrupt;
            break;
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            request = StopRequest::Terminate;
            break;
        default:
            return FALSE;
    }
    StopRequest none = StopRequest::None;
    if (!g_request.compare_exchange_strong(none, request) && !g_keepStopping.load()) {
        // A second request ends the process at once, with the status of the
        // request, like a second signal on POSIX: no clean-up that could hang.
        // (The default handling exits with STATUS_CONTROL_C_EXIT on Windows,
        // but with 0 under Wine.)
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(ExitStatusForStop(request)));
        return TRUE;
    }
    // The process ends as soon as this returns from a close: wait here while
    // the main thread stops the link; its exit ends this thread too.
    if (event == CTRL_CLOSE_EVENT) ::Sleep(kCloseGraceMs);
    return TRUE;
}
}  // namespace

void InstallStopSignals() { ::SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void KeepStoppingOnFurtherRequests() { g_keepStopping = true; }

StopRequest PendingStopRequest() { return g_request.load(); }

// Control events never reach the link's worker: nothing to block or restore.
struct CStopSignalsBlocked::Saved {};

CStopSignalsBlocked::CStopSignalsBlocked() = default;

CStopSignalsBlocked::~CStopSignalsBlocked() = default;
