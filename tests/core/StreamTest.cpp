#include "core/FileStream.h"
#include "core/MemoryStream.h"
#include "core/MemoryStreamRef.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "TestSupport.h"

namespace
{
// Expects statement to throw std::runtime_error with exactly message.
#define EXPECT_RUNTIME_ERROR(statement, message)                                                                       \
    try                                                                                                                \
    {                                                                                                                  \
        statement;                                                                                                     \
        ADD_FAILURE() << #statement " did not throw";                                                                  \
    }                                                                                                                  \
    catch (const std::runtime_error& error)                                                                            \
    {                                                                                                                  \
        EXPECT_STREQ(message, error.what());                                                                           \
    }

const std::ios_base::openmode kReadBinary = std::ios_base::in | std::ios_base::binary;
const std::ios_base::openmode kReadWriteBinary = std::ios_base::in | std::ios_base::out | std::ios_base::binary;

// The memory streams share their bounds rules; run them over both.
struct MemoryStreams : testing::TestWithParam<bool>
{
    std::unique_ptr<IOStream> Make(const std::vector<unsigned char>& bytes)
    {
        if (GetParam())
        {
            m_bytes = bytes;
            return std::make_unique<MemoryStreamRef>(m_bytes.data(), static_cast<unsigned int>(m_bytes.size()));
        }
        auto stream = std::make_unique<MemoryStream>(static_cast<unsigned int>(bytes.size()));
        if (!bytes.empty())
            std::memcpy(stream->GetBuffer(), bytes.data(), bytes.size());
        return stream;
    }
    std::vector<unsigned char> m_bytes;
};
}

TEST_P(MemoryStreams, EmptyStreamAllowsOnlyEmptyOperations)
{
    auto stream = Make({});
    unsigned char byte = 7;
    EXPECT_EQ(0u, stream->GetSize());
    stream->Seek(0);
    stream->Read(&byte, 0);
    stream->Skip(0);
    EXPECT_RUNTIME_ERROR(stream->Read(&byte, 1), "Unexpected end of stream while reading.");
    EXPECT_EQ(7, byte);
    EXPECT_RUNTIME_ERROR(stream->Skip(1), "Cannot seek past end of stream.");
}

TEST_P(MemoryStreams, ReadToTheEndThenRefuseWithoutMoving)
{
    auto stream = Make({1, 2, 3, 4, 5});
    unsigned char bytes[6] = {};
    stream->Read(bytes, 2);
    EXPECT_RUNTIME_ERROR(stream->Read(bytes, 4), "Unexpected end of stream while reading.");
    EXPECT_EQ(2u, stream->Tell());
    stream->Read(bytes + 2, 3);
    EXPECT_EQ(stream->GetSize(), stream->Tell());
    EXPECT_EQ(0, std::memcmp(bytes, "\1\2\3\4\5", 5));
    EXPECT_RUNTIME_ERROR(stream->Read(bytes, 1), "Unexpected end of stream while reading.");
    EXPECT_EQ(5u, stream->Tell());
}

TEST_P(MemoryStreams, SeekAndSkipStayWithinTheStream)
{
    auto stream = Make({1, 2, 3, 4});
    stream->Seek(4);
    EXPECT_EQ(4u, stream->Tell());
    EXPECT_RUNTIME_ERROR(stream->Seek(5), "Cannot seek past end of stream.");
    EXPECT_EQ(4u, stream->Tell());
    stream->Seek(1);
    stream->Skip(3);
    EXPECT_EQ(4u, stream->Tell());
    stream->Seek(1);
    EXPECT_RUNTIME_ERROR(stream->Skip(4), "Cannot seek past end of stream.");
    EXPECT_EQ(1u, stream->Tell());
}

TEST_P(MemoryStreams, HugeCountsCannotWrapTheBoundsCheck)
{
    auto stream = Make({1, 2, 3, 4});
    unsigned char byte = 0;
    stream->Seek(2);
    EXPECT_RUNTIME_ERROR(stream->Read(&byte, 0xFFFFFFFFu), "Unexpected end of stream while reading.");
    EXPECT_RUNTIME_ERROR(stream->Skip(0xFFFFFFFFu), "Cannot seek past end of stream.");
    EXPECT_RUNTIME_ERROR(stream->Skip(0xFFFFFFFEu), "Cannot seek past end of stream.");
    EXPECT_RUNTIME_ERROR(stream->Seek(0xFFFFFFFFu), "Cannot seek past end of stream.");
    EXPECT_EQ(2u, stream->Tell());
}

