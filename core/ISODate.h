#pragma once

#include <ctime>
#include <string>

// ISO 8601 date and time with the offset from UTC, as the settings store keeps the last version check.

// "YYYY-MM-DDTHH:MM:SS+HH:MM" in local time; false when the local time cannot be determined.
bool FormatISODate(std::time_t when, std::string& text);

// Reads "YYYY-MM-DDTHH:MM:SS" with optional fractional seconds and "Z", "+HH:MM", "+HHMM" or "+HH" (or
// "-"); false for anything else or an impossible date.
bool ParseISODate(const std::string& text, std::time_t& when);
