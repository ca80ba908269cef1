// Stop requests on POSIX: SIGINT, SIGTERM and SIGHUP.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <csignal>

#include "cli/stop_signals.h"

namespace {
// Written by the signal handler, read by the main thread and by a stop relay's
// thread (cli/stop_relay.h): a lock-free atomic, which a handler may store to.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first request is the one that counts; the handler never runs nested
// (the stop signals are blocked while it runs).
extern "C" void OnStopSignal(int signal) {
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signal);
}

// resetHand: the next signal of the kind takes the default action.
void InstallHandlers(bool resetHand) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART | (resetHand ? SA_RESETHAND : 0);
    for (const int signal : kStopSignals) sigaction(signal, &action, nullptr);
}
}  // namespace

void InstallStopSignals() {
    InstallHandlers(true);
    // A reader of our output that goes away (a closed pipe) must not kill the
    // process in the middle of a download; the failed writes are dropped.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

void KeepStoppingOnFurtherRequests() { InstallHandlers(false); }

StopRequest PendingStopRequest() {
    switch (g_stopSignal.load()) {
        case SIGINT:
            return StopRequest::Interrupt;
        case SIGTERM:
        case SIGHUP:
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
    for (const int signal : kStopSignals) sigaddset(&block, signal);
    pthread_sigmask(SIG_BLOCK, &block, &m_saved->previous);
}

CStopSignalsBlocked::~CStopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_saved->previous, nullptr); }
