#pragma once

#include <vector>

// A colour table of RGB entries that renderers index from 0 to 255 (byte offset 3 x index), read from a
// text file of decimal "r g b" triples or built in.
class Colormap
{
public:
    static constexpr unsigned int NUM_ENTRIES = 256;

    Colormap() = default;

    // Appends the triples of a colormap file, then pads the table to 256 entries with its last colour so
    // that every index a renderer uses exists. A file without one complete triple leaves the table not
    // valid. Throws std::runtime_error "Colormap file could not be opened: " or "Unexpected end of colormap
    // file: " followed by the path.
    void Load(const char* path);
    // count black entries.
    void Create(unsigned int count);
    void CalculateMeanValue();
    void MakeGrayRamp();
    void MakeJet();

    // Red, green and blue of each entry in turn.
    std::vector<unsigned char> entries;
    // Position of the first coloured entry after entry 0; set by Load only.
    unsigned char firstColor = 0;
    // Mean of all entry bytes, rounded.
    unsigned char meanValue = 0;
    bool valid = false;
};
