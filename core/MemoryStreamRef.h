#pragma once

#include "core/IOStream.h"

// A read-only IOStream over bytes that the caller owns and keeps alive for the
// life of the stream; nothing is copied or freed.
class MemoryStreamRef : public IOStream
{
public:
    // Throws std::invalid_argument for a null data pointer with a non-zero size.
    MemoryStreamRef(const void* data, unsigned int size);
    ~MemoryStreamRef() override = default;

    void Read(void* buffer, unsigned int count) override;
    // Always throws "Cannot write into read-only memory buffer."
    void Write(const void* buffer, unsigned int count) override;
    unsigned int Tell() override;
    void Seek(unsigned int position) override;
    void Skip(unsigned int count) override;
    unsigned int GetSize() override;

private:
    const unsigned char* m_start;
    unsigned int m_cursor = 0;
    unsigned int m_size;
};
