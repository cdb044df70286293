#include "core/FileStream.h"
#include "core/MemoryStreamRef.h"
#include "core/ZipReader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "TestSupport.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

std::string FixturePath(const std::string& name)
{
    return std::string(CORVANE_SOURCE_DIR) + "/tests/core/data/zip/" + name;
}

Bytes ReadFixture(const std::string& name)
{
    return ReadWholeFile(FixturePath(name));
}

// The entry contents that tests/core/data/make_fixtures.py packs.
Bytes GridBytes(unsigned int n)
{
    Bytes out(n);
    for (unsigned int i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>((i * 7 + (i / 97) * 3) & 0xFF);
    return out;
}

Bytes XmlText()
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<section-data-set>\n";
    for (int i = 0; i < 40; ++i)
        text += "  <value index=\"" + std::to_string(i) + "\">" + std::to_string(i * i) + "</value>\n";
    text += "</section-data-set>\n";
    return Bytes(text.begin(), text.end());
}

const std::vector<std::pair<std::string, Bytes>>& ExpectedEntries()
{
    static const std::vector<std::pair<std::string, Bytes>> entries = {
        {"data_set.xml", XmlText()},
        {"energy.raw", GridBytes(3000)},
        {"Spaces/P56/density.raw", GridBytes(777)},
    };
    return entries;
}

Bytes ReadEntry(ZipReader& reader, const ZipReader::ZipItem* item)
{
    Bytes out(item->uncompressedSize);
    reader.Read(item, out.data());
    return out;
}

std::string OpenError(const Bytes& archive)
{
    return ErrorOf([&] {
        MemoryStreamRef stream(archive.data(), static_cast<unsigned int>(archive.size()));
        ZipReader reader(&stream);
    });
}

// --- archives made by the tests, for what outside tools never write --------------------------------

void Put16(Bytes& out, unsigned int value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

Bytes RawDeflate(const Bytes& data)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<unsigned char*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::uint32_t Crc(const Bytes& data)
{
    return static_cast<std::uint32_t>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
}

struct Entry
{
    std::string name;
    Bytes data; // as stored in the archive
    std::uint16_t method = 0;
    std::uint32_t crc = 0; // central directory
    std::uint32_t localCrc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t diskStart = 0;
    std::int64_t offsetOverride = -1;
};

Entry Stored(const std::string& name, const Bytes& data)
{
    Entry entry;
    entry.name = name;
    entry.data = data;
    entry.crc = entry.localCrc = Crc(data);
    entry.compressedSize = entry.uncompressedSize = static_cast<std::uint32_t>(data.size());
    return entry;
}

Entry Deflated(const std::string& name, const Bytes& data)
{
    Entry entry = Stored(name, data);
    entry.method = 8;
    entry.data = RawDeflate(data);
    entry.compressedSize = static_cast<std::uint32_t>(entry.data.size());
    return entry;
}

struct EndRecord
{
    std::int32_t entries = -1; // -1: the number of entries given
    std::uint16_t thisDisk = 0;
    std::uint16_t directoryDisk = 0;
    std::int64_t directorySize = -1;
    std::int64_t directoryOffset = -1;
    Bytes trailer; // written after the record, as a comment or junk
};

Bytes BuildArchive(const std::vector<Entry>& entries, const EndRecord& end = EndRecord())
{
    Bytes out;
    std::vector<std::uint32_t> offsets;
    for (const Entry& entry : entries)
    {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        Put32(out, 0x04034b50);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, entry.method);
        Put32(out, 0);
        Put32(out, entry.localCrc);
        Put32(out, entry.compressedSize);
        Put32(out, entry.uncompressedSize);
        Put16(out, static_cast<unsigned int>(entry.name.size()));
        Put16(out, 0);
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    const std::uint32_t directoryOffset = static_cast<std::uint32_t>(out.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        const Entry& entry = entries[i];
        Put32(out, 0x02014b50);
        Put16(out, 20);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, entry.method);
        Put32(out, 0);
        Put32(out, entry.crc);
        Put32(out, entry.compressedSize);
        Put32(out, entry.uncompressedSize);
        Put16(out, static_cast<unsigned int>(entry.name.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, entry.diskStart);
        Put16(out, 0);
        Put32(out, 0);
        Put32(out, entry.offsetOverride >= 0 ? static_cast<std::uint32_t>(entry.offsetOverride) : offsets[i]);
        out.insert(out.end(), entry.name.begin(), entry.name.end());
    }
    const std::uint32_t directorySize = static_cast<std::uint32_t>(out.size()) - directoryOffset;
    const unsigned int count =
        end.entries >= 0 ? static_cast<unsigned int>(end.entries) : static_cast<unsigned int>(entries.size());
    Put32(out, 0x06054b50);
    Put16(out, end.thisDisk);
    Put16(out, end.directoryDisk);
    Put16(out, count);
    Put16(out, count);
    Put32(out, end.directorySize >= 0 ? static_cast<std::uint32_t>(end.directorySize) : directorySize);
    Put32(out, end.directoryOffset >= 0 ? static_cast<std::uint32_t>(end.directoryOffset) : directoryOffset);
    Put16(out, static_cast<unsigned int>(std::min<std::size_t>(end.trailer.size(), 0xFFFF)));
    out.insert(out.end(), end.trailer.begin(), end.trailer.end());
    return out;
}

// A reader over bytes that it keeps alive.
struct OpenArchive
{
    explicit OpenArchive(Bytes archive)
        : bytes(std::move(archive))
        , stream(bytes.data(), static_cast<unsigned int>(bytes.size()))
        , reader(&stream)
    {
    }
    Bytes bytes;
    MemoryStreamRef stream;
    ZipReader reader;
};

} // namespace

