// The string table: texts looked up by the numbers the resources use, exactly
// as the operator must see them (their spelling included).
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

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t nl = text.find('\n', start);
        out.push_back(text.substr(start, nl - start));
        if (nl == std::string::npos) return out;
        start = nl + 1;
    }
}

TEST(StringTable, ApplicationAndFrameworkStrings) {
    EXPECT_EQ(Text(57344), "KAVRO");
    EXPECT_EQ(Text(57345), "Ready");
    EXPECT_EQ(Text(61443), "Untitled");
    EXPECT_EQ(Text(0xE700), "CAP");
    EXPECT_EQ(Text(0xE701), "NUM");
    EXPECT_EQ(Text(0xE702), "SCRL");
}

TEST(StringTable, DocumentStringHasSevenFields) {
    const std::vector<std::string> f = Fields(Text(128));
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[0], "Firmware Downloader");
    EXPECT_EQ(f[1], "");
    EXPECT_EQ(f[2], "KAVRO");
    EXPECT_EQ(f[3], "KAVRO Files (*.fw)");
    EXPECT_EQ(f[4], ".fw");
    EXPECT_EQ(f[5], "KAVRO.Document");
    EXPECT_EQ(f[6], "KAVRO Document");
}

TEST(StringTable, ViewLabelsAndMessagesAsTheOperatorSeesThem) {
    EXPECT_EQ(Text(129), "Chip ID");
    EXPECT_EQ(Text(131), "File path");
    EXPECT_EQ(Text(133), "HW current version");
    EXPECT_EQ(Text(134), "HW version lowest");
    EXPECT_EQ(Text(136), "Product number");
    EXPECT_EQ(Text(137), "COM port can not be open");
    EXPECT_EQ(Text(138), "Equipment do not respond properly");
    EXPECT_EQ(Text(139), "Firmware was downloaded successfuly");
    EXPECT_EQ(Text(140), "Firmware Downloader");
    EXPECT_EQ(Text(141), "Device was reset.");
    EXPECT_EQ(Text(143), "HW version of a connected unit is incorrect for this FW.");
    const std::string ask = Text(142);
    EXPECT_EQ(ask, "HW version of a connected unit is incorrect for this FW. Do you  make download anyway ?");
    EXPECT_NE(ask.find("Do you  make"), std::string::npos);  // two blanks
    // The question begins with the plain refusal's text.
    EXPECT_EQ(ask.rfind(Text(143), 0), 0u);
}

TEST(StringTable, EveryStringFrom128To143Exists) {
    for (unsigned id = 128; id <= 143; ++id) {
        const char* text = LoadStringText(id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_NE(text[0], '\0') << id;
    }
    // The named constants point at the texts they are named after.
    EXPECT_EQ(Text(IDS_CHIP_ID), "Chip ID");
    EXPECT_EQ(Text(IDS_NAME), "Name");
    EXPECT_EQ(Text(IDS_SW_VERSION), "SW current version");
    EXPECT_EQ(Text(IDS_HW_HIGHEST), "HW version highest");
    EXPECT_EQ(Text(IDS_HW_INCORRECT), Text(143));
}

TEST(StringTable, CommandPromptsSplitIntoPromptAndTip) {
    EXPECT_EQ(PromptOf(0x8003), "Download firmware to equpment");
    EXPECT_EQ(TipOf(0x8003), "Download");
    EXPECT_EQ(PromptOf(0x8005), "Connect to device and read its ID");
    EXPECT_EQ(TipOf(0x8005), "Connect to device");
    EXPECT_EQ(PromptOf(0x800A), "Reset device and run firmware");
    EXPECT_EQ(TipOf(0x800A), "Reset device");
    EXPECT_EQ(PromptOf(0x8006), "Disconnect device from using");
    EXPECT_EQ(TipOf(0xE100), "New");
    EXPECT_EQ(PromptOf(0xE100), "Create a new document");
    EXPECT_EQ(PromptOf(0xE104), "Save the active document with a new name");
    EXPECT_EQ(TipOf(0xE104), "Save As");
    EXPECT_EQ(PromptOf(0xE141), "Quit the application; prompts to save documents");
    EXPECT_EQ(TipOf(0xE801), "Toggle StatusBar");
    EXPECT_EQ(TipOf(0xE800), "Toggle ToolBar");
    EXPECT_EQ(PromptOf(0xE140), "Display program information, version number and copyright");
    // The recent-file entry has a prompt but no tip.
    EXPECT_EQ(PromptOf(0xE110), "Open this document");
    EXPECT_EQ(TipOf(0xE110), "");
}

TEST(StringTable, EveryToolBarButtonHasATip) {
    for (unsigned id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_DEVICE_CONNECT, ID_DEVICE_DOWNLOAD,
                        ID_DEVICE_RESET, ID_DEVICE_DISCONNECT, ID_APP_ABOUT}) {
        EXPECT_FALSE(PromptOf(id).empty()) << std::hex << id;
        EXPECT_FALSE(TipOf(id).empty()) << std::hex << id;
        EXPECT_EQ(PromptOf(id) + "\n" + TipOf(id), Text(id)) << std::hex << id;
    }
}

TEST(StringTable, UnknownNumbersHaveNoText) {
    for (unsigned id : {0u, 127u, 144u, 1000u, ID_FORCE_MODE, 0xE102u, 0xFFFFFFFFu}) {
        EXPECT_EQ(LoadStringText(id), nullptr) << id;
        EXPECT_EQ(PromptOf(id), "") << id;
        EXPECT_EQ(TipOf(id), "") << id;
    }
}

// A stand-in catalogue: two texts, the rest untranslated.
const char* FakeGerman(const char* english) {
    if (std::string(english) == "Ready") return "Bereit";
    if (std::string(english) == "Create a new document\nNew") return "Ein neues Dokument erstellen\nNeu";
    return english;
}

TEST(StringTable, TranslatesThroughTheFrontEndsTranslatorAndKeepsTheSource) {
    SetTextTranslator(&FakeGerman);
    EXPECT_EQ(Text(AFX_IDS_IDLEMESSAGE), "Bereit");
    EXPECT_EQ(PromptOf(ID_FILE_NEW), "Ein neues Dokument erstellen");
    EXPECT_EQ(TipOf(ID_FILE_NEW), "Neu");
    EXPECT_EQ(Text(AFX_IDS_UNTITLED), "Untitled");  // not in the catalogue
    EXPECT_STREQ(LoadStringSource(AFX_IDS_IDLEMESSAGE), "Ready");
    EXPECT_EQ(LoadStringText(1000u), nullptr);
    SetTextTranslator(nullptr);
    EXPECT_EQ(Text(AFX_IDS_IDLEMESSAGE), "Ready");
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
