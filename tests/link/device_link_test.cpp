// The link engine end to end against the simulator: start and stop from every
// state, the poll cycle, requests, and the order of notifications.
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "failing_allocation.h"
#include "link/device_session.h"
#include "link/platform.h"
#include "link_fixture.h"
#include "terminal_recorder.h"
#include "tests/link/pty_pair.h"

namespace {
using Clock = std::chrono::steady_clock;
using LinkEngine = LinkFixture;

// Index of the first occurrence of code in codes, or -1.
int IndexOf(const std::vector<int>& codes, int code, size_t from = 0) {
    for (size_t i = from; i < codes.size(); ++i)
        if (codes[i] == code) return static_cast<int>(i);
    return -1;
}

// Calls Stop() and returns how long it took.
double TimedStop(CDeviceLink& link) {
    const auto start = Clock::now();
    link.Stop();
    return SecondsSince(start);
}
}  // namespace

TEST_F(LinkEngine, StartOnAMissingPortFailsWithoutAWorker) {
    link->m_portName.Assign("/dev/kavro-no-such-port");
    link->Start();
    EXPECT_EQ(target.Notifications(), std::vector<int>{LN_PORT_FAILED});
    EXPECT_EQ(link->m_running.load(), 0);
    EXPECT_TRUE(link->m_thread.IsEmpty());
    EXPECT_TRUE(link->m_wakeEvent.IsEmpty());
    EXPECT_NE(link->m_port.m_file.m_lastError, 0u) << "the system error is kept for the message";

    link->m_portName.Assign(sim.PortPath().c_str());
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    EXPECT_EQ(link->m_running.load(), 1);
}

TEST_F(LinkEngine, FirstCycleFillsTheDeviceAndPostsOneChange) {
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    EXPECT_EQ(sim.CountRequests(CMD_BAUD_SYNC), 7u) << "a sync request at each probe rate";
    const DeviceInfo d = link->SnapshotDevice();
    EXPECT_STREQ(d.name.Text(), "KAVRO SIM");
    EXPECT_EQ(d.productNumber, 258u);
    EXPECT_EQ(target.Count(LN_INFO_CHANGED), 1u) << "several fields changed, one notification";
    EXPECT_EQ(link->m_answers.load(), 2u) << "hardware information and identity";
    EXPECT_EQ(link->m_phase.load(), LinkPhase::Polling);
    EXPECT_FALSE(link->LineIsSilent());

    // An unchanged cycle posts nothing; a cycle with two changes posts one.
    ASSERT_TRUE(sim.WaitForRequests(CMD_READ_IDENT, 2, 6000));
    SimIdentity id;
    id.name = "RENAMED";
    id.productNumber = 999;
    sim.SetIdentity(id);
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED, 2, 8000));
    EXPECT_EQ(target.Count(LN_INFO_CHANGED), 2u);
    EXPECT_STREQ(link->SnapshotDevice().name.Text(), "RENAMED");
    EXPECT_EQ(link->m_port.m_baudRate, LINK_BAUD_RATE);
}

TEST_F(LinkEngine, SilentDeviceNeverPostsAChange) {
    SimFaults faults;
    faults.silent = true;
    sim.SetFaults(faults);
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_LINK_STARTED));
    ASSERT_TRUE(sim.WaitForRequests(CMD_READ_HWINFO, 1, 5000));
    EXPECT_FALSE(link->LineIsSilent()) << "the first attempt's read has not run out yet";
    EXPECT_EQ(link->m_phase.load(), LinkPhase::Polling);
    // The first attempt runs out without a byte: the line counts as silent.
    ASSERT_TRUE(sim.WaitForRequests(CMD_READ_HWINFO, 2, 5000));
    EXPECT_TRUE(link->LineIsSilent());
    // The stop lands in the middle of a 2-second read.
    EXPECT_LT(TimedStop(*link), 1.0);
    EXPECT_EQ(link->m_phase.load(), LinkPhase::Ended);
    EXPECT_EQ(target.Notifications(), (std::vector<int>{LN_LINK_STARTED, LN_LINK_ENDED}));
    const DeviceInfo d = link->SnapshotDevice();
    EXPECT_EQ(d.productNumber, 0u);
    EXPECT_STREQ(d.name.Text(), "");
}

