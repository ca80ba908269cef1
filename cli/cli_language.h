#pragma once
// The command line's language: the catalogue of KAVRO_LANG, else of the
// system's locale (LC_ALL, LC_MESSAGES, LANG). One implementation per system
// (cli/posix: the C library's gettext; cli/win32: English only).
//
// Main thread, first thing in main(), before any text is looked up and before
// other threads start.
void SetUpLanguage();
