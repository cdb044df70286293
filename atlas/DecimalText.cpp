#include "atlas/DecimalText.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>

namespace
{

const char* SkipBlanks(const char* first, const char* last)
{
    while (first != last && std::isspace(static_cast<unsigned char>(*first)))
        ++first;
    return first;
}

// Steps over one sign; true when it was a minus.
bool TakeSign(const char*& first, const char* last)
{
    if (first != last && (*first == '+' || *first == '-'))
        return *first++ == '-';
    return false;
}

} // namespace

long long DecimalLong(const std::string& text)
{
    const char* last = text.data() + text.size();
    const char* first = SkipBlanks(text.data(), last);
    const bool negative = TakeSign(first, last);
    unsigned long long magnitude = 0;
    const auto [end, error] = std::from_chars(first, last, magnitude);
    if (end == first)
        return 0;
    if (error == std::errc::result_out_of_range || magnitude > static_cast<unsigned long long>(LLONG_MAX))
        return negative ? LLONG_MIN : LLONG_MAX;
    return negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

int DecimalInt(const std::string& text)
{
    return static_cast<int>(std::clamp<long long>(DecimalLong(text), INT_MIN, INT_MAX));
}

float DecimalFloat(const std::string& text)
{
    const char* last = text.data() + text.size();
    const char* first = SkipBlanks(text.data(), last);
    const bool negative = TakeSign(first, last);
    if (first != last && (*first == '+' || *first == '-'))
        return 0.0f;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (end == first)
        return 0.0f;
    float result = 0.0f;
    if (error == std::errc::result_out_of_range)
    {
        // Out of range either way: a negative exponent underflows to 0, anything else overflows.
        const char* exponent = std::find_if(first, end, [](char c) { return c == 'e' || c == 'E'; });
        result = exponent != end && exponent + 1 != end && exponent[1] == '-' ? 0.0f : HUGE_VALF;
    }
    else
        result = std::fabs(value) > FLT_MAX ? HUGE_VALF : static_cast<float>(value);
    return negative ? -result : result;
}