TEST_F(LinkEngine, StopEndsASixSecondReadPromptly) {
    SimFaults faults;
    faults.silentCommand = CMD_READ_IDENT;
    sim.SetFaults(faults);
    link->Start();
    ASSERT_TRUE(sim.WaitForRequests(CMD_READ_IDENT, 1, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(TimedStop(*link), 1.0);
    EXPECT_EQ(link->m_running.load(), 0);
    EXPECT_FALSE(link->m_port.IsOpen());
    EXPECT_TRUE(link->m_wakeEvent.IsEmpty());
}

TEST_F(LinkEngine, StopDuringTheWakeUpPauseSendsNoSync) {
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_LINK_STARTED));
    EXPECT_LT(TimedStop(*link), 1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sim.CountRequests(CMD_BAUD_SYNC), 0u);
    EXPECT_EQ(link->m_port.m_baudRate, LINK_BAUD_RATE) << "the wake-up still restores 19200 baud";
    EXPECT_EQ(target.Notifications(), (std::vector<int>{LN_LINK_STARTED, LN_LINK_ENDED}));
}

TEST_F(LinkEngine, StopAndStartAreHarmlessWhenRepeated) {
    link->Stop();
    link->Stop();
    EXPECT_TRUE(target.Notifications().empty());
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_LINK_STARTED));
    link->Start();  // ends the first worker before opening the port again
    ASSERT_TRUE(target.WaitFor(LN_LINK_STARTED, 2));
    const auto codes = target.Notifications();
    const int ended = IndexOf(codes, LN_LINK_ENDED);
    ASSERT_GE(ended, 0);
    EXPECT_EQ(IndexOf(codes, LN_LINK_STARTED, 1), ended + 1) << "old LN_LINK_ENDED before the new start";
    EXPECT_EQ(target.Count(LN_PORT_FAILED), 0u) << "the port reopens at once";
}

