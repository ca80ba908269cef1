// The string table's shared texts, the person's language and the catalogues.
// (The desktop application's own table: tests/gui/ui_strings_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "res/strings.h"
#include "res/translation.h"

namespace {
std::string Text(unsigned id) {
    const char* text = LoadStringText(id);
    return text != nullptr ? std::string(text) : std::string("<missing ") + std::to_string(id) + ">";
}

// The shared texts live in the core's table; the desktop application's own
// (its commands, framework strings and boxes) do not.
TEST(StringTable, CoreTableHoldsTheSharedTextsOnly) {
    EXPECT_EQ(Text(IDS_CHIP_ID), "Chip ID");
    EXPECT_EQ(Text(IDS_DOWNLOAD_DONE), "Firmware was downloaded successfuly");
    EXPECT_EQ(Text(IDS_HW_INCORRECT), "HW version of a connected unit is incorrect for this FW.");
    EXPECT_STREQ(LoadStringSource(IDS_PORT_FAILED), "COM port can not be open");
    for (unsigned id : {128u, 140u, 142u, 57344u, 0xE100u, 0x8003u, 0xE700u}) EXPECT_EQ(LoadStringText(id), nullptr) << id;
}

TEST(TextFormat, FillsPlaceholdersInOrderOrByNumber) {
    EXPECT_EQ(FormatText("Port %s: %s", {"COM3", "busy"}), "Port COM3: busy");
    EXPECT_EQ(FormatText("%2$s von %1$s", {"10", "3"}), "3 von 10");
    EXPECT_EQ(FormatText("%s%% done", {"50"}), "50% done");
    EXPECT_EQ(FormatText("no placeholders", {"unused"}), "no placeholders");
    // Values are never read as formats themselves.
    EXPECT_EQ(FormatText("[%s]", {"%s %1$s %%"}), "[%s %1$s %%]");
}

// A faulty catalogue may name more values than the code gives, or write a
// placeholder of another kind: the text keeps them as written, nothing is
// read past the values.
TEST(TextFormat, FaultyPlaceholdersStayAsWritten) {
    EXPECT_EQ(FormatText("%s and %s and %s", {"a"}), "a and %s and %s");
    EXPECT_EQ(FormatText("%3$s|%0$s|%99999999999999999999$s", {"a", "b"}),
              "%3$s|%0$s|%99999999999999999999$s");
    EXPECT_EQ(FormatText("%d %n %", {"a"}), "%d %n %");
    EXPECT_EQ(FormatText(nullptr, {"a"}), "");
}

TEST(TextLanguage, OptionBeforeEnvironmentBeforeSystem) {
    EXPECT_EQ(ChosenLanguage("de", "zh_CN"), "de");
    EXPECT_EQ(ChosenLanguage("", "zh_CN"), "zh_CN");
    EXPECT_EQ(ChosenLanguage(nullptr, nullptr), "");
    EXPECT_EQ(ChosenLanguage(nullptr, ""), "");
}

TEST(TextLanguage, CatalogueFoldersBestFirstWithoutRepeats) {
    const std::vector<std::string> folders = CatalogueFolders("/opt/po", "/usr/bin", "/usr/share/locale");
    const std::vector<std::string> expected = {"/opt/po", "/usr/bin/../share/locale", "/usr/bin/share/locale",
                                               "/usr/bin/locale", "/usr/share/locale"};
    EXPECT_EQ(folders, expected);
    EXPECT_EQ(CatalogueFolders(nullptr, "", "/usr/share/locale"), std::vector<std::string>{"/usr/share/locale"});
    EXPECT_EQ(CatalogueFolders("/x", "", "/x"), std::vector<std::string>{"/x"});
}

// A little-endian .mo file of two entries: the header, then "Ready".
std::vector<uint8_t> SmallCatalogue() {
    std::vector<uint8_t> mo;
    auto word = [&mo](uint32_t v) {
        for (int i = 0; i < 4; ++i) mo.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const std::string texts[] = {"", "Ready", "charset=UTF-8\n", "Bereit"};
    for (uint32_t v : {0x950412DEu, 0u, 2u, 28u, 44u, 0u, 60u}) word(v);
    uint32_t at = 60;
    for (const std::string& text : texts) {
        word(static_cast<uint32_t>(text.size()));
        word(at);
        at += static_cast<uint32_t>(text.size() + 1);
    }
    for (const std::string& text : texts) mo.insert(mo.end(), text.c_str(), text.c_str() + text.size() + 1);
    return mo;
}

TEST(TextLanguage, CatalogueCheckRefusesWhatWouldBeReadOutsideTheFile) {
    std::vector<uint8_t> mo = SmallCatalogue();
    EXPECT_TRUE(CatalogueIsSound(mo.data(), mo.size()));
    for (size_t size = 0; size < mo.size(); ++size) EXPECT_FALSE(CatalogueIsSound(mo.data(), size)) << size;
    auto damaged = [&mo](size_t at, uint32_t value) {
        std::vector<uint8_t> copy = mo;
        for (int i = 0; i < 4; ++i) copy[at + i] = static_cast<uint8_t>(value >> (8 * i));
        return CatalogueIsSound(copy.data(), copy.size());
    };
    EXPECT_FALSE(damaged(0, 0x12345678u));  // not a catalogue
    EXPECT_FALSE(damaged(8, 0x20000000u));  // more entries than the file holds
    EXPECT_FALSE(damaged(16, 0xFFFFFFF8u)); // the translations' table beyond the end
    EXPECT_FALSE(damaged(44, 0xFFFFFFF0u)); // the header's translation: a length that wraps around
    EXPECT_FALSE(damaged(48, 0x7FFFFFF0u)); // ... an offset beyond the end
    mo.back() = '!';                         // the last text without its zero byte
    EXPECT_FALSE(CatalogueIsSound(mo.data(), mo.size()));
}
}  // namespace
