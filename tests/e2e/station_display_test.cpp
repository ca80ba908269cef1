// kavro-cli station's text: the --bay values, the JSON Lines objects and the
// lines for people.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "cli/cli_text.h"
#include "cli/station_display.h"
#include "station/work_order.h"
#include "records/json_text.h"
#include "res/translation.h"

namespace {

StationEvent FinishedEvent() {
    StationEvent event;
    event.kind = StationEventKind::UnitFinished;
    event.bay = 2;
    event.port = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    event.utcMs = 1796645470123;  // 2026-12-07T12:11:10.123Z
    event.secondCpu = true;
    const uint8_t chip[4] = {0x89, 0x02, 0x5C, 0xC1};
    std::copy(chip, chip + 4, event.device.chipId);
    event.device.name.Assign("Unit \"A\"");
    event.device.productNumber = 128519;
    event.result = UnitResult::NoResponse;
    event.message = "Equipment do not respond properly";
    event.recordId = "0123456789abcdef0123456789abcdef";
    event.durationMs = 1530;
    return event;
}

TEST(StationText, BayValuesKeepThePortsOwnColonsAndTakeOnlyTheSecondSuffix) {
    const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    BayConfig bay = ParseBayOption(byPath, false);
    EXPECT_EQ(bay.port, byPath);
    EXPECT_FALSE(bay.secondCpu);
    bay = ParseBayOption(byPath + ":second", false);
    EXPECT_EQ(bay.port, byPath);
    EXPECT_TRUE(bay.secondCpu);
    bay = ParseBayOption("COM3", true);
    EXPECT_EQ(bay.port, "COM3");
    EXPECT_TRUE(bay.secondCpu) << "--second-cpu applies to every bay";
    EXPECT_EQ(ParseBayOption(":second", false).port, ":second") << "a suffix alone is no port";
}

TEST(StationText, JsonLinesCarryFormatEventBayTimeAndTheEventsFields) {
    const std::string json = StationEventJson(FinishedEvent());
    EXPECT_EQ(json.rfind("{\"format\":1,\"event\":\"unit-finished\",\"bay\":2,\"port\":\"/dev/serial/by-path/"
                         "pci-0000:00:14.0-usb-0:2:1.0-port0\",\"time\":\"2026-12-07T12:11:10.123Z\",\"cpu\":\"second\"",
                         0),
              0u)
        << json;
    EXPECT_NE(json.find("\"chipId\":\"89025CC1\",\"name\":\"Unit \\\"A\\\"\",\"productNumber\":128519"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"result\":\"no-response\""), std::string::npos);
    EXPECT_NE(json.find("\"durationMs\":1530,\"recordId\":\"0123456789abcdef0123456789abcdef\"}"), std::string::npos);

    StationEvent progress = FinishedEvent();
    progress.kind = StationEventKind::Progress;
    progress.position = 256;
    progress.total = 24576;
    const std::string line = StationEventJson(progress);
    EXPECT_NE(line.find("\"event\":\"progress\""), std::string::npos);
    EXPECT_NE(line.find("\"position\":256,\"total\":24576}"), std::string::npos) << line;
    EXPECT_EQ(line.find("recordId"), std::string::npos);

    EXPECT_EQ(RecordStoredJson({1, "/dev/ttyUSB1", true}, "ab", 1796645470123),
              "{\"format\":1,\"event\":\"record-stored\",\"bay\":1,\"port\":\"/dev/ttyUSB1\","
              "\"time\":\"2026-12-07T12:11:10.123Z\",\"cpu\":\"second\",\"recordId\":\"ab\"}");
}

TEST(StationText, LinesForPeopleShowResultTotalsAndFitTheWidth) {
    EXPECT_EQ(StationEventLine(FinishedEvent()),
              "2026-12-07T12:11:10.123Z  bay 3  /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0  "
              "no-response: Equipment do not respond properly (1.5 s)");
    StationTotals totals;
    EXPECT_EQ(TotalsLine(totals), "Passed 0  Failed 0  Yield -  Units/h 0.0");
    totals.passed = 3;
    totals.failed = 1;
    totals.stopped = 2;
    totals.yield = 0.75;
    totals.unitsPerHour = 120.44;
    EXPECT_EQ(TotalsLine(totals), "Passed 3  Failed 1  Stopped 2  Yield 75.0 %  Units/h 120.4");

    BayStatus bay;
    bay.config.port = "/dev/ttyUSB0";
    bay.state = BayState::Flashing;
    bay.present = true;
    bay.device.name.Assign("KAVRO SIM");
    bay.device.productNumber = 258;
    bay.position = 12288;
    bay.total = 24576;
    bay.passed = 4;
    EXPECT_EQ(BayLine(0, bay, 200), "bay 1  /dev/ttyUSB0  flashing  KAVRO SIM #258  50 %  (4 passed, 0 failed)");
    EXPECT_EQ(BayLine(0, bay, 20).size(), 20u);
    bay.state = BayState::Done;
    EXPECT_EQ(BaySummaryLine(0, bay), "Bay 1 /dev/ttyUSB0: done, no unit finished");
}

// A translator that gives every line text in Chinese, as a catalogue would.
const char* ChineseForTest(const char* english) {
    const std::string text = english;
    if (text == "bay %s") return "工位 %s";
    if (text == "(%s passed, %s failed)") return "（通过 %s，失败 %s）";
    if (text == "Bay %s %s: ") return "工位 %s %s：";
    if (text == "%s, no unit finished") return "%s，尚无设备完成";
    return english;
}

TEST(StationText, TranslatedLinesKeepResultNamesAndCutOnlyWholeCharacters) {
    SetTextTranslator(ChineseForTest);
    BayStatus bay;
    bay.config.port = "/dev/ttyUSB0";
    bay.state = BayState::Done;
    bay.passed = 2;
    const std::string full = BayLine(3, bay, 0);
    const std::string summary = BaySummaryLine(3, bay);
    // Every cut from 8 to the full length: no glyph is split, nothing grows.
    std::vector<std::string> cuts;
    for (size_t width = 8; width <= full.size(); ++width) cuts.push_back(BayLine(3, bay, width));
    SetTextTranslator(nullptr);

    EXPECT_EQ(full, "工位 4  /dev/ttyUSB0  done  （通过 2，失败 0）");
    EXPECT_EQ(summary, "工位 4 /dev/ttyUSB0：done，尚无设备完成");
    for (size_t i = 0; i < cuts.size(); ++i) {
        const size_t width = i + 8;
        EXPECT_LE(cuts[i].size(), width);
        EXPECT_GT(cuts[i].size() + 3, width) << "at most one glyph's bytes are dropped";
        EXPECT_EQ(full.compare(0, cuts[i].size(), cuts[i]), 0);
        EXPECT_EQ(ToValidUtf8(cuts[i]), cuts[i]) << "a split glyph at width " << width;
    }
}
// The run's image event and line name the key that released the image, and
// say null for one without a verified signature.
TEST(StationText, TheImageNamesWhoReleasedIt) {
    FirmwareImage image;
    image.path = "/srv/p.fw";
    image.sha256 = std::string(64, 'a');
    EXPECT_NE(StationImageJson(image, 0).find("\"keyId\":null,\"signer\":null"), std::string::npos);
    EXPECT_EQ(StationImageLine(image).find("released by"), std::string::npos);
    image.keyId = "0123456789abcdef";
    image.signer = "Release Office";
    EXPECT_NE(StationImageJson(image, 0).find("\"keyId\":\"0123456789abcdef\",\"signer\":\"Release Office\""),
              std::string::npos);
    EXPECT_NE(StationImageLine(image).find(", released by \"Release Office\" (key 0123456789abcdef)"),
              std::string::npos);
}

// A failed unit gives its place back; the units on their way count, so many
// bays claiming at once never pass more than the order.
TEST(WorkOrder, ClaimsNeverOverfillTheOrder) {
    COrderCount order(3, 1);
    EXPECT_EQ(order.Claim(0), OrderClaim::Granted);
    EXPECT_EQ(order.Claim(1), OrderClaim::Granted);
    EXPECT_EQ(order.Claim(2), OrderClaim::Full) << "one passed before, two on their way";
    order.Settle(1, false);
    EXPECT_EQ(order.Claim(1), OrderClaim::Granted);
    order.Settle(0, true);
    EXPECT_FALSE(order.Complete());
    order.Settle(1, true);
    EXPECT_TRUE(order.Complete());
    EXPECT_EQ(order.PassedCount(), 3u);

    COrderCount shared(50, 0);
    std::atomic<int> passed{0};
    std::vector<std::thread> bays;
    for (size_t bay = 0; bay < 8; ++bay) {
        bays.emplace_back([&, bay] {
            for (size_t unit = 0; shared.Claim(bay) == OrderClaim::Granted; ++unit) {
                const bool passes = (unit + bay) % 3 != 0;  // every third unit fails
                shared.Settle(bay, passes);
                if (passes) ++passed;
            }
        });
    }
    for (std::thread& bay : bays) bay.join();
    EXPECT_EQ(passed.load(), 50);
    EXPECT_TRUE(shared.Complete());
}
}  // namespace
