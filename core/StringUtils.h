#pragma once

#include <string>
#include <vector>

// Text helpers; none depends on the process locale.
class StringUtils
{
public:
    // Splits one line of a delimited table. Double quotes group a field and are not
    // copied; a line always gives at least one field; line-end characters stay in
    // the last field.
    static void SplitLine(std::string line, std::vector<std::string>& fields, char delimiter);

    // The base-10 value of the whole text (leading white space and a sign allowed).
    // Throws std::invalid_argument, whose message is the text itself, when the text
    // is empty, holds anything after the number, or is not a value of unsigned int.
    static unsigned int ParseUint(const std::string& text);

    // A to Z become a to z; every other byte is kept.
    static std::string ToLowerCase(const std::string& text);
};
