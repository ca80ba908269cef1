// The entry point: --help and --version are answered before the toolkit
// starts, since starting it needs a display; the help's language is loaded
// the way the command line loads it (the toolkit's way needs it started).
#include <optional>

#include <wx/app.h>

#include "lang/language.h"
#include "ui/command_line.h"

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerWithoutDisplay(argc, argv, &SetUpLanguage)) return *status;
    return wxEntry(argc, argv);
}
