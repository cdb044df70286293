#include "expression/DataSetEntries.h"

#include <stdexcept>

namespace DataSetEntries
{
std::uint64_t MaxInflatedSize(const ZipReader::ZipItem& item)
{
    if (item.method == 0)
        return item.compressedSize;
    return std::uint64_t(item.compressedSize) * MAX_DEFLATE_RATIO;
}

Bytes Read(ZipReader& zip, const ZipReader::ZipItem& item)
{
    // Both sizes come from the directory: the compressed one is held against the archive's bytes before
    // the uncompressed one, bounded by it, sizes the buffer.
    if (!zip.HoldsEntry(item) || item.uncompressedSize > MaxInflatedSize(item))
        throw std::runtime_error("Error while reading zip stream.");
    Bytes bytes(item.uncompressedSize);
    zip.Read(&item, bytes.data());
    return bytes;
}

Bytes ReadExactly(ZipReader& zip, const char* name, std::uint64_t size, const char* message)
{
    const ZipReader::ZipItem* item = zip.SeekFile(name);
    if (!item || item->uncompressedSize != size)
        throw std::runtime_error(message);
    return Read(zip, *item);
}
} // namespace DataSetEntries