TEST_P(MemoryStreams, ReadStringOfHostileLengthLeavesTargetAlone)
{
    auto stream = Make({200, 'a', 'b'});
    std::string text = "kept";
    EXPECT_RUNTIME_ERROR(stream->ReadString(text), "Unexpected end of stream while reading.");
    EXPECT_EQ("kept", text);
}

INSTANTIATE_TEST_SUITE_P(OwnedAndBorrowed, MemoryStreams, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "MemoryStreamRef" : "MemoryStream";
                         });

TEST(MemoryStream, StartsZeroFilledAndNeverGrowsByWriting)
{
    MemoryStream stream(4);
    EXPECT_EQ(std::vector<unsigned char>(4, 0), std::vector<unsigned char>(stream.GetBuffer(), stream.GetBuffer() + 4));
    stream.Write("ab", 2);
    EXPECT_EQ(stream.GetBuffer() + 2, stream.GetCurrentPosition());
    EXPECT_RUNTIME_ERROR(stream.Write("cde", 3), "Unexpected end of stream while writing.");
    EXPECT_EQ(2u, stream.Tell());
    EXPECT_EQ(0, stream.GetBuffer()[2]);
    stream.Write("cd", 2);
    EXPECT_EQ(4u, stream.GetBufferSize());
    EXPECT_EQ(0, std::memcmp(stream.GetBuffer(), "abcd", 4));
}

TEST(MemoryStream, ResizeKeepsBytesAndClampsTheCursor)
{
    MemoryStream stream(4);
    stream.Write("abcd", 4);
    stream.Resize(2);
    EXPECT_EQ(2u, stream.Tell());
    EXPECT_EQ(2u, stream.GetSize());
    stream.Resize(6);
    EXPECT_EQ(2u, stream.Tell());
    EXPECT_EQ(0, std::memcmp(stream.GetBuffer(), "ab\0\0\0\0", 6));
    stream.Seek(1);
    stream.Resize(3);
    EXPECT_EQ(1u, stream.Tell());
}

TEST(MemoryStream, StringsRoundTripWithOneLengthByte)
{
    const std::string longest(255, 'x');
    MemoryStream stream(300);
    stream.WriteString(longest);
    EXPECT_EQ(256u, stream.Tell());
    stream.WriteString("");
    EXPECT_EQ(257u, stream.Tell());
    EXPECT_EQ(0, stream.GetBuffer()[256]);

    try
    {
        stream.WriteString(std::string(256, 'y'));
        ADD_FAILURE() << "a string of 256 bytes was written";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_EQ("Could not write string to stream. The string was too long: " + std::string(256, 'y'), error.what());
    }
    EXPECT_EQ(257u, stream.Tell());

    stream.Seek(0);
    std::string text;
    stream.ReadString(text);
    EXPECT_EQ(longest, text);
    // An empty string read into a used variable must not leave the old text there.
    stream.ReadString(text);
    EXPECT_EQ("", text);
}

TEST(MemoryStreamRef, RefusesToWriteAndNeedsItsBytes)
{
    const char bytes[] = "abc";
    MemoryStreamRef stream(bytes, 3);
    EXPECT_RUNTIME_ERROR(stream.Write("x", 1), "Cannot write into read-only memory buffer.");
    EXPECT_EQ(0u, stream.Tell());
    EXPECT_STREQ("abc", bytes);
    EXPECT_THROW(MemoryStreamRef(nullptr, 4), std::invalid_argument);
    MemoryStreamRef empty(nullptr, 0);
    EXPECT_EQ(0u, empty.GetSize());
}

