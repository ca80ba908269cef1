// The device command set against the simulator: request layout, reply
// matching, attempts, the block transfer and what each outcome posts.
#include <cstring>
#include <string>

#include "link_fixture.h"

namespace {
SimIdentity WorkedExampleDevice() {
    SimIdentity id;
    const uint8_t chip[4] = {0x12, 0x34, 0x56, 0x78};
    std::memcpy(id.chip, chip, 4);
    id.name = "AB";
    id.sw = {2, 5};
    id.hwLowest = {1, 0};
    id.hwHighest = {2, 9};
    id.hwCurrent = {3, 1};
    id.productNumber = 258;
    return id;
}

using CommandSet = LinkFixture;
}  // namespace

TEST_F(CommandSet, PollRepliesDecodeAsTheWorkedExamples) {
    sim.SetIdentity(WorkedExampleDevice());
    OpenForCommands();
    (void)link->ReadHardwareInfo();
    (void)link->ReadIdentity();
    const DeviceInfo d = link->SnapshotDevice();
    EXPECT_EQ(std::memcmp(d.chipId, "\x12\x34\x56\x78", 4), 0);
    EXPECT_STREQ(d.name.Text(), "AB");
    EXPECT_EQ(d.swMajor, 2);
    EXPECT_EQ(d.swMinor, 5);
    EXPECT_EQ(d.hwLowestMajor, 1u);
    EXPECT_EQ(d.hwLowestMinor, 0);
    EXPECT_EQ(d.hwHighestMajor, 2u);
    EXPECT_EQ(d.hwHighestMinor, 9);
    EXPECT_EQ(d.hwCurrentMajor, 3u);
    EXPECT_EQ(d.hwCurrentMinor, 1);
    EXPECT_EQ(d.productNumber, 258u);
    const auto ident = RequestsOf(CMD_READ_IDENT);
    ASSERT_EQ(ident.size(), 1u);
    EXPECT_EQ(ident[0].message, (std::vector<uint8_t>{0x80, 0x03, 0x00, 0x00}));
    EXPECT_TRUE(target.Notifications().empty()) << "the poll commands post nothing";
}

TEST_F(CommandSet, LongDeviceNameIsCutTo127) {
    SimIdentity id;
    id.name = std::string(200, 'N');
    sim.SetIdentity(id);
    OpenForCommands();
    (void)link->ReadIdentity();
    EXPECT_EQ(std::string(link->SnapshotDevice().name.Text()), std::string(127, 'N'));
}

TEST_F(CommandSet, ForeignFramesAreSkippedWithinThreeReplies) {
    SimFaults faults;
    faults.foreignFrames = 2;
    sim.SetFaults(faults);
    OpenForCommands();
    (void)link->ReadIdentity();
    EXPECT_STREQ(link->SnapshotDevice().name.Text(), "KAVRO SIM");
    EXPECT_EQ(sim.CountRequests(CMD_READ_IDENT), 1u) << "answered at the first attempt";
    EXPECT_TRUE(link->BeginDownload());
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD), 1u);
}

TEST_F(CommandSet, ThreeForeignFramesEndAnAttempt) {
    // Three foreign frames use up an attempt's replies; the real answer, left
    // on the line, is then met first by the second attempt.
    SimFaults faults;
    faults.foreignFrames = 3;
    sim.SetFaults(faults);
    OpenForCommands();
    (void)link->ReadIdentity();
    EXPECT_STREQ(link->SnapshotDevice().name.Text(), "KAVRO SIM");
    EXPECT_TRUE(sim.WaitForRequests(CMD_READ_IDENT, 2, 1000));
    EXPECT_EQ(sim.CountRequests(CMD_READ_IDENT), 2u);
    EXPECT_TRUE(target.Notifications().empty());
}

