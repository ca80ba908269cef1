#pragma once
// Where a --records value holds a password, so that it can be blanked out of
// the process's arguments once read (`ps` shows them to every user). Pure
// functions; any thread.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The [begin, end) spans of the passwords in a connection string: the
// password of a URI's user part and a password= parameter of its query, or
// the value of a key=value string's password (inside its quotes). None for a
// file path.
std::vector<std::pair<size_t, size_t>> ConnectionPasswordSpans(const std::string& value);

// Overwrites with '*' every password in the --records values of a command
// line (--records VALUE and --records=VALUE), in place.
void BlankRecordsPasswords(int argc, char** argv);
