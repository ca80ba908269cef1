#include "ui/command_line.h"

#include <cstdio>

#include <wx/cmdline.h>

void AddCommandLineOptions(wxCmdLineParser& parser) {
    parser.SetLogo("The KAVRO firmware downloader's desktop application: it downloads a firmware image\n"
                   "(the built-in one, or IMAGE.fw) into KAVRO equipment on a serial port.\n");
    parser.AddSwitch(wxString(), "version", "print the version and exit");
    parser.AddOption(wxString(), "port", "port name to show in the port box", wxCMD_LINE_VAL_STRING);
    parser.AddSwitch(wxString(), "station", "open the production station window too (IMAGE.fw is then the station's image)");
    parser.AddOption(wxString(), "lang", "language of the texts (de, zh_CN, en; default: KAVRO_LANG or the system's)",
                     wxCMD_LINE_VAL_STRING);
    parser.AddSwitch(wxString(), "autorun-download", "connect, download and report (for screenshots)",
                     wxCMD_LINE_HIDDEN);
    parser.AddSwitch(wxString(), "autorun-station", "open the station, start every bay and report (for screenshots)",
                     wxCMD_LINE_HIDDEN);
    parser.AddSwitch(wxString(), "autorun-connect", "connect, wait for the device, report and quit (for tests)",
                     wxCMD_LINE_HIDDEN);
    parser.AddParam("IMAGE.fw", wxCMD_LINE_VAL_STRING, wxCMD_LINE_PARAM_OPTIONAL);
}

std::optional<int> AnswerWithoutDisplay(int argc, char** argv) {
    wxCmdLineParser parser(argc, argv);
    parser.AddSwitch("h", "help", "show this help message and exit", wxCMD_LINE_OPTION_HELP);
    AddCommandLineOptions(parser);
    // Anything the parser does not know (toolkit options too) is left to the application.
    const int parsed = parser.Parse(false);
    if (parsed == -1) {
        std::fputs(static_cast<const char*>(parser.GetUsageString().utf8_str()), stdout);
        return 0;
    }
    if (parsed == 0 && parser.Found("version")) {
        std::printf("kavro %s\n", KAVRO_VERSION);
        return 0;
    }
    return std::nullopt;
}