TEST_F(CommandSet, RefusalsAreRetriedUpToTheLimit) {
    SimFaults faults;
    faults.refuseCommand = CMD_BEGIN_DOWNLOAD;
    faults.refuseFirst = 2;
    sim.SetFaults(faults);
    OpenForCommands();
    EXPECT_TRUE(link->BeginDownload());
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD), 3u);
    EXPECT_TRUE(target.Notifications().empty());

    faults.refuseFirst = 3;
    sim.SetFaults(faults);
    sim.ClearRequests();
    EXPECT_FALSE(link->BeginDownload());
    EXPECT_EQ(sim.CountRequests(CMD_BEGIN_DOWNLOAD), 3u);
    EXPECT_EQ(target.Count(LN_NO_RESPONSE), 1u);
}

TEST_F(CommandSet, PollsHaveFiveAttempts) {
    SimFaults faults;
    faults.refuseCommand = CMD_READ_HWINFO;
    faults.refuseFirst = 4;
    sim.SetFaults(faults);
    OpenForCommands();
    EXPECT_TRUE(link->ReadHardwareInfo()) << "answered at the fifth attempt";
    EXPECT_EQ(sim.CountRequests(CMD_READ_HWINFO), 5u);
    EXPECT_EQ(link->SnapshotDevice().productNumber, 258u);
    faults.refuseFirst = 5;
    sim.SetFaults(faults);
    EXPECT_FALSE(link->ReadHardwareInfo()) << "five refusals: the group did not answer";
}

TEST_F(CommandSet, BlocksOf300ByteImage) {
    const auto data = Pattern(300);
    SetImage(data);
    OpenForCommands();
    ASSERT_TRUE(link->WriteBlocks());
    const auto blocks = RequestsOf(CMD_WRITE_BLOCK);
    ASSERT_EQ(blocks.size(), 3u);
    const uint32_t offsets[] = {0, 128, 256}, sizes[] = {128, 128, 44};
    for (int i = 0; i < 3; ++i) {
        const auto& m = blocks[static_cast<size_t>(i)].message;
        ASSERT_EQ(m.size(), sizes[i] + 7);
        EXPECT_EQ(m[4] | m[5] << 8, static_cast<int>(offsets[i]));
        EXPECT_EQ(m[6], sizes[i]);
    }
    EXPECT_EQ(sim.Image(), data);

    const auto messages = target.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].message, PBM_SETRANGE);
    EXPECT_EQ(messages[0].lParam, 300 << 16);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(messages[static_cast<size_t>(i + 1)].message, PBM_SETPOS);
        EXPECT_EQ(messages[static_cast<size_t>(i + 1)].wParam, offsets[i] + sizes[i]);
    }
    EXPECT_EQ(messages[4].message, WM_LINK_NOTIFY);
    EXPECT_EQ(messages[4].wParam, static_cast<uintptr_t>(LN_DOWNLOAD_DONE));
}

TEST_F(CommandSet, EmptyImageIsDoneAtOnce) {
    SetImage({});
    OpenForCommands();
    ASSERT_TRUE(link->WriteBlocks());
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 0u);
    const auto messages = target.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, PBM_SETRANGE);
    EXPECT_EQ(messages[0].lParam, 0);
    EXPECT_EQ(messages[1].wParam, static_cast<uintptr_t>(LN_DOWNLOAD_DONE));
}

TEST_F(CommandSet, AbsentOrOverlongImageSendsNothing) {
    link->m_length = 300;  // a failed load: length declared, no data
    OpenForCommands();
    EXPECT_FALSE(link->WriteBlocks());
    EXPECT_EQ(target.Notifications(), std::vector<int>{LN_NO_RESPONSE});

    SetImage(Pattern(65536));
    target.Clear();
    EXPECT_FALSE(link->WriteBlocks()) << "the 16-bit offset would wrap";
    EXPECT_EQ(target.Notifications(), std::vector<int>{LN_NO_RESPONSE});
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 0u);
}

