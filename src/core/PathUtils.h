#pragma once
// Windows path helpers on plain strings: "\" separates, a drive ends in ":".
#include <string>

// Adds a trailing backslash to a non-empty path that lacks one.
std::string IncludeDelimiter(const std::string& path);
// Removes one trailing backslash.
std::string ExcludeDelimiter(const std::string& path);
// The directory part, up to and including the last "\" or ":" (empty when none).
std::string ExtractFilePath(const std::string& path);
// The part after the last "\" or ":".
std::string ExtractFileName(const std::string& path);
// `folder` with a backslash, then `name`.
std::string JoinPath(const std::string& folder, const std::string& name);
// Compares ignoring the case of the ASCII letters A to Z only.
bool SameTextAscii(const std::string& a, const std::string& b);
// The text without one pair of enclosing double quotes.
std::string Unquoted(const std::string& text);
