#include "atlas/Colormap.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace
{

// One whitespace-separated token as an int, as formatted input would take it whole; false when it is not.
bool ParseInt(const std::string& token, int& value)
{
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(token.c_str(), &end, 10);
    if (end == token.c_str() || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

void AppendEntry(std::vector<unsigned char>& entries, unsigned char red, unsigned char green, unsigned char blue)
{
    entries.push_back(red);
    entries.push_back(green);
    entries.push_back(blue);
}

} // namespace

void Colormap::Load(const char* path)
{
    entries.reserve(3 * NUM_ENTRIES);
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error(std::string("Colormap file could not be opened: ") + path);

    firstColor = 0;
    const std::size_t firstNew = entries.size();
    int triple[3];
    int have = 0;
    std::string token;
    while (file >> token)
    {
        if (!ParseInt(token, triple[have]))
            throw std::runtime_error(std::string("Unexpected end of colormap file: ") + path);
        if (++have < 3)
            continue;
        have = 0;
        const unsigned int position = static_cast<unsigned int>(entries.size() / 3);
        AppendEntry(entries, static_cast<unsigned char>(triple[0]), static_cast<unsigned char>(triple[1]),
                    static_cast<unsigned char>(triple[2]));
        if (firstColor == 0 && (triple[0] != 0 || triple[1] != 0 || triple[2] != 0))
            firstColor = static_cast<unsigned char>(position);
    }
    if (file.bad())
        throw std::runtime_error(std::string("Unexpected end of colormap file: ") + path);

    // Renderers index up to 255 whatever the file held: a short table repeats its last colour, and a
    // table with no colour at all cannot stand in for one.
    if (entries.size() == firstNew)
    {
        CalculateMeanValue();
        valid = false;
        return;
    }
    while (entries.size() < 3 * NUM_ENTRIES)
    {
        const std::size_t last = entries.size() - 3;
        AppendEntry(entries, entries[last], entries[last + 1], entries[last + 2]);
    }
    CalculateMeanValue();
    valid = true;
}

void Colormap::Create(unsigned int count)
{
    entries.assign(3 * static_cast<std::size_t>(count), 0);
    meanValue = 0;
    valid = true;
}

void Colormap::CalculateMeanValue()
{
    if (entries.empty())
    {
        meanValue = 0;
        return;
    }
    unsigned long long sum = 0;
    for (const unsigned char byte : entries)
        sum += byte;
    const float mean = static_cast<float>(sum) / static_cast<float>(entries.size()) + 0.5f;
    meanValue = mean > 255.0f ? 255 : static_cast<unsigned char>(mean);
}

void Colormap::MakeGrayRamp()
{
    entries.clear();
    entries.reserve(3 * NUM_ENTRIES);
    for (unsigned int i = 0; i < NUM_ENTRIES; ++i)
        AppendEntry(entries, static_cast<unsigned char>(i), static_cast<unsigned char>(i),
                    static_cast<unsigned char>(i));
    meanValue = 128;
    valid = true;
}

void Colormap::MakeJet()
{
    entries.assign(3 * NUM_ENTRIES, 0);
    for (int i = 0; i < 128; ++i)
    {
        int red = 0;
        int green = 0;
        int blue = 255;
        if (i < 32)
            blue = 131 + 4 * i;
        else if (i < 64)
            green = 4 * (i - 31);
        else if (i < 96)
            green = 131 + 4 * (i - 64);
        else
        {
            red = 4 * (i - 95);
            green = 255;
            blue = 255 - 4 * (i - 96);
        }
        unsigned char* low = &entries[3 * i];
        unsigned char* high = &entries[3 * (255 - i)];
        low[0] = static_cast<unsigned char>(red);
        low[1] = static_cast<unsigned char>(green);
        low[2] = static_cast<unsigned char>(blue);
        // The upper half mirrors the lower with red and blue exchanged.
        high[0] = low[2];
        high[1] = low[1];
        high[2] = low[0];
    }
    CalculateMeanValue();
    valid = true;
}
