#include "cli/cli_output.h"

#include <cstdio>

void PrintError(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}