// --- archives written by Python's zipfile and Info-ZIP ---------------------------------------------

class GoodArchive : public testing::TestWithParam<const char*>
{};

TEST_P(GoodArchive, ReadsEveryEntryExactlyFromMemoryAndFile)
{
    const Bytes archive = ReadFixture(GetParam());
    MemoryStreamRef memory(archive.data(), static_cast<unsigned int>(archive.size()));
    FileStream file(FixturePath(GetParam()).c_str(), std::ios::in | std::ios::binary);
    for (IOStream* stream : {static_cast<IOStream*>(&memory), static_cast<IOStream*>(&file)})
    {
        ZipReader reader(stream);
        ASSERT_GE(reader.GetDirectory().size(), ExpectedEntries().size());
        // Read out of directory order to show that each read finds its own entry.
        for (auto it = ExpectedEntries().rbegin(); it != ExpectedEntries().rend(); ++it)
        {
            const ZipReader::ZipItem* item = reader.SeekFile(it->first.c_str());
            ASSERT_NE(item, nullptr) << it->first;
            EXPECT_EQ(item->uncompressedSize, it->second.size());
            EXPECT_EQ(ReadEntry(reader, item), it->second) << it->first;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OutsideTools, GoodArchive,
                         testing::Values("py_stored.zip", "py_deflated.zip", "py_descriptor.zip", "py_force_zip64.zip",
                                         "iz_stored.zip", "iz_deflated.zip", "iz_stdout.zip", "iz_comment.zip"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST(ZipReader, DirectoryKeepsOrderAndFieldsAndLeavesOutFoldersAndEmptyStoredFiles)
{
    OpenArchive archive(ReadFixture("py_deflated.zip"));
    const std::vector<ZipReader::ZipItem>& directory = archive.reader.GetDirectory();
    ASSERT_EQ(directory.size(), 4u);
    EXPECT_EQ(directory[0].name, "data_set.xml");
    EXPECT_EQ(directory[1].name, "energy.raw");
    EXPECT_EQ(directory[2].name, "Spaces/P56/density.raw");
    EXPECT_EQ(directory[3].name, "empty_deflated.txt");
    EXPECT_EQ(directory[1].method, 8);
    EXPECT_EQ(directory[1].uncompressedSize, 3000u);
    EXPECT_LT(directory[1].compressedSize, 3000u);
    EXPECT_EQ(directory[1].crc, Crc(GridBytes(3000)));
    EXPECT_EQ(directory[0].localHeaderOffset, 0u);
    EXPECT_EQ(archive.reader.SeekFile("Spaces/"), nullptr);
    EXPECT_EQ(archive.reader.SeekFile("empty_stored.txt"), nullptr);
}

TEST(ZipReader, EmptyDeflatedEntryReadsAsNothing)
{
    OpenArchive archive(ReadFixture("py_deflated.zip"));
    const ZipReader::ZipItem* item = archive.reader.SeekFile("empty_deflated.txt");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->method, 8);
    EXPECT_EQ(item->uncompressedSize, 0u);
    EXPECT_NO_THROW(archive.reader.Read(item, nullptr));
}

TEST(ZipReader, SkipsEntriesOfOtherMethods)
{
    OpenArchive archive(ReadFixture("py_bzip2.zip"));
    ASSERT_EQ(archive.reader.GetDirectory().size(), 1u);
    EXPECT_EQ(archive.reader.GetDirectory()[0].name, "data_set.xml");
    EXPECT_EQ(ReadEntry(archive.reader, &archive.reader.GetDirectory()[0]), XmlText());
}

TEST(ZipReader, ArchiveOfFoldersOnlyHasEmptyDirectory)
{
    OpenArchive archive(ReadFixture("py_folders_only.zip"));
    EXPECT_TRUE(archive.reader.GetDirectory().empty());
}

TEST(ZipReader, SeekFileIsExactAndCaseSensitive)
{
    OpenArchive archive(ReadFixture("iz_deflated.zip"));
    EXPECT_NE(archive.reader.SeekFile("data_set.xml"), nullptr);
    EXPECT_EQ(archive.reader.SeekFile("Data_Set.xml"), nullptr);
    EXPECT_EQ(archive.reader.SeekFile("data_set.xm"), nullptr);
    EXPECT_EQ(archive.reader.SeekFile("density.raw"), nullptr);
    EXPECT_EQ(archive.reader.SeekFile(nullptr), nullptr);
}

TEST(ZipReader, RefusesZip64DirectoryFromInfoZip)
{
    EXPECT_EQ(OpenError(ReadFixture("iz_zip64.zip")), "Unrecognized zip stream format");
}

TEST(ZipReader, RefusesLastPieceOfSplitArchive)
{
    EXPECT_EQ(OpenError(ReadFixture("iz_split.zip")), "Split zip files not supported.");
}

TEST(ZipReader, EncryptedEntriesFailInsteadOfReturningGarbage)
{
    for (const char* name : {"iz_encrypted.zip", "iz_encrypted_stored.zip"})
    {
        OpenArchive archive(ReadFixture(name));
        const ZipReader::ZipItem* item = archive.reader.SeekFile("data_set.xml");
        ASSERT_NE(item, nullptr);
        const std::string error = ErrorOf([&] { ReadEntry(archive.reader, item); });
        EXPECT_TRUE(error == "Error while reading zip stream." || error == "CRC error while reading zip stream.")
            << name << ": " << error;
    }
}

// --- the directory ---------------------------------------------------------------------------------

TEST(ZipReader, RefusesMissingShortAndUnrecognizedStreams)
{
    EXPECT_EQ(ErrorOf([] { ZipReader reader(nullptr); }), "Unexpected empty I/O stream");
    EXPECT_EQ(OpenError(Bytes(21, 0)), "Unexpected end of I/O stream");
    EXPECT_EQ(OpenError(Bytes(22, 0)), "Unrecognized zip stream format");
    EXPECT_EQ(OpenError(Bytes(5000, 'x')), "Unrecognized zip stream format");
    // An end record alone, at position 0, lies below the lowest position scanned.
    EXPECT_EQ(OpenError(BuildArchive({})), "Unrecognized zip stream format");
}

TEST(ZipReader, RefusesEndRecordCountingNoEntries)
{
    EndRecord end;
    end.entries = 0;
    EXPECT_EQ(OpenError(BuildArchive({Stored("a.raw", GridBytes(40))}, end)), "Unrecognized zip stream format");
}

TEST(ZipReader, FindsEndRecordBehindLongTrailer)
{
    // Trailing bytes well beyond one scan chunk, so the search crosses chunk boundaries.
    EndRecord end;
    end.trailer = GridBytes(200000);
    OpenArchive archive(BuildArchive({Deflated("a.raw", GridBytes(500))}, end));
    ASSERT_EQ(archive.reader.GetDirectory().size(), 1u);
    EXPECT_EQ(ReadEntry(archive.reader, &archive.reader.GetDirectory()[0]), GridBytes(500));
}

TEST(ZipReader, TheRecordNearestTheEndWins)
{
    // A second, complete archive appended after the first: its end record is found first and its
    // offsets, counted from the start of the stream, are wrong for the appended copy.
    const Bytes first = BuildArchive({Stored("first.raw", GridBytes(30))});
    Bytes both = first;
    const Bytes second = BuildArchive({Stored("second.raw", GridBytes(30))}, EndRecord());
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(OpenError(both), "Invalid zip stream");
}

TEST(ZipReader, RefusesZip64Markers)
{
    EndRecord count;
    count.entries = 0xFFFF;
    EndRecord offset;
    offset.directoryOffset = 0xFFFFFFFF;
    EndRecord size;
    size.directorySize = 0xFFFFFFFF;
    const std::vector<Entry> one = {Stored("a.raw", GridBytes(40))};
    EXPECT_EQ(OpenError(BuildArchive(one, count)), "Unrecognized zip stream format");
    EXPECT_EQ(OpenError(BuildArchive(one, offset)), "Unrecognized zip stream format");
    EXPECT_EQ(OpenError(BuildArchive(one, size)), "Unrecognized zip stream format");

    Entry compressed = Deflated("b.raw", GridBytes(40));
    compressed.compressedSize = 0xFFFFFFFF;
    Entry uncompressed = Deflated("c.raw", GridBytes(40));
    uncompressed.uncompressedSize = 0xFFFFFFFF;
    Entry local = Deflated("d.raw", GridBytes(40));
    local.offsetOverride = 0xFFFFFFFF;
    for (const Entry& entry : {compressed, uncompressed, local})
        EXPECT_EQ(OpenError(BuildArchive({entry})), "Unrecognized zip stream format") << entry.name;
}

TEST(ZipReader, RefusesSplitArchives)
{
    Entry second = Stored("b.raw", GridBytes(40));
    second.diskStart = 1;
    EXPECT_EQ(OpenError(BuildArchive({Stored("a.raw", GridBytes(40)), second})), "Split zip files not supported.");
    EndRecord end;
    end.thisDisk = end.directoryDisk = 1;
    EXPECT_EQ(OpenError(BuildArchive({Stored("a.raw", GridBytes(40))}, end)), "Split zip files not supported.");
}

TEST(ZipReader, RefusesBadDirectorySignature)
{
    EndRecord end;
    end.directoryOffset = 0; // points at a local header
    EXPECT_EQ(OpenError(BuildArchive({Stored("a.raw", GridBytes(40))}, end)), "Invalid zip stream");
}

TEST(ZipReader, MoreEntriesCountedThanPresentEndInStreamError)
{
    EndRecord end;
    for (int entries : {2, 60000})
    {
        end.entries = entries;
        EXPECT_EQ(OpenError(BuildArchive({Stored("a.raw", GridBytes(40))}, end)),
                  "Unexpected end of stream while reading.");
    }
}

// --- reading entries -------------------------------------------------------------------------------

TEST(ZipReader, CrcMismatchIsAnErrorAndLocalCrcStandsInForZero)
{
    Entry wrong = Stored("wrong.raw", GridBytes(64));
    wrong.crc ^= 1;
    Entry localOnly = Stored("local.raw", GridBytes(64));
    localOnly.crc = 0;
    Entry localWrong = Stored("localwrong.raw", GridBytes(64));
    localWrong.crc = 0;
    localWrong.localCrc ^= 0x100;
    Entry unchecked = Stored("unchecked.raw", GridBytes(64));
    unchecked.crc = unchecked.localCrc = 0;

    OpenArchive archive(BuildArchive({wrong, localOnly, localWrong, unchecked}));
    ZipReader& reader = archive.reader;
    EXPECT_EQ(ErrorOf([&] { ReadEntry(reader, reader.SeekFile("wrong.raw")); }), "CRC error while reading zip stream.");
    EXPECT_EQ(ReadEntry(reader, reader.SeekFile("local.raw")), GridBytes(64));
    EXPECT_EQ(ErrorOf([&] { ReadEntry(reader, reader.SeekFile("localwrong.raw")); }),
              "CRC error while reading zip stream.");
    EXPECT_EQ(ReadEntry(reader, reader.SeekFile("unchecked.raw")), GridBytes(64));
}

TEST(ZipReader, InflatedLengthMustMatchDeclaredSizeEvenWithoutCrc)
{
    Entry longer = Deflated("longer.raw", GridBytes(100));
    longer.uncompressedSize = 120; // would leave 20 bytes of the caller's buffer unwritten
    longer.crc = longer.localCrc = 0;
    Entry shorter = Deflated("shorter.raw", GridBytes(100));
    shorter.uncompressedSize = 80;
    shorter.crc = shorter.localCrc = 0;
    Entry empty = Deflated("empty.raw", GridBytes(100));
    empty.uncompressedSize = 0;
    empty.crc = empty.localCrc = 0;

    OpenArchive archive(BuildArchive({longer, shorter, empty}));
    ZipReader& reader = archive.reader;
    for (const char* name : {"longer.raw", "shorter.raw", "empty.raw"})
        EXPECT_EQ(ErrorOf([&] { ReadEntry(reader, reader.SeekFile(name)); }), "Error while reading zip stream.")
            << name;
}

TEST(ZipReader, CorruptDeflateDataIsAnErrorAndTheReaderStaysUsable)
{
    Entry corrupt = Deflated("corrupt.raw", GridBytes(1000));
    for (std::size_t i = 0; i < corrupt.data.size(); i += 3)
        corrupt.data[i] ^= 0xA5;
    OpenArchive archive(BuildArchive({corrupt, Deflated("good.raw", GridBytes(1000))}));
    ZipReader& reader = archive.reader;
    const std::string error = ErrorOf([&] { ReadEntry(reader, reader.SeekFile("corrupt.raw")); });
    EXPECT_TRUE(error == "Error while reading zip stream." || error == "CRC error while reading zip stream.") << error;
    EXPECT_EQ(ReadEntry(reader, reader.SeekFile("good.raw")), GridBytes(1000));
}

TEST(ZipReader, EntryReachingPastTheStreamIsRefusedBeforeAllocating)
{
    Entry huge = Deflated("huge.raw", GridBytes(100));
    huge.compressedSize = 0xFFFFFFF0; // an allocation of this size would abort under the sanitizer
    Entry farAway = Stored("far.raw", GridBytes(100));
    farAway.offsetOverride = 0x7FFFFFFF;
    OpenArchive archive(BuildArchive({huge, farAway, Stored("fits.raw", GridBytes(100))}));
    ZipReader& reader = archive.reader;
    Bytes out(100);
    EXPECT_EQ(ErrorOf([&] { reader.Read(reader.SeekFile("huge.raw"), out.data()); }), "Unexpected end of I/O stream");
    EXPECT_EQ(ErrorOf([&] { reader.Read(reader.SeekFile("far.raw"), out.data()); }), "Unexpected end of I/O stream");
    // Callers that size a buffer by the directory ask first, and hear the same answer without reading.
    EXPECT_FALSE(reader.HoldsEntry(*reader.SeekFile("huge.raw")));
    EXPECT_FALSE(reader.HoldsEntry(*reader.SeekFile("far.raw")));
    EXPECT_TRUE(reader.HoldsEntry(*reader.SeekFile("fits.raw")));
    reader.Read(reader.SeekFile("fits.raw"), out.data());
    EXPECT_EQ(out, GridBytes(100));
}

TEST(ZipReader, SizesArePossibleOnlyWhenTheArchiveHoldsBytesThatCanMakeThem)
{
    struct Case
    {
        Entry entry;
        bool possible;
    };
    Entry longer = Stored("longer.raw", GridBytes(100));
    longer.uncompressedSize = 101;
    Entry ratio = Deflated("ratio.raw", GridBytes(100));
    ratio.uncompressedSize = ratio.compressedSize * 1032;
    Entry overRatio = Deflated("overratio.raw", GridBytes(100));
    overRatio.uncompressedSize = overRatio.compressedSize * 1032 + 1;
    // Fewer compressed bytes than the whole archive holds, but more than follow the entry's header.
    Entry pastTheEnd = Deflated("pastend.raw", GridBytes(100));
    pastTheEnd.compressedSize += 1500;
    const std::vector<Case> cases = {
        {Stored("filler.raw", GridBytes(3000)), true},
        {Stored("stored.raw", GridBytes(100)), true},
        {longer, false},
        {Deflated("deflated.raw", GridBytes(5000)), true},
        {ratio, true},
        {overRatio, false},
        {pastTheEnd, false},
    };
    std::vector<Entry> entries;
    for (const Case& c : cases)
        entries.push_back(c.entry);
    OpenArchive archive(BuildArchive(entries));
    ASSERT_LT(pastTheEnd.compressedSize, archive.bytes.size());
    for (const Case& c : cases)
        EXPECT_EQ(archive.reader.SizesPossible(*archive.reader.SeekFile(c.entry.name.c_str())), c.possible)
            << c.entry.name;
}

// --- hostile input ---------------------------------------------------------------------------------

namespace
{

// Opens the bytes and reads every entry of a plausible size; only runtime errors may come out, and an
// entry that reads without error must hold what the intact archive holds.
void ReadEverything(const Bytes& archive)
{
    MemoryStreamRef stream(archive.data(), static_cast<unsigned int>(archive.size()));
    std::unique_ptr<ZipReader> reader;
    try
    {
        reader = std::make_unique<ZipReader>(&stream);
    }
    catch (const std::runtime_error&)
    {
        return;
    }
    for (const ZipReader::ZipItem& item : reader->GetDirectory())
    {
        if (item.uncompressedSize > (1u << 20))
            continue;
        Bytes out(item.uncompressedSize);
        try
        {
            reader->Read(&item, out.data());
        }
        catch (const std::runtime_error&)
        {
            continue;
        }
        for (const auto& [name, content] : ExpectedEntries())
        {
            if (item.name == name && item.uncompressedSize == content.size())
            {
                EXPECT_EQ(out, content) << name;
            }
        }
    }
}

} // namespace

TEST(ZipReader, EveryTruncationFailsCleanly)
{
    for (const char* name : {"iz_deflated.zip", "py_descriptor.zip", "iz_stored.zip"})
    {
        const Bytes archive = ReadFixture(name);
        for (std::size_t length = 0; length < archive.size(); ++length)
        {
            // Without a comment the end record is the last 22 bytes: any cut breaks it.
            const Bytes truncated(archive.begin(), archive.begin() + length);
            EXPECT_NE(OpenError(truncated), "no error") << name << " cut to " << length;
        }
    }
}

TEST(ZipReader, EveryCorruptedByteFailsCleanlyOrReadsTrueContent)
{
    const Bytes archive = ReadFixture("py_deflated.zip");
    for (std::size_t at = 0; at < archive.size(); ++at)
    {
        for (unsigned char flip : {0x01, 0x80, 0xFF})
        {
            Bytes corrupt = archive;
            corrupt[at] ^= flip;
            ReadEverything(corrupt);
        }
    }
}
