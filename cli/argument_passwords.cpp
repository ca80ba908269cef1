#include "cli/argument_passwords.h"

#include <cstring>

void BlankRecordsPasswords(int argc, char** argv) {
    static const char kOption[] = "--records";
    constexpr size_t kLength = sizeof kOption - 1;
    for (int i = 1; i < argc; ++i) {
        char* value = nullptr;
        if (std::strcmp(argv[i - 1], kOption) == 0)
            value = argv[i];
        else if (std::strncmp(argv[i], kOption, kLength) == 0 && argv[i][kLength] == '=')
            value = argv[i] + kLength + 1;
        if (value == nullptr) continue;
        for (const auto& [begin, end] : ConnectionPasswordSpans(value)) std::memset(value + begin, '*', end - begin);
    }
}
