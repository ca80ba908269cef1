#pragma once
// The desktop application's command line: one list of options for the
// toolkit's parser at start-up and for the answers that need no display.
#include <optional>

class wxCmdLineParser;

// The application's own options and its optional image argument.
void AddCommandLineOptions(wxCmdLineParser& parser);

// Loads the catalogue of language (a catalogue's name; nullptr: KAVRO_LANG's or
// the system's) for the texts of --help.
using HelpLanguage = void (*)(const char* language);

// --help and --version answered on standard output before the toolkit starts,
// so they work without a display (man pages are made from them at build
// time, in English). The help speaks the person's language once
// setUpLanguage (may be null) has loaded it. The exit status, or nothing when
// the application is to start. Main thread, before anything else.
std::optional<int> AnswerWithoutDisplay(int argc, char** argv, HelpLanguage setUpLanguage);
