#pragma once
// The string table: every text the operator sees, by number (see
// res/resource_ids.h). Read-only data; any thread.
#include <string>

// The text of a string, or nullptr when no string has that number.
// In the person's language when the front end installed a translator
// (res/translation.h).
const char* LoadStringText(unsigned id);
// The text as written, in English: for the fields programs read.
const char* LoadStringSource(unsigned id);

// A command's string is "prompt\ntip": the status bar prompt and the tool tip.
// Either part is "" when absent (or when the command has no string).
std::string PromptOf(unsigned id);
std::string TipOf(unsigned id);
