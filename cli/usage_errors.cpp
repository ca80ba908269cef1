#include "cli/usage_errors.h"

#include <cstddef>

#include "res/translation.h"

namespace {
// One of CLI11's message patterns: its English text with %s for each name or
// value, which is also the catalogue's text.
struct UsagePattern {
    const char* kind;
    const char* english;
};

// CLI11 2.x (Error.hpp, Validators.hpp); first match wins, so a fixed text
// comes before the pattern it would also fit.
constexpr UsagePattern kPatterns[] = {
    {"ExtrasError", KTEXT("The following argument was not expected: %s")},
    {"ExtrasError", KTEXT("The following arguments were not expected: %s")},
    {"RequiredError", KTEXT("A subcommand is required")},
    {"RequiredError", KTEXT("%s is required")},
    {"ArgumentMismatch", KTEXT("%s: %s required %s missing")},
    {"ArgumentMismatch", KTEXT("Expected exactly %s arguments to %s, got %s")},
    {"ConversionError", KTEXT("Could not convert: %s = %s")},
    {"ConversionError", KTEXT("The value %s is not an allowed value for %s")},
    {"ConversionError", KTEXT("%s: too many inputs for a flag")},
    {"ValidationError", KTEXT("%s: Value %s not in range %s to %s")},
    {"RequiresError", KTEXT("%s requires %s")},
    {"ExcludesError", KTEXT("%s excludes %s")},
};

// The values that fill pattern's %s to give text; false when it does not fit.
// Each literal piece is found left to right, the last one at the very end.
bool Match(const std::string& pattern, const std::string& text, std::vector<std::string>& values) {
    std::vector<std::string> pieces;
    for (size_t start = 0;;) {
        const size_t mark = pattern.find("%s", start);
        pieces.push_back(pattern.substr(start, mark == std::string::npos ? std::string::npos : mark - start));
        if (mark == std::string::npos) break;
        start = mark + 2;
    }
    const std::string& first = pieces.front();
    const std::string& last = pieces.back();
    if (pieces.size() == 1) return text == first;
    if (text.compare(0, first.size(), first) != 0 || text.size() < first.size() + last.size() ||
        text.compare(text.size() - last.size(), last.size(), last) != 0)
        return false;
    const size_t end = text.size() - last.size();
    size_t at = first.size();
    values.clear();
    for (size_t i = 1; i + 1 < pieces.size(); ++i) {
        const size_t found = text.find(pieces[i], at);
        if (found == std::string::npos || found + pieces[i].size() > end) return false;
        values.push_back(text.substr(at, found - at));
        at = found + pieces[i].size();
    }
    values.push_back(text.substr(at, end - at));
    return true;
}
}  // namespace

std::string TranslatedUsageError(const std::string& kind, const std::string& message) {
    std::vector<std::string> values;
    for (const UsagePattern& pattern : kPatterns)
        if (kind == pattern.kind && Match(pattern.english, message, values))
            return FormatText(Tr(pattern.english), values);
    return message;
}

std::string UsageErrorReport(const std::string& kind, const std::string& message,
                             const std::vector<std::string>& helpFlags) {
    std::string report = TranslatedUsageError(kind, message) + "\n";
    if (helpFlags.size() == 1)
        report += FormatText(Tr("Run with %s for more information."), {helpFlags[0]}) + "\n";
    else if (helpFlags.size() >= 2)
        report += FormatText(Tr("Run with %s or %s for more information."), {helpFlags[0], helpFlags[1]}) + "\n";
    return report;
}
