// The private INI profile: one file of "[section]" lines and "key=value" lines, read and written
// with the Windows private-profile rules. Sections and keys match case-insensitively, the first
// match wins, values are trimmed. Writing keeps every other line as it was (comments, other keys
// and sections, CRLF or LF endings) and replaces the file atomically. On Windows, ReadInt, WriteInt
// and PathFor are the system's private-profile functions on %APPDATA%\<name>.INI instead (reading
// falls back to the Windows folder's <name>.INI of earlier installations; see profile_windows.cpp).
#pragma once

#include <string>

namespace profile {

/// The decimal integer (optional sign) stored under `section`/`key` of the file at `path`; `def`
/// when the file is missing or unreadable, the entry is missing, or the value is not a 32-bit
/// decimal integer.
int ReadInt(const std::string& path, const char* section, const char* key, int def);

/// Stores `value` as decimal text under `section`/`key`, creating the folder, the file, the section
/// and the key as needed. The file is replaced atomically (temporary file, fsync, rename; the mode
/// of the old file kept), so the old profile survives a crash. Returns true on success; false when
/// the existing file cannot be read or the new one cannot be written (the old one is then unchanged).
bool WriteInt(const std::string& path, const char* section, const char* key, int value);

/// Rewrites INI text with `section`/`key` set to `value` (pure; used by WriteInt).
std::string SetValue(const std::string& text, const char* section, const char* key, const std::string& value);

/// The value of `section`/`key` in INI text, trimmed; false when there is no such entry.
bool GetValue(const std::string& text, const char* section, const char* key, std::string* value);

/// TRUE and `*value` set when `text` is a 32-bit decimal integer with an optional sign (pure).
bool ParseValue(const std::string& text, int* value);

/// `$XDG_CONFIG_HOME/<name>.INI` (see win32posix::ConfigHomeDirectory), on Windows
/// `%APPDATA%\<name>.INI`; empty when there is no such folder.
std::string PathFor(const std::string& name);

} // namespace profile
