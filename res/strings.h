#pragma once
// The string table: every text the operator sees, by number (see
// res/resource_ids.h). Read-only data; any thread.
#include <string>

// The text of a string, or nullptr when no string has that number.
const char* LoadStringText(unsigned id);

// A command's string is "prompt\ntip": the status bar prompt and the tool tip.
// Either part is "" when absent (or when the command has no string).
std::string PromptOf(unsigned id);
std::string TipOf(unsigned id);
