#pragma once
// The command line's two output streams. Main thread only.
#include <string>

// One line on standard error, after whatever standard output still holds, so
// the two streams keep their order on a shared terminal.
void PrintError(const std::string& text);
