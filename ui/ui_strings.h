#pragma once
// The desktop application's string table: its own texts (the document
// string, the framework strings, the commands' prompts and tips, the boxes'
// caption and question) by number (ui/ui_resource_ids.h), then the shared
// texts of res/strings.h. No wx; read-only data; any thread.
#include <string>

// The text of a string in the person's language, or nullptr when no string
// has that number.
const char* LoadUiStringText(unsigned id);
// The text as written, in English: for the fields programs read.
const char* LoadUiStringSource(unsigned id);

// A command's string is "prompt\ntip": the status bar prompt and the tool tip.
// Either part is "" when absent (or when the command has no string).
std::string PromptOf(unsigned id);
std::string TipOf(unsigned id);
