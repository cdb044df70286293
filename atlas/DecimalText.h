#pragma once

#include <string>

// Numbers in the text of installed atlas files, read the way the C library's atoi and atof read
// them (leading blanks, a sign, the longest number at the front, 0 when there is none) but
// independent of the process locale and defined for every input: integers beyond the range
// saturate, floats beyond it become infinite.
long long DecimalLong(const std::string& text);
int DecimalInt(const std::string& text);
float DecimalFloat(const std::string& text);
