#include "core/ISODate.h"

#include <cstdio>
#include <cstdlib>

namespace
{

// Days since 1970-01-01 of a proleptic Gregorian date, independent of the process's time zone.
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool IsLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Reads exactly n decimal digits at pos.
bool Digits(const std::string& text, std::size_t& pos, int n, int& value)
{
    if (pos + n > text.size())
        return false;
    value = 0;
    for (int i = 0; i < n; ++i)
    {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    pos += n;
    return true;
}

bool Expect(const std::string& text, std::size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

} // namespace

bool FormatISODate(std::time_t when, std::string& text)
{
    std::tm local{};
    if (!localtime_r(&when, &local))
        return false;
    const long offset = local.tm_gmtoff;
    const long absOffset = std::labs(offset);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  absOffset / 3600, (absOffset % 3600) / 60);
    text = buffer;
    return true;
}

bool ParseISODate(const std::string& text, std::time_t& when)
{
    std::size_t pos = 0;
    int year, month, day, hour, minute, second;
    if (!Digits(text, pos, 4, year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, month) ||
        !Expect(text, pos, '-') || !Digits(text, pos, 2, day))
        return false;
    if (pos >= text.size() || (text[pos] != 'T' && text[pos] != ' '))
        return false;
    ++pos;
    if (!Digits(text, pos, 2, hour) || !Expect(text, pos, ':') || !Digits(text, pos, 2, minute) ||
        !Expect(text, pos, ':') || !Digits(text, pos, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 60)
        return false;
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ','))
    {
        ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
            ++pos;
        if (pos == start)
            return false;
    }
    long offsetSeconds = 0;
    if (pos >= text.size())
        return false; // a time without its offset would be read in an unknown zone
    if (text[pos] == 'Z')
        ++pos;
    else if (text[pos] == '+' || text[pos] == '-')
    {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int offHours = 0, offMinutes = 0;
        if (!Digits(text, pos, 2, offHours))
            return false;
        if (pos < text.size())
        {
            const bool colon = text[pos] == ':';
            if (colon)
                ++pos;
            if (!Digits(text, pos, 2, offMinutes))
                return false;
        }
        if (offHours > 23 || offMinutes > 59)
            return false;
        offsetSeconds = sign * (offHours * 3600L + offMinutes * 60L);
    }
    else
        return false;
    if (pos != text.size())
        return false;
    const long long seconds = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400LL +
                              hour * 3600LL + minute * 60LL + second - offsetSeconds;
    when = static_cast<std::time_t>(seconds);
    return true;
}
