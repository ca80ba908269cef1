// The entry point: the toolkit's WinMain, after --help and --version have
// been answered. A GUI program starts without a console; the answers go to the
// console of the shell that started it (or wherever its output was sent), as
// on Linux, and no window opens for them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <wx/app.h>

#include "ui/command_line.h"
#include "ui/kav_app.h"

namespace {
bool HasUsableOutput() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN;
}

// Whether the command line asks for an answer that needs no window.
bool AsksForAnswer(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] != nullptr ? argv[i] : "";
        if (argument == "--help" || argument == "-h" || argument == "--version") return true;
    }
    return false;
}

// Output already redirected (a pipe, a file) stays where it goes; otherwise the
// parent's console, when there is one, takes it. UTF-8 for the translated help.
void AttachOutput() {
    if (HasUsableOutput()) return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    (void)std::freopen("CONOUT$", "w", stdout);
    (void)std::freopen("CONOUT$", "w", stderr);
    (void)::SetConsoleOutputCP(CP_UTF8);
}
}  // namespace

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    if (AsksForAnswer(__argc, __argv)) AttachOutput();
    // The help stays English here: the catalogues load once the toolkit is up.
    if (const std::optional<int> status = AnswerWithoutDisplay(__argc, __argv, nullptr)) {
        std::fflush(stdout);
        return *status;
    }
    return wxEntry(instance, previous, commandLine, show);
}
