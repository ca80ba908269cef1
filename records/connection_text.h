#pragma once
// Where a connection string (--records, the station window's records
// setting) holds a password, so that it is never shown and can be kept out of
// what is stored. Pure functions; any thread.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The [begin, end) spans of the passwords in a connection string: the
// password of a URI's user part and a password= parameter of its query, or
// the value of a key=value string's password (inside its quotes). None for a
// file path.
std::vector<std::pair<size_t, size_t>> ConnectionPasswordSpans(const std::string& value);

// The string as it may be shown: every password replaced by "***".
std::string ShownConnection(const std::string& value);

// The string without its passwords: a URI's "user:pw@" becomes "user@", a
// password parameter or key=value pair is left out.
std::string ConnectionWithoutPassword(const std::string& value);
