#pragma once
// SIGINT and SIGTERM end a command cleanly: the handler only records the
// signal; the main thread sees it (PendingStopSignal) while it waits for the
// link, stops the link (worker joined, port closed) and exits with 128 + the
// signal number. A second signal of the same kind kills the process at once,
// should a clean stop ever hang.
//
// Main thread only.
#include <signal.h>

// Installs the handlers, and ignores SIGPIPE.
void InstallStopSignals();
// The signal received (SIGINT or SIGTERM), or 0.
int PendingStopSignal();
// The exit status for a received signal: 130 for SIGINT, 143 for SIGTERM.
int ExitStatusForSignal(int signal);

// Keeps the two signals blocked on the calling thread while it lives, so that
// threads created meanwhile (the link's worker) never receive them; they are
// then delivered to the main thread only.
class CStopSignalsBlocked {
public:
    CStopSignalsBlocked();
    ~CStopSignalsBlocked();
    CStopSignalsBlocked(const CStopSignalsBlocked&) = delete;
    CStopSignalsBlocked& operator=(const CStopSignalsBlocked&) = delete;

private:
    sigset_t m_previous;
};
