#pragma once
// A stop request ends a command cleanly: the system's notice only records it;
// the main thread sees it (PendingStopRequest) while it waits for the link,
// stops the link (worker joined, port closed) and exits with 130 or 143. A
// second request ends the process at once, should a clean stop ever hang
// (POSIX: a second signal of the same kind), unless the command asked to keep
// stopping (KeepStoppingOnFurtherRequests).
//
// POSIX: SIGINT (Ctrl+C) asks to interrupt, SIGTERM and SIGHUP (the terminal
// closed) to terminate; SIGPIPE is ignored. Windows: Ctrl+C asks to interrupt;
// Ctrl+Break and closing the console ask to terminate.
//
// Main thread only.
#include <memory>

enum class StopRequest { None, Interrupt, Terminate };

// Installs the handlers.
void InstallStopSignals();
// From now on further requests never end the process: its clean stop records
// units in hand, and `timeout` or a closing terminal send a second signal of
// their own. The first request stays the one reported.
void KeepStoppingOnFurtherRequests();
// The stop request received, or StopRequest::None.
StopRequest PendingStopRequest();
// The exit status for a stop request: 130 to interrupt, 143 to terminate (128
// + SIGINT or SIGTERM, as POSIX shells report them).
int ExitStatusForStop(StopRequest request);

// While it lives, threads the calling thread creates (the link's worker) never
// receive the stop signals; they are delivered to the main thread only. Where
// the system delivers stop requests on a thread of its own (Windows), nothing
// needs doing.
class CStopSignalsBlocked {
public:
    CStopSignalsBlocked();
    ~CStopSignalsBlocked();
    CStopSignalsBlocked(const CStopSignalsBlocked&) = delete;
    CStopSignalsBlocked& operator=(const CStopSignalsBlocked&) = delete;

private:
    struct Saved;  // what the system needs to restore, per system
    std::unique_ptr<Saved> m_saved;
};
