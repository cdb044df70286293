#pragma once

#include <cstdint>
#include <fstream>

// Reads the little-endian blocks of the mesh and line files, with every count that the file declares
// checked against the bytes that are really left before anything of that size is allocated. Any short
// read or oversized count throws std::runtime_error; the loaders turn it into their own message.
class MeshFileReader
{
public:
    // Measures the bytes from the stream's current position to its end.
    explicit MeshFileReader(std::fstream& file);

    MeshFileReader(const MeshFileReader&) = delete;
    MeshFileReader& operator=(const MeshFileReader&) = delete;

    std::uint32_t ReadUint32();
    std::uint16_t ReadUint16();
    // Reads bytes into data; the caller has checked the size with Require.
    void Read(void* data, std::uint64_t bytes);
    // Throws unless count records of recordBytes each fit in the bytes left.
    void Require(std::uint64_t count, std::uint64_t recordBytes) const;
    std::uint64_t Remaining() const { return m_remaining; }

    // Throws the reader's error: for checks of the caller's own (indices, group sizes).
    [[noreturn]] static void Fail();

private:
    std::fstream& m_file;
    std::uint64_t m_remaining = 0;
};
