#include "core/ByteOrder.h"
#include "core/StringUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> Split(const std::string& line, char delimiter = ',')
{
    std::vector<std::string> fields = {"stale"};
    StringUtils::SplitLine(line, fields, delimiter);
    return fields;
}

void ExpectRejected(const std::string& text)
{
    try
    {
        StringUtils::ParseUint(text);
        ADD_FAILURE() << "accepted \"" << text << "\"";
    }
    catch (const std::invalid_argument& error)
    {
        EXPECT_STREQ(text.c_str(), error.what());
    }
}
}

TEST(StringUtils, SplitLineHonoursQuotes)
{
    using Fields = std::vector<std::string>;
    EXPECT_EQ((Fields{"1", "Ammon's horn, CA1", "CA1"}), Split("1,\"Ammon's horn, CA1\",CA1"));
    EXPECT_EQ((Fields{""}), Split(""));
    EXPECT_EQ((Fields{"a", "b", ""}), Split("a,b,"));
    EXPECT_EQ((Fields{"", "", ""}), Split(",,"));
    EXPECT_EQ((Fields{"say hi", "x\r"}), Split("\"say \"\"hi\"\"\",x\r"));
    EXPECT_EQ((Fields{"a,b", "c"}), Split("a,b\tc", '\t'));
    EXPECT_EQ((Fields{"open, never closed"}), Split("\"open, never closed"));
}

TEST(StringUtils, ParseUintTakesWholeDecimalNumbers)
{
    EXPECT_EQ(42u, StringUtils::ParseUint("42"));
    EXPECT_EQ(7u, StringUtils::ParseUint(" \t+7"));
    EXPECT_EQ(0u, StringUtils::ParseUint("-0"));
    EXPECT_EQ(4294967295u, StringUtils::ParseUint("4294967295"));
    EXPECT_EQ(12u, StringUtils::ParseUint("0000000000000000000012"));
    for (const std::string text : {"", "4x", "4 ", " ", "+", "-", "0x10", "1e3", "1.5", "1,000", "4294967296",
                                   "18446744073709551615", "99999999999999999999999", "-1"})
        ExpectRejected(text);
    ExpectRejected(std::string("4\0", 2));
}

TEST(StringUtils, ToLowerCaseTouchesOnlyAsciiLetters)
{
    EXPECT_EQ("ammon's horn @[`{ 0-9", StringUtils::ToLowerCase("AmMON's HORN @[`{ 0-9"));
    const std::string high = "\xC3\x89T\xC3\x89 \x80\xFF";
    EXPECT_EQ("\xC3\x89t\xC3\x89 \x80\xFF", StringUtils::ToLowerCase(high));
}

// Values stored big-endian come out as the numbers they stand for; bytes are compared, not host values, so
// the swap is checked on every host.
TEST(ByteOrder, SwapReversesTheBytesOfEveryValue)
{
    const unsigned char bigShorts[] = {0x01, 0x02, 0xFF, 0xFE, 0x80, 0x00};
    const unsigned char swappedShorts[] = {0x02, 0x01, 0xFE, 0xFF, 0x00, 0x80};
    short shorts[3];
    std::memcpy(shorts, bigShorts, sizeof shorts);
    SwapBytes(shorts, 3);
    EXPECT_EQ(0, std::memcmp(shorts, swappedShorts, sizeof shorts));

    const unsigned char bigInts[] = {0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFB};
    const unsigned char swappedInts[] = {0x04, 0x03, 0x02, 0x01, 0xFB, 0xFF, 0xFF, 0xFF};
    int ints[2];
    std::memcpy(ints, bigInts, sizeof ints);
    SwapBytes(ints, 2);
    EXPECT_EQ(0, std::memcmp(ints, swappedInts, sizeof ints));
    SwapBytes(static_cast<int*>(nullptr), 2);
}

// The files are little-endian: on such a host the readers' byte order calls leave the values alone.
TEST(ByteOrder, LittleEndianHostLeavesFileValuesAlone)
{
    const unsigned char file[] = {0x04, 0x03, 0x02, 0x01};
    int value = 0;
    std::memcpy(&value, file, sizeof value);
    if (value != 0x01020304)
        GTEST_SKIP() << "big-endian host";
    short shorts[2] = {0x0102, -2};
    ReverseLongWordRange(&value, 1);
    SwapByteRange(shorts, 2);
    EXPECT_EQ(0x01020304, value);
    EXPECT_EQ(0x0102, shorts[0]);
    EXPECT_EQ(-2, shorts[1]);
}
