#include "expression/DataSetEntries.h"

#include <stdexcept>

namespace DataSetEntries
{
Bytes Read(ZipReader& zip, const ZipReader::ZipItem& item)
{
    // Both sizes come from the directory: they are held against the archive's bytes before the
    // uncompressed one sizes the buffer.
    if (!zip.SizesPossible(item))
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
