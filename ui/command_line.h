#pragma once
// The desktop application's command line: one list of options for the
// toolkit's parser at start-up and for the answers that need no display.
#include <optional>

class wxCmdLineParser;

// The application's own options and its optional image argument.
void AddCommandLineOptions(wxCmdLineParser& parser);

// --help and --version answered on standard output before the toolkit starts,
// so they work without a display (man pages are made from them at build
// time). The exit status, or nothing when the application is to start.
std::optional<int> AnswerWithoutDisplay(int argc, char** argv);
