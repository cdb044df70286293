#pragma once

#include "core/IOStream.h"

#include <vector>

// An IOStream over a zero-filled buffer that it owns. Writing never grows the
// buffer; only Resize does. A refused operation leaves cursor and bytes unchanged.
class MemoryStream : public IOStream
{
public:
    explicit MemoryStream(unsigned int size);
    ~MemoryStream() override = default;

    void Read(void* buffer, unsigned int count) override;
    void Write(const void* buffer, unsigned int count) override;
    unsigned int Tell() override;
    void Seek(unsigned int position) override;
    void Skip(unsigned int count) override;
    unsigned int GetSize() override;

    // First byte of the buffer (may be null while the size is 0); valid until the next Resize.
    virtual unsigned char* GetBuffer();
    virtual const unsigned char* GetBuffer() const;
    virtual unsigned int GetBufferSize() const;
    // The byte at the cursor; valid until the next Resize.
    virtual unsigned char* GetCurrentPosition();
    // Keeps existing bytes, zero-fills new ones, pulls the cursor back to the new end if needed.
    virtual void Resize(unsigned int size);

private:
    std::vector<unsigned char> m_buffer;
    unsigned int m_cursor = 0;
};
