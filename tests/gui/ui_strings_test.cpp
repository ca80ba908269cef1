// The desktop application's string table: texts looked up by the numbers the
// resources use, exactly as the operator must see them (their spelling
// included), its own texts and the shared ones alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/translation.h"
#include "ui/ui_resource_ids.h"
#include "ui/ui_strings.h"

namespace {
std::string Text(unsigned id) {
    const char* text = LoadUiStringText(id);
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
        const char* text = LoadUiStringText(id);
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
        EXPECT_EQ(LoadUiStringText(id), nullptr) << id;
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
    EXPECT_STREQ(LoadUiStringSource(AFX_IDS_IDLEMESSAGE), "Ready");
    EXPECT_EQ(LoadUiStringText(1000u), nullptr);
    SetTextTranslator(nullptr);
    EXPECT_EQ(Text(AFX_IDS_IDLEMESSAGE), "Ready");
}
}  // namespace