TEST(FileStream, ReadsWritesAndTellsTheSharedPosition)
{
    TempDir dir;
    const std::string path = dir.File("data.bin");
    {
        FileStream out(path.c_str(), std::ios_base::out | std::ios_base::binary | std::ios_base::trunc);
        out.Write("0123456789", 10);
        out.WriteString("name");
        EXPECT_EQ(15u, out.Tell());
    }
    FileStream in(path.c_str(), kReadBinary);
    EXPECT_EQ(15u, in.GetSize());
    in.Seek(3);
    in.Skip(2);
    EXPECT_EQ(15u, in.GetSize());
    EXPECT_EQ(5u, in.Tell());
    char bytes[5];
    in.Read(bytes, 5);
    EXPECT_EQ(0, std::memcmp(bytes, "56789", 5));
    std::string name;
    in.ReadString(name);
    EXPECT_EQ("name", name);
}

TEST(FileStream, FailuresStickUntilReopened)
{
    TempDir dir;
    const std::string path = dir.File("short.bin");
    WriteWholeFile(path, "abc");
    FileStream stream(path.c_str(), kReadBinary);
    char bytes[4];
    EXPECT_RUNTIME_ERROR(stream.Read(bytes, 4), "Error while reading file.");
    EXPECT_RUNTIME_ERROR(stream.Read(bytes, 1), "Error while reading file.");
    EXPECT_RUNTIME_ERROR(stream.Seek(0), "File seek failed.");
    EXPECT_RUNTIME_ERROR(stream.GetSize(), "File seek failed.");
    EXPECT_RUNTIME_ERROR(stream.Tell(), "File seek failed.");
    stream.Close();
    stream.Open(path.c_str(), kReadBinary);
    stream.Read(bytes, 3);
    EXPECT_EQ(0, std::memcmp(bytes, "abc", 3));
}

TEST(FileStream, OpenFailuresThrowFromTheConstructor)
{
    TempDir dir;
    EXPECT_RUNTIME_ERROR(FileStream(dir.File("missing").c_str(), kReadBinary), "File could not be opened.");
    EXPECT_RUNTIME_ERROR(FileStream(nullptr, kReadBinary), "File could not be opened.");
    FileStream unopened;
    char byte;
    EXPECT_RUNTIME_ERROR(unopened.Read(&byte, 1), "Error while reading file.");
    EXPECT_RUNTIME_ERROR(unopened.Write(&byte, 1), "File could not be written.");
}

TEST(FileStream, WritingToAReadOnlyStreamFails)
{
    TempDir dir;
    const std::string path = dir.File("read-only.bin");
    WriteWholeFile(path, "abc");
    FileStream stream(path.c_str(), kReadBinary);
    EXPECT_RUNTIME_ERROR(stream.Write("x", 1), "File could not be written.");
}

TEST(FileStream, SizesBeyondThirtyTwoBitsAreRefused)
{
    TempDir dir;
    const std::string path = dir.File("sparse.bin");
    WriteWholeFile(path, "");
    // Sparse files: no disk space is used.
    ASSERT_EQ(0, truncate(path.c_str(), 0xFFFFFFFFll));
    {
        FileStream stream(path.c_str(), kReadWriteBinary);
        EXPECT_EQ(0xFFFFFFFFu, stream.GetSize());
        stream.Seek(0xFFFFFFFEu);
        char byte = 1;
        stream.Read(&byte, 1);
        EXPECT_EQ(0, byte);
        EXPECT_EQ(0xFFFFFFFFu, stream.Tell());
    }
    ASSERT_EQ(0, truncate(path.c_str(), 0x100000000ll));
    FileStream stream(path.c_str(), kReadWriteBinary);
    stream.Seek(7);
    EXPECT_RUNTIME_ERROR(stream.GetSize(), "File seek failed.");
    EXPECT_EQ(7u, stream.Tell());
}

TEST(FileUtils, OpenFileFollowsFopen)
{
    TempDir dir;
    const std::string path = dir.File("text.txt");
    WriteWholeFile(path, "line\n");
    FILE* file = OpenFile(path.c_str(), "r");
    ASSERT_NE(nullptr, file);
    std::fclose(file);
    EXPECT_EQ(nullptr, OpenFile(dir.File("missing").c_str(), "r"));
    EXPECT_EQ(nullptr, OpenFile(nullptr, "r"));

    std::fstream stream;
    OpenStream(stream, path.c_str(), kReadBinary);
    std::string line;
    std::getline(stream, line);
    EXPECT_EQ("line", line);
}
