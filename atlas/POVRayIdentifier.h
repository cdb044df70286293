#pragma once

#include <string>

// A POV-Ray identifier made from text (a structure abbreviation): every character other than an ASCII
// letter, digit or "_" becomes "_", and a name that POV-Ray 3.7 cannot declare (empty, starting with a
// digit, or one of its reserved words) gets a leading "_". The result is also a safe file name: it holds
// no separator and no "..".
std::string POVRayIdentifier(const std::string& text);

// Whether POV-Ray 3.7 refuses to #declare the word.
bool IsPOVRayReservedWord(const std::string& word);
