#include "BinaryFile.h"

#include <cstring>
#include <stdexcept>

namespace atlasgen
{

BinaryFile::BinaryFile(const std::string& path)
    : path_(path)
    , buffer_(1 << 16)
{
    out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (!out_)
        throw std::runtime_error("Could not create " + path);
}

void BinaryFile::U8(std::uint8_t v)
{
    Bytes(&v, 1);
}

void BinaryFile::U16(std::uint16_t v)
{
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    Bytes(b, 2);
}

void BinaryFile::I16(std::int16_t v)
{
    U16(static_cast<std::uint16_t>(v));
}

void BinaryFile::U32(std::uint32_t v)
{
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    Bytes(b, 4);
}

void BinaryFile::F32(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    U32(bits);
}

void BinaryFile::Bytes(const void* data, std::size_t size)
{
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    Check();
}

void BinaryFile::Close()
{
    out_.close();
    Check();
}

void BinaryFile::Check()
{
    if (!out_)
        throw std::runtime_error("Could not write " + path_);
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    BinaryFile file(path);
    file.Bytes(text.data(), text.size());
    file.Close();
}

} // namespace atlasgen
