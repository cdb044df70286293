#pragma once

#include <cstdint>
#include <string>
#include <vector>

class IOStream;

// Reads the central directory of a single-disk zip archive from an IOStream and extracts one entry at
// a time, stored or deflated, into a buffer that the caller provides. Every failure is a
// std::runtime_error with the message the user sees; errors of the stream pass through unchanged.
// Archives whose end record or directory carries zip64 markers are refused ("Unrecognized zip stream
// format"), as are split archives ("Split zip files not supported."); zip64 extra fields in local
// headers are harmless, since sizes come from the directory.
class ZipReader
{
public:
    // One entry of the central directory.
    struct ZipItem
    {
        std::string name; // file name bytes as stored, folders separated by forward slashes
        unsigned int compressedSize = 0;
        unsigned int uncompressedSize = 0;
        unsigned int localHeaderOffset = 0;
        unsigned int crc = 0;
        unsigned short method = 0; // 0 stored, 8 deflated
    };

    // Reads the whole directory at once. The stream is not owned and must outlive the reader.
    // Entries without a name, folders, empty stored files and entries of methods other than stored and
    // deflated are left out of the directory.
    explicit ZipReader(IOStream* stream);
    virtual ~ZipReader() = default;

    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // The entries in the order of the central directory.
    virtual const std::vector<ZipItem>& GetDirectory() const;
    // The first entry whose name equals name byte for byte (case-sensitive), or null.
    virtual const ZipItem* SeekFile(const char* name) const;
    // Writes the item's uncompressedSize bytes to out, checked against the entry's CRC-32. A failed
    // read leaves the reader usable for other entries; out may then hold part of the entry.
    virtual void Read(const ZipItem* item, unsigned char* out);
    // Whether the archive's bytes hold the item's local header and, after it, all of its declared
    // compressed bytes. A caller that sizes a buffer by the directory asks this first, so that no size
    // from the archive allocates more than the archive could hold.
    virtual bool HoldsEntry(const ZipItem& item);
    // Whether both declared sizes of the item can be true: the archive holds its compressed bytes
    // (HoldsEntry), and those bytes can make its uncompressed size (stored bytes are it; deflated ones
    // inflate to at most MAX_DEFLATE_RATIO times their count). Readers of untrusted archives ask this
    // before they size a buffer by the entry.
    bool SizesPossible(const ZipItem& item);

    // Deflate makes at most 258 bytes of a two-bit code: no entry inflates to more than this many times
    // its compressed bytes.
    static constexpr std::uint64_t MAX_DEFLATE_RATIO = 1032;

private:
    unsigned int FindEndRecord(unsigned int streamSize);
    void ReadDirectory(unsigned int entries);
    unsigned int SeekEntryData(const ZipItem& item);
    std::uint64_t ReadLocalHeader(const ZipItem& item, unsigned char* header);

    std::vector<ZipItem> m_directory;
    IOStream* m_stream;
};
