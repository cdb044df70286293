#pragma once

#include <string>

// The VERSION_ID of an os-release file (freedesktop format), unquoted and cut down to characters that may
// stand inside a User-Agent comment; empty when the file or the field is missing.
std::string ReadOSReleaseVersion(const std::string& path);

// The version of the running Linux distribution: /etc/os-release, else /usr/lib/os-release, else the
// kernel release.
std::string GetOSVersion();
