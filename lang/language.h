#pragma once
// lang/: choosing and loading the person's language, for both front ends and
// below them. This header is the console programs' set-up (kavro-cli, and
// the desktop application's --help, answered before its toolkit starts);
// lang/wx_language.h is the wxTranslations set-up the desktop application
// runs once its toolkit is up. Neither needs wx's GUI.
//
// The catalogue of `language` (a catalogue's name given on a command line),
// else of KAVRO_LANG, else of the system's locale (LC_ALL, LC_MESSAGES, LANG;
// the user's display language on Windows). One implementation per system
// (lang/posix: the C library's gettext; lang/win32: the wxTranslations set-up
// on wx's base library, since mingw-w64 has no gettext).
//
// Main thread, first thing in main(), before any text is looked up and before
// other threads start.
void SetUpLanguage(const char* language = nullptr);
