// The entry point: --help and --version are answered before the toolkit
// starts, since starting it needs a display.
#include <optional>

#include <wx/app.h>

#include "ui/command_line.h"

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerWithoutDisplay(argc, argv)) return *status;
    return wxEntry(argc, argv);
}