TEST_F(CommandSet, RefusedBlockRepliesAreSkippedAndEachBlockHasThreeAttempts) {
    SetImage(Pattern(256));
    SimFaults faults;
    faults.refuseCommand = CMD_WRITE_BLOCK;
    faults.refuseFirst = 2;  // block 0 is acknowledged at its third attempt
    sim.SetFaults(faults);
    OpenForCommands();
    ASSERT_TRUE(link->WriteBlocks());
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 4u);
    EXPECT_EQ(sim.Image(), Pattern(256));

    // Three refusals of one block: the transfer gives up with one notification.
    faults.refuseFirst = 3;
    sim.SetFaults(faults);
    sim.ClearRequests();
    target.Clear();
    EXPECT_FALSE(link->WriteBlocks());
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 3u);
    EXPECT_EQ(target.Count(LN_NO_RESPONSE), 1u);
    EXPECT_EQ(target.Count(LN_DOWNLOAD_DONE), 0u);
}

TEST_F(CommandSet, FreshAttemptsForTheNextBlock) {
    // Two short acknowledgements on block 0 and two refusals on block 1: each
    // block succeeds at its third attempt only if the count starts anew.
    SetImage(Pattern(200));
    SimFaults faults;
    faults.shortAckFirst = 2;
    sim.SetFaults(faults);
    OpenForCommands();
    std::thread refuser([this] {
        // After block 0's second short ack, delay the replies so that the
        // refusals for block 1 are set before block 0's third ack goes out.
        if (!sim.WaitForRequests(CMD_WRITE_BLOCK, 2, 5000)) return;
        SimFaults delayed;
        delayed.replyDelayMs = 150;
        sim.SetFaults(delayed);
        if (!sim.WaitForRequests(CMD_WRITE_BLOCK, 3, 5000)) return;
        SimFaults next;
        next.refuseCommand = CMD_WRITE_BLOCK;
        next.refuseFirst = 2;
        sim.SetFaults(next);
    });
    const bool ok = link->WriteBlocks();
    refuser.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 6u);
    EXPECT_EQ(sim.Image(), Pattern(200));
}

TEST_F(CommandSet, ShortBlockAcknowledgementIsNotAccepted) {
    SetImage(Pattern(10));
    SimFaults faults;
    faults.shortAckFirst = 1;
    sim.SetFaults(faults);
    OpenForCommands();
    ASSERT_TRUE(link->WriteBlocks());
    EXPECT_EQ(sim.CountRequests(CMD_WRITE_BLOCK), 2u) << "the 3-byte ack must not count";
}

TEST_F(CommandSet, StopFoundBeforeAnAttemptPostsNoResponse) {
    SetImage(Pattern(10));
    OpenForCommands();
    link->m_running = 0;
    EXPECT_FALSE(link->WriteBlocks());
    EXPECT_FALSE(link->RunDevice());
    EXPECT_EQ(target.Count(LN_NO_RESPONSE), 2u);
    EXPECT_EQ(sim.Requests().size(), 0u);
}

TEST_F(CommandSet, SecondCpuUsesItsCodesAndRunsBothCpus) {
    link->m_secondCpu = 1;
    sim.SetCpuCount(2);
    SetImage(Pattern(5));
    OpenForCommands();
    EXPECT_TRUE(link->BeginDownload());
    EXPECT_TRUE(link->WriteBlocks());
    EXPECT_TRUE(link->EndDownload());
    EXPECT_TRUE(link->RunSecondCpu());
    EXPECT_TRUE(link->RunDevice());
    std::vector<uint8_t> codes;
    for (const auto& r : sim.Requests()) codes.push_back(r.command);
    EXPECT_EQ(codes, (std::vector<uint8_t>{CMD_BEGIN_DOWNLOAD_SECOND, CMD_WRITE_BLOCK_SECOND,
                                           CMD_END_DOWNLOAD_SECOND, CMD_RUN_SECOND, CMD_RUN}));

    link->m_secondCpu = 0;
    sim.ClearRequests();
    EXPECT_TRUE(link->RunSecondCpu());
    EXPECT_TRUE(sim.Requests().empty()) << "nothing is sent without the second CPU";
}
