#pragma once

#include "core/FileUtils.h"
#include "core/IOStream.h"

#include <fstream>
#include <ios>

// An IOStream over a file. After any failure the file stream stays failed, so
// every later read, write or seek throws again until it is closed and reopened.
class FileStream : public IOStream
{
public:
    FileStream() = default;
    // Throws "File could not be opened." when the file cannot be opened.
    FileStream(const char* path, std::ios_base::openmode mode);
    ~FileStream() override = default;

    void Read(void* buffer, unsigned int count) override;
    void Write(const void* buffer, unsigned int count) override;
    unsigned int Tell() override;
    void Seek(unsigned int position) override;
    void Skip(unsigned int count) override;
    // Leaves the position where it was; throws "File seek failed." when the size
    // cannot be taken or does not fit 32 bits (4 GiB or more).
    unsigned int GetSize() override;

    virtual void Open(const char* path, std::ios_base::openmode mode);
    virtual void Close();

private:
    std::fstream m_stream;
};
