#include "core/ZipReader.h"

#include "core/IOStream.h"

#include "core/DefaultInitAllocator.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace
{

const std::uint32_t END_RECORD_SIGNATURE = 0x06054b50;
const std::uint32_t DIRECTORY_RECORD_SIGNATURE = 0x02014b50;
const unsigned int END_RECORD_SIZE = 22;
const unsigned int DIRECTORY_RECORD_SIZE = 46;
const unsigned int LOCAL_HEADER_SIZE = 30;
// The lowest position at which the backward scan still looks for the end record.
const unsigned int LOWEST_END_RECORD_POSITION = 23;
// Bytes read at a time by the backward scan; a long archive comment costs a few reads, not one per byte.
const unsigned int SCAN_CHUNK = 65536;

// Zip64 archives put these in the classic fields and the real numbers elsewhere; taken at face value
// they would send the reader to the wrong place or allocate 4 GiB.
const std::uint16_t ZIP64_COUNT = 0xFFFF;
const std::uint32_t ZIP64_NUMBER = 0xFFFFFFFF;

const char* const UNRECOGNIZED_FORMAT = "Unrecognized zip stream format";
const char* const SPLIT_NOT_SUPPORTED = "Split zip files not supported.";
const char* const READ_ERROR = "Error while reading zip stream.";

std::uint16_t Get16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// libdeflate inflates a whole entry at once into memory of its known size, several times faster than
// zlib's streaming inflate, and checks CRC-32 with the processor's carry-less multiply.
struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

// Inflates all of input into exactly outputSize bytes of output; trailing input after the last block is
// ignored, as zip readers do.
bool InflateExactly(const unsigned char* input, std::size_t inputSize, unsigned char* output, std::size_t outputSize)
{
    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor)
        throw std::bad_alloc();
    return libdeflate_deflate_decompress(decompressor.get(), input, inputSize, output, outputSize, nullptr) ==
           LIBDEFLATE_SUCCESS;
}

} // namespace

ZipReader::ZipReader(IOStream* stream)
    : m_stream(stream)
{
    if (!m_stream)
        throw std::runtime_error("Unexpected empty I/O stream");
    const unsigned int size = m_stream->GetSize();
    if (size < END_RECORD_SIZE)
        throw std::runtime_error("Unexpected end of I/O stream");

    unsigned char record[END_RECORD_SIZE];
    m_stream->Seek(FindEndRecord(size));
    m_stream->Read(record, END_RECORD_SIZE);
    const std::uint16_t thisDisk = Get16(record + 4);
    const std::uint16_t directoryDisk = Get16(record + 6);
    const std::uint16_t entriesOnDisk = Get16(record + 8);
    const std::uint16_t entries = Get16(record + 10);
    const std::uint32_t directorySize = Get32(record + 12);
    const std::uint32_t directoryOffset = Get32(record + 16);

    if (entries == 0 || entries == ZIP64_COUNT || entriesOnDisk == ZIP64_COUNT || thisDisk == ZIP64_COUNT ||
        directoryDisk == ZIP64_COUNT || directorySize == ZIP64_NUMBER || directoryOffset == ZIP64_NUMBER)
        throw std::runtime_error(UNRECOGNIZED_FORMAT);
    // The last piece of a split archive counts its directory offset from the start of another piece.
    if (thisDisk != 0 || directoryDisk != 0)
        throw std::runtime_error(SPLIT_NOT_SUPPORTED);

    m_stream->Seek(directoryOffset);
    ReadDirectory(entries);
}

unsigned int ZipReader::FindEndRecord(unsigned int streamSize)
{
    const unsigned int top = streamSize - END_RECORD_SIZE;
    if (top < LOWEST_END_RECORD_POSITION)
        throw std::runtime_error(UNRECOGNIZED_FORMAT);

    // Candidates are visited from the end backwards, so the record nearest the end wins even when the
    // archive comment holds the signature's bytes.
    std::vector<unsigned char> window;
    unsigned int highest = top;
    for (;;)
    {
        const unsigned int lowest = highest - std::min(highest - LOWEST_END_RECORD_POSITION, SCAN_CHUNK - 1);
        window.resize(highest - lowest + 4);
        m_stream->Seek(lowest);
        m_stream->Read(window.data(), static_cast<unsigned int>(window.size()));
        for (unsigned int position = highest + 1; position-- > lowest;)
        {
            if (Get32(window.data() + (position - lowest)) == END_RECORD_SIGNATURE)
                return position;
        }
        if (lowest == LOWEST_END_RECORD_POSITION)
            throw std::runtime_error(UNRECOGNIZED_FORMAT);
        highest = lowest - 1;
    }
}

