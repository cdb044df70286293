#include "core/FileStream.h"

#include <limits>
#include <stdexcept>

namespace
{
const char* const kSeekFailed = "File seek failed.";

// Positions of 4 GiB and more cannot be told through the 32-bit interface.
unsigned int ToPosition(std::streamoff position)
{
    if (position < 0 || position > std::streamoff(std::numeric_limits<unsigned int>::max()))
        throw std::runtime_error(kSeekFailed);
    return static_cast<unsigned int>(position);
}
}

FileStream::FileStream(const char* path, std::ios_base::openmode mode)
{
    Open(path, mode);
}

void FileStream::Open(const char* path, std::ios_base::openmode mode)
{
    OpenStream(m_stream, path, mode);
    if (m_stream.fail() || m_stream.bad())
        throw std::runtime_error("File could not be opened.");
}

void FileStream::Close()
{
    m_stream.close();
}

void FileStream::Read(void* buffer, unsigned int count)
{
    m_stream.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
    if (!m_stream || m_stream.gcount() != static_cast<std::streamsize>(count))
    {
        // A short read sets only eofbit on some paths; make the failure stick.
        m_stream.setstate(std::ios_base::failbit);
        throw std::runtime_error("Error while reading file.");
    }
}

void FileStream::Write(const void* buffer, unsigned int count)
{
    m_stream.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(count));
    if (!m_stream)
        throw std::runtime_error("File could not be written.");
}

unsigned int FileStream::Tell()
{
    // The file buffer keeps one position for reading and writing.
    return ToPosition(static_cast<std::streamoff>(m_stream.tellp()));
}

void FileStream::Seek(unsigned int position)
{
    m_stream.seekg(static_cast<std::streamoff>(position), std::ios_base::beg);
    if (!m_stream)
        throw std::runtime_error(kSeekFailed);
}

void FileStream::Skip(unsigned int count)
{
    m_stream.seekg(static_cast<std::streamoff>(count), std::ios_base::cur);
    if (!m_stream)
        throw std::runtime_error(kSeekFailed);
}

unsigned int FileStream::GetSize()
{
    const std::streamoff position = m_stream.tellg();
    if (position < 0)
        throw std::runtime_error(kSeekFailed);
    m_stream.seekg(0, std::ios_base::end);
    const std::streamoff end = m_stream.tellg();
    m_stream.seekg(position, std::ios_base::beg);
    if (!m_stream || end < 0)
        throw std::runtime_error(kSeekFailed);
    return ToPosition(end);
}
