#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace atlasgen
{

// A little-endian binary output file. Every failure throws, naming the file; `Close` must be called to
// learn whether the last bytes reached the disk.
class BinaryFile
{
public:
    explicit BinaryFile(const std::string& path);

    void U8(std::uint8_t v);
    void U16(std::uint16_t v);
    void I16(std::int16_t v);
    void U32(std::uint32_t v);
    void F32(float v);
    void Bytes(const void* data, std::size_t size);
    void Close();

private:
    void Check();

    std::string path_;
    std::ofstream out_;
    std::vector<char> buffer_;
};

// Writes a whole text file, throwing on failure.
void WriteTextFile(const std::string& path, const std::string& text);

} // namespace atlasgen
