#pragma once
// The command line's language: the catalogue of `language` (a catalogue's
// name given on a command line), else of KAVRO_LANG, else of the system's
// locale (LC_ALL, LC_MESSAGES, LANG; the user's display language on
// Windows). One implementation per system (cli/posix: the C library's
// gettext; cli/win32: wxTranslations on wx's base library).
//
// Main thread, first thing in main(), before any text is looked up and before
// other threads start.
void SetUpLanguage(const char* language = nullptr);
