#pragma once
// The string table's shared texts: what the view, the command line and the
// station all show, by number (see res/resource_ids.h). The desktop
// application's own texts (its commands, framework strings and boxes) are in
// ui/ui_strings.h. Read-only data; any thread.

// The text of a string, or nullptr when no string has that number.
// In the person's language when the front end installed a translator
// (res/translation.h).
const char* LoadStringText(unsigned id);
// The text as written, in English: for the fields programs read.
const char* LoadStringSource(unsigned id);
