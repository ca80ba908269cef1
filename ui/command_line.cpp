#include "ui/command_line.h"

#include <cstdio>

#include <wx/cmdline.h>

#include "res/translation.h"
#include "ui/automation/app_automation.h"

namespace {
wxString T(const char* english) { return wxString::FromUTF8(Tr(english)); }

void AddHelpAndOptions(wxCmdLineParser& parser) {
    parser.AddSwitch("h", "help", T(KTEXT("show this help message and exit")), wxCMD_LINE_OPTION_HELP);
    AddCommandLineOptions(parser);
}

// The help in the person's language: the one --lang asks for (when it comes
// before --help), else KAVRO_LANG's or the system's.
void PrintHelp(int argc, char** argv, const wxCmdLineParser& parsed, HelpLanguage setUpLanguage) {
    wxString language;
    (void)parsed.Found("lang", &language);
    const wxScopedCharBuffer chosen = language.utf8_str();
    if (setUpLanguage != nullptr) setUpLanguage(language.empty() ? nullptr : chosen.data());
    wxCmdLineParser translated(argc, argv);
    AddHelpAndOptions(translated);
    wxString usage = translated.GetUsageString();
    // wxWidgets puts its own "Usage: " before the synopsis; its catalogue is
    // not loaded this early.
    usage.Replace("Usage: ", T(KTEXT("Usage:")) + " ", false);
    std::fputs(usage.utf8_str(), stdout);
}
}  // namespace

void AddCommandLineOptions(wxCmdLineParser& parser) {
    parser.SetLogo(T(KTEXT("The KAVRO firmware downloader's desktop application: it downloads a firmware image\n"
                           "(the built-in one, or IMAGE.fw) into KAVRO equipment on a serial port.\n")));
    parser.AddSwitch(wxString(), "version", T(KTEXT("print the version and exit")));
    parser.AddOption(wxString(), "port", T(KTEXT("port name to show in the port box")), wxCMD_LINE_VAL_STRING);
    parser.AddSwitch(wxString(), "station",
                     T(KTEXT("open the production station window too (IMAGE.fw is then the station's image)")));
    parser.AddOption(wxString(), "lang",
                     T(KTEXT("language of the texts (de, zh_CN, en; default: KAVRO_LANG or the system's)")),
                     wxCMD_LINE_VAL_STRING);
    AddAutomationSwitches(parser);
    parser.AddParam("IMAGE.fw", wxCMD_LINE_VAL_STRING, wxCMD_LINE_PARAM_OPTIONAL);
}

std::optional<int> AnswerWithoutDisplay(int argc, char** argv, HelpLanguage setUpLanguage) {
    wxCmdLineParser parser(argc, argv);
    AddHelpAndOptions(parser);
    // Anything the parser does not know (toolkit options too) is left to the application.
    const int parsed = parser.Parse(false);
    if (parsed == -1) {
        PrintHelp(argc, argv, parser, setUpLanguage);
        return 0;
    }
    if (parsed == 0 && parser.Found("version")) {
        std::printf("kavro %s\n", KAVRO_VERSION);
        return 0;
    }
    return std::nullopt;
}
