#pragma once
// A supervisor's password kept as a salted Argon2id hash (libsodium's
// crypto_pwhash_str form, "$argon2id$v=19$m=...,t=...,p=...$salt$hash"), so
// that a configuration never holds the password itself. Used by both front
// ends. Any thread; each call takes a fraction of a second and some 64 MiB
// on purpose (the hash is slow so that guessing is).
#include <string>

// The hash of password with a new random salt; false when the system could
// not give the memory (or libsodium could not start).
[[nodiscard]] bool HashPassword(const std::string& password, std::string& hash);
// True when password is the one hash was made from. A hash that is not one
// of libsodium's Argon2id strings matches nothing.
[[nodiscard]] bool PasswordMatches(const std::string& password, const std::string& hash);
// The string has the form HashPassword writes (it may stand in a configuration).
bool IsPasswordHash(const std::string& text);
