#pragma once

#include "core/DefaultInitAllocator.h"
#include "core/ZipReader.h"

#include <cstdint>
#include <vector>

// Reading the entries of a data-set zip, whose directory is as untrusted as the rest of it: no entry is
// inflated into a buffer before its declared size has been checked against what the caller expects or
// against what its compressed bytes can possibly inflate to.
namespace DataSetEntries
{
// An entry's bytes, sized without zeros: the inflate writes every one of them.
using Bytes = std::vector<unsigned char, DefaultInitAllocator<unsigned char>>;

// The entry's bytes; throws "Error while reading zip stream." when its declared sizes cannot be true:
// compressed bytes beyond the end of the archive, or more inflated bytes than they can hold.
Bytes Read(ZipReader& zip, const ZipReader::ZipItem& item);
// The bytes of the named entry, which must exist and declare exactly size bytes; else throws message.
Bytes ReadExactly(ZipReader& zip, const char* name, std::uint64_t size, const char* message);
} // namespace DataSetEntries
