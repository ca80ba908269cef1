#pragma once
// CLI11's complaints about a command line, in the person's language. CLI11
// writes them in English from fixed patterns; the known ones are recognised
// by their error's name and pattern and written again from the catalogue, the
// option names and values they hold kept as they were. Pure functions; any
// thread.
#include <string>
#include <vector>

// The complaint (CLI11's error name, e.g. "RequiredError", and its text) in
// the person's language; the text as it is when no pattern fits it.
std::string TranslatedUsageError(const std::string& kind, const std::string& message);

// The whole report of a usage error: the complaint, then the line that points
// at the help flags (none when there are none), each ending in a line feed.
std::string UsageErrorReport(const std::string& kind, const std::string& message,
                             const std::vector<std::string>& helpFlags);
