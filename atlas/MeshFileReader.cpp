#include "atlas/MeshFileReader.h"

#include "core/ByteOrder.h"

#include <cstring>
#include <stdexcept>

MeshFileReader::MeshFileReader(std::fstream& file)
    : m_file(file)
{
    const std::streamoff start = m_file.tellg();
    m_file.seekg(0, std::ios::end);
    const std::streamoff end = m_file.tellg();
    m_file.seekg(start, std::ios::beg);
    if (start < 0 || end < start || !m_file)
        Fail();
    m_remaining = static_cast<std::uint64_t>(end - start);
}

void MeshFileReader::Fail()
{
    throw std::runtime_error("The mesh file is shorter than its counts say.");
}

void MeshFileReader::Require(std::uint64_t count, std::uint64_t recordBytes) const
{
    // Counts are at most 32 bits and records a few dozen bytes, so the product cannot wrap.
    if (count * recordBytes > m_remaining)
        Fail();
}

void MeshFileReader::Read(void* data, std::uint64_t bytes)
{
    if (bytes > m_remaining)
        Fail();
    if (bytes == 0)
        return;
    m_file.read(static_cast<char*>(data), static_cast<std::streamsize>(bytes));
    if (static_cast<std::uint64_t>(m_file.gcount()) != bytes)
        Fail();
    m_remaining -= bytes;
}

std::uint32_t MeshFileReader::ReadUint32()
{
    std::uint32_t value = 0;
    Read(&value, sizeof value);
    ReverseLongWordRange(reinterpret_cast<int*>(&value), 1);
    return value;
}

std::uint16_t MeshFileReader::ReadUint16()
{
    std::uint16_t value = 0;
    Read(&value, sizeof value);
    SwapByteRange(reinterpret_cast<short*>(&value), 1);
    return value;
}