TEST_F(LinkEngine, DownloadRequestSkipsThePause) {
    SetImage(Pattern(300));
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    // The cycle is now in its 2-second wait; the request must end it.
    const auto requested = Clock::now();
    link->RequestDownload();
    ASSERT_TRUE(sim.WaitForRequests(CMD_BEGIN_DOWNLOAD, 1, 5000));
    EXPECT_LT(SecondsSince(requested), 1.0);
    ASSERT_TRUE(target.WaitFor(LN_DOWNLOAD_DONE));
    EXPECT_EQ(sim.Image(), Pattern(300));
    EXPECT_TRUE(sim.WaitForRequests(CMD_END_DOWNLOAD, 1, 2000)) << "the end command follows the blocks";
    // The flag is cleared by the worker once the attempt is over.
    for (int i = 0; i < 50 && link->m_downloadRequested; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(link->m_downloadRequested.load(), 0);
    EXPECT_EQ(link->m_lastDownload.load(), DownloadOutcome::Confirmed) << "the device acknowledged the end";
    EXPECT_EQ(link->m_phase.load(), LinkPhase::Polling);
}

TEST_F(LinkEngine, DownloadThenResetInOnePassAndNoPollsAfter) {
    SetImage(Pattern(1000));
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    link->RequestDownload();
    link->RequestReset();
    ASSERT_TRUE(target.WaitFor(LN_DEVICE_RESET));
    EXPECT_EQ(link->m_resetIssued.load(), 1);

    std::vector<uint8_t> after;  // commands from the begin request on
    bool begun = false;
    for (const auto& r : sim.Requests()) {
        begun = begun || r.command == CMD_BEGIN_DOWNLOAD;
        if (begun && r.command != CMD_WRITE_BLOCK) after.push_back(r.command);
    }
    EXPECT_EQ(after, (std::vector<uint8_t>{CMD_BEGIN_DOWNLOAD, CMD_END_DOWNLOAD, CMD_RUN}));
    const auto codes = target.Notifications();
    EXPECT_LT(IndexOf(codes, LN_DOWNLOAD_DONE), IndexOf(codes, LN_DEVICE_RESET));

    const size_t polls = sim.CountRequests(CMD_READ_HWINFO);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(sim.CountRequests(CMD_READ_HWINFO), polls) << "no polls after a reset";

    EXPECT_LT(TimedStop(*link), 1.0);
    EXPECT_EQ(link->m_resetIssued.load(), 1) << "survives Stop";
    link->Start();
    EXPECT_EQ(link->m_resetIssued.load(), 0) << "cleared by the next Start";
}

TEST_F(LinkEngine, SecondCpuResetStopsWhenItsRunFails) {
    SimFaults faults;
    faults.refuseCommand = CMD_RUN_SECOND;
    faults.refuseFirst = 3;
    sim.SetFaults(faults);
    sim.SetCpuCount(2);
    link->m_secondCpu = 1;
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    link->RequestReset();
    ASSERT_TRUE(target.WaitFor(LN_NO_RESPONSE, 1, 30000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sim.CountRequests(CMD_RUN_SECOND), 3u);
    EXPECT_EQ(sim.CountRequests(CMD_RUN), 0u);
    EXPECT_EQ(target.Count(LN_NO_RESPONSE), 1u);
    EXPECT_EQ(target.Count(LN_DEVICE_RESET), 0u);
    EXPECT_EQ(sim.CountRequests(CMD_READ_IDENT_SECOND) > 0, true) << "polls used the second CPU's codes";
}

TEST_F(LinkEngine, StopDuringADownloadGivesUpWithOneNotification) {
    SimFaults faults;
    faults.lineRate = 19200;  // about 13 s for the whole image
    sim.SetFaults(faults);
    SetImage(Pattern(24 * 1024));
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED, 1, 15000));
    link->RequestDownload();
    ASSERT_TRUE(sim.WaitForRequests(CMD_WRITE_BLOCK, 3, 10000));
    EXPECT_EQ(link->m_phase.load(), LinkPhase::Downloading);
    EXPECT_LT(TimedStop(*link), 1.0);
    EXPECT_EQ(link->m_lastDownload.load(), DownloadOutcome::Failed);
    const auto codes = target.Notifications();
    EXPECT_EQ(target.Count(LN_NO_RESPONSE), 1u);
    EXPECT_EQ(target.Count(LN_DOWNLOAD_DONE), 0u);
    EXPECT_EQ(IndexOf(codes, LN_LINK_ENDED), IndexOf(codes, LN_NO_RESPONSE) + 1);
    EXPECT_EQ(link->m_downloadRequested.load(), 0);
}

TEST_F(LinkEngine, HangUpDuringADownloadIsNoResponseNotAHang) {
    SimFaults faults;
    faults.hangUpAfterBlocks = 5;
    sim.SetFaults(faults);
    SetImage(Pattern(24 * 1024));
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    link->RequestDownload();
    // A hang-up fails every transfer at once instead of costing read time-outs.
    ASSERT_TRUE(target.WaitFor(LN_NO_RESPONSE, 1, 3000));
    EXPECT_EQ(target.Count(LN_DOWNLOAD_DONE), 0u);
    EXPECT_LT(TimedStop(*link), 1.0);
}

TEST_F(LinkEngine, ProgressRangeKeepsTheLow16BitsOfTheLength) {
    link->m_progressWindow = &target;
    link->PostProgressRange(70000);
    link->PostProgressPos(70000);
    const auto m = target.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].lParam, static_cast<intptr_t>((70000 & 0xFFFF) << 16));
    EXPECT_EQ(m[1].wParam, 70000u);
    link->m_progressWindow = nullptr;
    link->m_notifyWindow = nullptr;
    link->PostProgressPos(1);
    link->PostNotify(LN_INFO_CHANGED);
    EXPECT_EQ(target.Messages().size(), 2u) << "an empty target drops the post";
}

