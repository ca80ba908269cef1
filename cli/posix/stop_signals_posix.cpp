// Stop requests on POSIX: SIGINT and SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <csignal>

#include "cli/stop_signals.h"

namespace {
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int signal) { g_stopSignal = signal; }
}  // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the next signal of the kind takes the default action.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of our output that goes away (a closed pipe) must not kill the
    // process in the middle of a download; the failed writes are dropped.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

StopRequest PendingStopRequest() {
    switch (g_stopSignal) {
        case SIGINT:
            return StopRequest::Interrupt;
        case SIGTERM:
            return StopRequest::Terminate;
        default:
            return StopRequest::None;
    }
}

struct CStopSignalsBlocked::Saved {
    sigset_t previous;
};

CStopSignalsBlocked::CStopSignalsBlocked() : m_saved(std::make_unique<Saved>()) {
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &m_saved->previous);
}

CStopSignalsBlocked::~CStopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_saved->previous, nullptr); }
