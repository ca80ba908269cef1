#pragma once
// A server's password kept where libpq looks for it (the user's password
// file: ~/.pgpass, or %APPDATA%\postgresql\pgpass.conf on Windows), so that a
// configuration can hold the connection string without it. One line per
// host:port:database:user; a line for the same four is replaced, not repeated.
// Any thread (one writer at a time).
#include <string>

struct PgpassEntry {
    std::string host;      // "localhost" for a local socket
    std::string port;      // "*" when the string names none
    std::string database;  // "*" when the string names none
    std::string user;      // "*" when the string names none
    std::string password;
};

// Where locator (a postgresql:// URI or key=value string) connects, with its
// password when it holds one. False when libpq cannot read it.
[[nodiscard]] bool ParseConnectionPlace(const std::string& locator, PgpassEntry& entry);
// One line of the password file (':' and '\' escaped), without its line end.
std::string PgpassLine(const PgpassEntry& entry);
// The file's text with entry's line in place of the one for the same host,
// port, database and user, or added at its end.
std::string UpdatePgpassText(const std::string& text, const PgpassEntry& entry);
// Stores entry in this user's password file, readable by its owner only.
// False with the reason (for the person).
[[nodiscard]] bool StorePgpassEntry(const PgpassEntry& entry, std::string& problem);

// --- one implementation per system (records/posix, records/win32) ---
// The user's password file: $PGPASSFILE, else the system's place.
std::string PgpassPath();
// Replaces path's content with text (creating its folder when needed) so
// that only its owner can read it (POSIX: mode 0600, whatever it was).
[[nodiscard]] bool ReplaceOwnerOnlyFile(const std::string& path, const std::string& text, std::string& problem);