// Each probe frame leaves at its own speed: the wake-up drains every sync
// frame before it changes the speed again, so on a real UART the 57600 frame
// is not cut off by the switch back to 19200.
TEST_F(LinkEngine, WakeUpDrainsEachProbeFrameBeforeTheNextSpeed) {
    TerminalRecorder recorder;
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    link->Stop();
    const std::vector<std::string> calls = recorder.Calls();
    std::vector<std::string> expected{"low latency", "speed 19200"};  // the start's Open
    for (uint32_t rate : PROBE_RATES) {
        expected.push_back("speed " + std::to_string(rate));
        expected.push_back("write");
        expected.push_back("drain");
    }
    expected.push_back("speed 19200");
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + static_cast<long>(expected.size())), expected);
}

// A port failure names this attempt's port and cause, even when the failing
// step (here the wake-up event: no descriptor left) records no error of its own
// and an earlier connection ended with "Operation canceled".
TEST_F(LinkEngine, PortFailureNamesThisAttemptsPortAndCause) {
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_LINK_STARTED));
    link->Stop();
    PtyPair other;
    ASSERT_TRUE(other.Ok());
    link->SetPortName(other.Path().c_str());
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    target.Clear();
    link->Start();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(target.Notifications(), std::vector<int>{LN_PORT_FAILED});
    EXPECT_STREQ(link->m_port.m_portName.Text(), other.Path().c_str());
    EXPECT_EQ(link->m_port.m_file.m_lastError, static_cast<uint32_t>(EMFILE))
        << SystemErrorText(link->m_port.m_file.m_lastError);
    EXPECT_FALSE(link->m_port.IsOpen());
}

// The worker's holder never ends the program: no memory for the thread is a
// port failure, and a Stop() reached from the worker itself leaves no joinable
// thread behind.
TEST_F(LinkEngine, WorkerHolderSurvivesNoMemoryAndAStopFromTheWorker) {
    t_failNextAllocations = 1;
    link->Start();
    t_failNextAllocations = 0;
    EXPECT_EQ(target.Notifications(), std::vector<int>{LN_PORT_FAILED});
    EXPECT_EQ(link->m_port.m_file.m_lastError, kErrorNoMemory);
    EXPECT_TRUE(link->m_thread.IsEmpty());
    EXPECT_FALSE(link->m_port.IsOpen()) << "the port is not left held";

    class StopOnStart final : public IMessageTarget {
    public:
        StopOnStart(CDeviceLink& link, RecordingTarget& record) : m_link(link), m_record(record) {}
        void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
            if (message == WM_LINK_NOTIFY && wParam == LN_LINK_STARTED) m_link.Stop();
            m_record.Post(message, wParam, lParam);
        }

    private:
        CDeviceLink& m_link;
        RecordingTarget& m_record;
    } stopper(*link, target);
    target.Clear();
    link->m_notifyWindow = &stopper;
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_LINK_ENDED));
    EXPECT_TRUE(link->m_thread.IsEmpty());
    EXPECT_EQ(link->m_running.load(), 0);
    link->m_notifyWindow = &target;
    link->Start();
    EXPECT_TRUE(target.WaitFor(LN_INFO_CHANGED)) << "the link starts again";
}

// An image that cannot be sent is refused before the device hears a begin.
TEST_F(LinkEngine, RefusedImageSendsNoBeginFrame) {
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    link->RequestDownload();  // no image at all
    ASSERT_TRUE(target.WaitFor(LN_NO_RESPONSE));
    // The worker clears the request after posting; a new one waits for that.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (link->m_downloadRequested && Clock::now() < deadline) std::this_thread::yield();
    SetImage(Pattern(MAX_DOWNLOAD_LENGTH + 1));
    link->RequestDownload();
    ASSERT_TRUE(target.WaitFor(LN_NO_RESPONSE, 2));
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD), 0u);
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 0u);
    EXPECT_EQ(target.Count(LN_NO_RESPONSE), 2u);
}

