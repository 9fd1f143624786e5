// Helpers shared by the web settings files: bounded reads, whole-file rewrites
// that leave the old file in place when the new one cannot be written, and
// the check of a port number.
#pragma once
#include <optional>
#include <string>

// The whole file, or none when it is missing or larger than kWebFileMax.
std::optional<std::string> ReadWebSettingsFile(const char* path);

// Replaces the file with `text` (creating its folder): written beside it and
// renamed over it, so a failed write leaves the old contents. True when done.
bool WriteWebSettingsFile(const char* path, const std::string& text);

// A port given as 1 to 5 decimal digits with a value from 1 to 65535.
std::optional<unsigned> ParseWebPort(const std::string& text);