void ZipReader::ReadDirectory(unsigned int entries)
{
    unsigned char record[DIRECTORY_RECORD_SIZE];
    for (unsigned int i = 0; i < entries; ++i)
    {
        m_stream->Read(record, DIRECTORY_RECORD_SIZE);
        if (Get32(record) != DIRECTORY_RECORD_SIGNATURE)
            throw std::runtime_error("Invalid zip stream");

        ZipItem item;
        item.method = Get16(record + 10);
        item.crc = Get32(record + 16);
        item.compressedSize = Get32(record + 20);
        item.uncompressedSize = Get32(record + 24);
        const std::uint16_t nameLength = Get16(record + 28);
        const std::uint16_t extraLength = Get16(record + 30);
        const std::uint16_t commentLength = Get16(record + 32);
        const std::uint16_t diskStart = Get16(record + 34);
        item.localHeaderOffset = Get32(record + 42);

        if (item.compressedSize == ZIP64_NUMBER || item.uncompressedSize == ZIP64_NUMBER ||
            item.localHeaderOffset == ZIP64_NUMBER || diskStart == ZIP64_COUNT)
            throw std::runtime_error(UNRECOGNIZED_FORMAT);

        item.name.resize(nameLength);
        if (nameLength != 0)
            m_stream->Read(&item.name[0], nameLength);
        m_stream->Skip(static_cast<unsigned int>(extraLength) + commentLength);

        const bool supported = item.method == 0 || item.method == 8;
        const bool emptyStored = item.method == 0 && item.uncompressedSize == 0;
        if (item.name.empty() || !supported || emptyStored)
            continue;
        if (diskStart != 0)
            throw std::runtime_error(SPLIT_NOT_SUPPORTED);
        m_directory.push_back(std::move(item));
    }
}

const std::vector<ZipReader::ZipItem>& ZipReader::GetDirectory() const
{
    return m_directory;
}

const ZipReader::ZipItem* ZipReader::SeekFile(const char* name) const
{
    if (!name)
        return nullptr;
    for (const ZipItem& item : m_directory)
    {
        if (item.name == name)
            return &item;
    }
    return nullptr;
}

// Reads the item's local header into header and answers where the entry's data end, or 0 when the
// header itself lies beyond the stream.
std::uint64_t ZipReader::ReadLocalHeader(const ZipItem& item, unsigned char* header)
{
    if (std::uint64_t(item.localHeaderOffset) + LOCAL_HEADER_SIZE > m_stream->GetSize())
        return 0;
    m_stream->Seek(item.localHeaderOffset);
    m_stream->Read(header, LOCAL_HEADER_SIZE);
    const unsigned int skip = static_cast<unsigned int>(Get16(header + 26)) + Get16(header + 28);
    return std::uint64_t(item.localHeaderOffset) + LOCAL_HEADER_SIZE + skip + item.compressedSize;
}

bool ZipReader::HoldsEntry(const ZipItem& item)
{
    unsigned char header[LOCAL_HEADER_SIZE];
    const std::uint64_t dataEnd = ReadLocalHeader(item, header);
    return dataEnd != 0 && dataEnd <= m_stream->GetSize();
}

bool ZipReader::SizesPossible(const ZipItem& item)
{
    const bool madeByItsBytes = item.method == 0 ? item.uncompressedSize == item.compressedSize
                                                 : item.uncompressedSize <= item.compressedSize * MAX_DEFLATE_RATIO;
    return madeByItsBytes && HoldsEntry(item);
}

// Positions the stream at the entry's data and returns the local header's CRC-32. The whole entry must
// lie within the stream, so no size taken from the archive allocates more than the archive holds.
unsigned int ZipReader::SeekEntryData(const ZipItem& item)
{
    unsigned char header[LOCAL_HEADER_SIZE];
    const std::uint64_t dataEnd = ReadLocalHeader(item, header);
    if (dataEnd == 0 || dataEnd > m_stream->GetSize())
        throw std::runtime_error("Unexpected end of I/O stream");
    m_stream->Seek(static_cast<unsigned int>(dataEnd - item.compressedSize));
    return Get32(header + 14);
}

void ZipReader::Read(const ZipItem* item, unsigned char* out)
{
    if (!item)
        throw std::invalid_argument("No zip entry given to read.");
    if (!out && item->uncompressedSize != 0)
        throw std::invalid_argument("No buffer given for the zip entry.");

    const unsigned int localCrc = SeekEntryData(*item);
    if (item->method == 0 && item->compressedSize == item->uncompressedSize)
    {
        m_stream->Read(out, item->uncompressedSize);
    }
    else
    {
        // Filled whole by the read: no zeros written first.
        std::vector<unsigned char, DefaultInitAllocator<unsigned char>> compressed(item->compressedSize);
        m_stream->Read(compressed.data(), item->compressedSize);
        // An empty entry still has to prove that it inflates to nothing, so it gets a byte of room.
        unsigned char spare = 0;
        unsigned char* target = item->uncompressedSize != 0 ? out : &spare;
        if (!InflateExactly(compressed.data(), item->compressedSize, target, item->uncompressedSize))
            throw std::runtime_error(READ_ERROR);
    }

    const unsigned int expected = item->crc != 0 ? item->crc : localCrc;
    if (expected != 0)
    {
        if (libdeflate_crc32(0, out, item->uncompressedSize) != expected)
            throw std::runtime_error("CRC error while reading zip stream.");
    }
}
