#include "core/MemoryStreamRef.h"

#include <cstring>
#include <stdexcept>

MemoryStreamRef::MemoryStreamRef(const void* data, unsigned int size)
    : m_start(static_cast<const unsigned char*>(data))
    , m_size(size)
{
    if (!data && size != 0)
        throw std::invalid_argument("Memory stream needs the bytes it reads.");
}

void MemoryStreamRef::Read(void* buffer, unsigned int count)
{
    if (count > m_size - m_cursor)
        throw std::runtime_error("Unexpected end of stream while reading.");
    if (count == 0)
        return;
    std::memcpy(buffer, m_start + m_cursor, count);
    m_cursor += count;
}

void MemoryStreamRef::Write(const void*, unsigned int)
{
    throw std::runtime_error("Cannot write into read-only memory buffer.");
}

unsigned int MemoryStreamRef::Tell()
{
    return m_cursor;
}

void MemoryStreamRef::Seek(unsigned int position)
{
    if (position > m_size)
        throw std::runtime_error("Cannot seek past end of stream.");
    m_cursor = position;
}

void MemoryStreamRef::Skip(unsigned int count)
{
    if (count > m_size - m_cursor)
        throw std::runtime_error("Cannot seek past end of stream.");
    m_cursor += count;
}

unsigned int MemoryStreamRef::GetSize()
{
    return m_size;
}
