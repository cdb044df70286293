#include "core/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

MemoryStream::MemoryStream(unsigned int size)
    : m_buffer(size, 0)
{
}

void MemoryStream::Read(void* buffer, unsigned int count)
{
    if (count > GetSize() - m_cursor)
        throw std::runtime_error("Unexpected end of stream while reading.");
    if (count == 0)
        return;
    std::memcpy(buffer, m_buffer.data() + m_cursor, count);
    m_cursor += count;
}

void MemoryStream::Write(const void* buffer, unsigned int count)
{
    if (count > GetSize() - m_cursor)
        throw std::runtime_error("Unexpected end of stream while writing.");
    if (count == 0)
        return;
    std::memcpy(m_buffer.data() + m_cursor, buffer, count);
    m_cursor += count;
}

unsigned int MemoryStream::Tell()
{
    return m_cursor;
}

void MemoryStream::Seek(unsigned int position)
{
    if (position > GetSize())
        throw std::runtime_error("Cannot seek past end of stream.");
    m_cursor = position;
}

void MemoryStream::Skip(unsigned int count)
{
    if (count > GetSize() - m_cursor)
        throw std::runtime_error("Cannot seek past end of stream.");
    m_cursor += count;
}

unsigned int MemoryStream::GetSize()
{
    return GetBufferSize();
}

unsigned char* MemoryStream::GetBuffer()
{
    return m_buffer.data();
}

const unsigned char* MemoryStream::GetBuffer() const
{
    return m_buffer.data();
}

unsigned int MemoryStream::GetBufferSize() const
{
    return static_cast<unsigned int>(m_buffer.size());
}

unsigned char* MemoryStream::GetCurrentPosition()
{
    return m_buffer.data() + m_cursor;
}

void MemoryStream::Resize(unsigned int size)
{
    m_buffer.resize(size, 0);
    m_cursor = std::min(m_cursor, size);
}
