#pragma once

#include <string>

// Abstract byte stream under every binary reader and writer, so that one decoder
// runs over a file, an owned buffer or somebody else's bytes. Positions and sizes
// are unsigned 32-bit; every failure is a std::runtime_error with a fixed message.
class IOStream
{
public:
    virtual ~IOStream() = default;

    // Reads exactly count bytes at the position and advances.
    virtual void Read(void* buffer, unsigned int count) = 0;
    // Writes exactly count bytes at the position and advances.
    virtual void Write(const void* buffer, unsigned int count) = 0;
    virtual unsigned int Tell() = 0;
    virtual void Seek(unsigned int position) = 0;
    virtual void Skip(unsigned int count) = 0;
    virtual unsigned int GetSize() = 0;

    // One length byte (0 to 255) followed by the bytes, no terminator.
    // Longer strings throw and write nothing.
    void WriteString(const std::string& text);
    // Replaces text with the string read; a length of 0 leaves it empty.
    // On failure text is left as it was.
    void ReadString(std::string& text);

protected:
    IOStream() = default;
    IOStream(const IOStream&) = delete;
    IOStream& operator=(const IOStream&) = delete;
};
