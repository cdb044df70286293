#include "core/IOStream.h"

#include <stdexcept>
#include <vector>

void IOStream::WriteString(const std::string& text)
{
    if (text.size() >= 256)
        throw std::runtime_error("Could not write string to stream. The string was too long: " + text);
    const unsigned char length = static_cast<unsigned char>(text.size());
    Write(&length, 1);
    if (length != 0)
        Write(text.data(), length);
}

void IOStream::ReadString(std::string& text)
{
    unsigned char length = 0;
    Read(&length, 1);
    // A reused variable must not keep the text of an earlier read.
    std::string read(length, '\0');
    if (length != 0)
        Read(read.data(), length);
    text.swap(read);
}
