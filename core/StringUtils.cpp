#include "core/StringUtils.h"

#include <limits>
#include <stdexcept>

void StringUtils::SplitLine(std::string line, std::vector<std::string>& fields, char delimiter)
{
    fields.clear();
    std::string field;
    bool inQuotes = false;
    for (const char c : line)
    {
        if (c == '"')
            inQuotes = !inQuotes;
        else if (c == delimiter && !inQuotes)
        {
            fields.push_back(field);
            field.clear();
        }
        else
            field += c;
    }
    fields.push_back(std::move(field));
}

namespace
{
// The C locale's white space, whatever the process locale is.
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}

unsigned int StringUtils::ParseUint(const std::string& text)
{
    const auto reject = [&]() { return std::invalid_argument(text); };
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        throw reject();

    constexpr unsigned long long kMax = std::numeric_limits<unsigned int>::max();
    unsigned long long value = 0;
    for (; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw reject();
        value = value * 10 + static_cast<unsigned long long>(c - '0');
        // Values that do not fit are refused rather than cut down to 32 bits.
        if (value > kMax)
            throw reject();
    }
    // A negative number would wrap around to a huge value: only -0 fits.
    if (negative && value != 0)
        throw reject();
    return static_cast<unsigned int>(value);
}

std::string StringUtils::ToLowerCase(const std::string& text)
{
    std::string lower(text);
    for (char& c : lower)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 'A' && byte <= 'Z')
            c = static_cast<char>(byte - 'A' + 'a');
    }
    return lower;
}