// The cycle says which poll groups answered, for front ends that must not take
// half a device for a whole one.
TEST_F(LinkEngine, CycleAnswersTellWhichGroupsAnswered) {
    SimFaults faults;
    faults.refuseCommand = CMD_READ_HWINFO;
    faults.refuseFirst = 5;
    sim.SetFaults(faults);
    link->Start();
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED));
    EXPECT_EQ(link->m_cycleAnswers.load(), ANSWERED_IDENTITY);
    ASSERT_TRUE(target.WaitFor(LN_INFO_CHANGED, 2, 8000));
    EXPECT_EQ(link->m_cycleAnswers.load(), ANSWERED_IDENTITY | ANSWERED_HWINFO);
}

// The device session runs the engine's steps on the caller's thread: the
// whole conversation, byte-exact, with progress and no worker.
TEST_F(LinkEngine, SessionRunsTheWholeConversationOnTheCallersThread) {
    CDeviceSession session;
    ASSERT_TRUE(session.Open(sim.PortPath()).Ok());
    const SessionResult identified = session.Identify(std::chrono::seconds(45), true);
    ASSERT_TRUE(identified.Ok());
    EXPECT_NE(session.Device().productNumber, 0u);
    FirmwareInfo info;
    info.hwHighestMajor = 0xFFFFFFFF;
    const std::vector<uint8_t> data = testdata::Pattern(1000, 5);
    std::vector<uint32_t> progress;
    const std::thread::id caller = std::this_thread::get_id();
    bool onCaller = true;
    const SessionResult sent = session.Download(info, data, false, [&](uint32_t acknowledged, uint32_t total) {
        progress.push_back(acknowledged);
        onCaller = onCaller && std::this_thread::get_id() == caller && total == data.size();
    });
    ASSERT_TRUE(sent.Ok());
    EXPECT_EQ(sent.acknowledged, 1000u);
    EXPECT_EQ(progress.size(), 8u) << "one call per 128-byte block";
    EXPECT_TRUE(onCaller);
    EXPECT_EQ(sim.Image(), data);
    EXPECT_TRUE(session.Reset().Ok());
    EXPECT_EQ(sim.CountRequests(CMD_RUN), 1u);

    // An image outside the device's range is refused before a begin is sent.
    info.hwHighestMajor = 0;
    info.hwLowestMajor = 0;
    const size_t begins = sim.CountRequests(CMD_BEGIN_DOWNLOAD);
    EXPECT_EQ(session.Download(info, data, false, {}).kind, SessionErrorKind::RefusedByHardwareRange);
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD), begins);
}

// A stop from another thread ends any wait of a step as promptly as the
// engine's Stop does; a group the device never answers is named.
TEST_F(LinkEngine, SessionStopsPromptlyAndNamesTheMissingGroup) {
    SimFaults faults;
    faults.silentCommand = CMD_READ_IDENT;
    sim.SetFaults(faults);
    CDeviceSession session;
    ASSERT_TRUE(session.Open(sim.PortPath()).Ok());
    std::thread stopper([&] {
        ASSERT_TRUE(sim.WaitForRequests(CMD_READ_IDENT, 1, 5000));
        session.RequestStop();
    });
    const auto start = std::chrono::steady_clock::now();
    const SessionResult stopped = session.Identify(std::chrono::seconds(45), false);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stopper.join();
    EXPECT_EQ(stopped.kind, SessionErrorKind::Stopped);
    EXPECT_LT(seconds, 5.0) << "the six-second identity read was cut short";

    // Half an answer is no answer (the shorter hardware-information group
    // stays silent here, to keep the test quick).
    faults.silentCommand = CMD_READ_HWINFO;
    sim.SetFaults(faults);
    ASSERT_TRUE(session.Open(sim.PortPath()).Ok()) << "a new Open clears the stop";
    const SessionResult half = session.Identify(std::chrono::seconds(45), false);
    EXPECT_EQ(half.kind, SessionErrorKind::NoResponse);
    EXPECT_EQ(half.silence, SilenceKind::MissingHardwareInfo);
}
