#include "core/JSONElementHandler.h"
#include "core/JSONParser.h"
#include "core/UserCancelledOperationException.h"

#include "ChunkFeeder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace
{
// Records every event with the keys the base keeps at that moment.
class RecordingHandler : public JSONElementHandler
{
public:
    bool StartMap() override
    {
        JSONElementHandler::StartMap();
        return Record("{ under " + GetEnclosingKey());
    }
    bool EndMap() override
    {
        JSONElementHandler::EndMap();
        return Record("}");
    }
    bool StartArray() override
    {
        JSONElementHandler::StartArray();
        return Record("[ under " + GetEnclosingKey());
    }
    bool EndArray() override
    {
        JSONElementHandler::EndArray();
        return Record("]");
    }
    bool MapKey(const char* text, unsigned int length) override
    {
        JSONElementHandler::MapKey(text, length);
        return Record("key " + GetCurrentKey());
    }
    bool Value(const char* text, unsigned int length) override
    {
        if (!text)
            return Record("null pointer");
        return Record(GetCurrentKey() + "=" + std::string(text, length));
    }

    std::vector<std::string> events;
    std::string stopAt;
    std::string throwAt;

private:
    bool Record(const std::string& event)
    {
        if (event == throwAt)
            throw std::runtime_error("handler failed at " + event);
        events.push_back(event);
        return event != stopAt;
    }
};

bool ParseWhole(JSONParser& parser, const std::string& text)
{
    return parser.Parse(text.data(), static_cast<int>(text.size()), true);
}

std::string ErrorOf(JSONParser& parser, const std::string& text, bool isFinal = true)
{
    try
    {
        parser.Parse(text.data(), static_cast<int>(text.size()), isFinal);
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return "no error";
}

const std::string kDocument =
    "// samples of one probe\n"
    "{ \"samples\": [ {\"well\": 1201, \"mri\": [-12, 3.5e2, 0.25]}, {\"well\": 88, \"donor\": null} ],\n"
    "  /* flags */ \"ok\": true, \"failed\": false,\n"
    "  \"name\": \"caf\\u00e9 \\\"quoted\\\" \xE2\x9C\x93\", \"empty\": {}, \"\": []\n"
    "}";
}

TEST(JSONParser, SameEventsForEveryChunking)
{
    RecordingHandler whole;
    JSONParser wholeParser(&whole);
    ASSERT_TRUE(ParseWhole(wholeParser, kDocument));
    const std::vector<std::string> expected = {"{ under ",
                                               "key samples",
                                               "[ under samples",
                                               "{ under samples",
                                               "key well",
                                               "well=1201",
                                               "key mri",
                                               "[ under mri",
                                               "mri=-12",
                                               "mri=3.5e2",
                                               "mri=0.25",
                                               "]",
                                               "}",
                                               "{ under samples",
                                               "key well",
                                               "well=88",
                                               "key donor",
                                               "donor=",
                                               "}",
                                               "]",
                                               "key ok",
                                               "ok=true",
                                               "key failed",
                                               "failed=false",
                                               "key name",
                                               "name=caf\xC3\xA9 \"quoted\" \xE2\x9C\x93",
                                               "key empty",
                                               "{ under empty",
                                               "}",
                                               "key ",
                                               "[ under ",
                                               "]",
                                               "}"};
    EXPECT_EQ(expected, whole.events);

    for (const auto& split : ChunkSplits(kDocument.size()))
    {
        RecordingHandler chunked;
        JSONParser parser(&chunked);
        ASSERT_TRUE(FeedInChunks(kDocument, split, [&](const char* data, int length, bool isFinal) {
            return parser.Parse(data, length, isFinal);
        }));
        EXPECT_EQ(expected, chunked.events) << "in " << split.size() << " chunks";
    }
}

TEST(JSONParser, KeysFollowTheNesting)
{
    RecordingHandler handler;
    JSONParser parser(&handler);
    ASSERT_TRUE(ParseWhole(parser, R"({"list": [{"x": 1}, 2], "after": 3})"));
    const std::vector<std::string> expected = {
        "{ under ", "key list", "[ under list", "{ under list", "key x", "x=1", "}",
        "list=2",   "]",        "key after",    "after=3",      "}"};
    EXPECT_EQ(expected, handler.events);
    EXPECT_TRUE(handler.GetKeyStack().empty());
}

TEST(JSONElementHandler, EndOnAnEmptyStackChangesNothing)
{
    JSONElementHandler handler;
    handler.MapKey("k", 1);
    EXPECT_TRUE(handler.EndMap());
    EXPECT_TRUE(handler.EndArray());
    EXPECT_EQ("k", handler.GetCurrentKey());
    handler.StartMap();
    EXPECT_EQ(1u, handler.GetKeyStack().size());
    handler.ClearKeys();
    EXPECT_TRUE(handler.GetKeyStack().empty());
    EXPECT_EQ("", handler.GetCurrentKey());
}

TEST(JSONParser, NullArrivesAsAnEmptyText)
{
    RecordingHandler handler;
    JSONParser parser(&handler);
    ASSERT_TRUE(ParseWhole(parser, "[null]"));
    EXPECT_EQ((std::vector<std::string>{"[ under ", "=", "]"}), handler.events);
}

TEST(JSONParser, InvalidUtf8IsPassedThrough)
{
    RecordingHandler handler;
    JSONParser parser(&handler);
    ASSERT_TRUE(ParseWhole(parser, "{\"k\": \"a\xFF\xC3(\"}"));
    EXPECT_EQ("k=a\xFF\xC3(", handler.events[2]);
}

TEST(JSONParser, TruncatedDocumentFailsOnlyWhenFinal)
{
    RecordingHandler handler;
    JSONParser parser(&handler);
    EXPECT_TRUE(parser.Parse("{\"a\": [1, 2", 11, false));
    const std::string error = ErrorOf(parser, "", true);
    EXPECT_EQ(0u, error.find("Error while reading data: ")) << error;
    EXPECT_GT(error.size(), std::string("Error while reading data: ").size());
    EXPECT_EQ(std::string::npos, error.find('\n'));

    // The failed document is over; the parser reads the next one.
    RecordingHandler next;
    parser.SetHandler(&next);
    EXPECT_TRUE(ParseWhole(parser, "[]"));
    EXPECT_EQ(2u, next.events.size());
}

TEST(JSONParser, FailedDocumentStaysFailedUntilItsFinalChunk)
{
    RecordingHandler handler;
    JSONParser parser(&handler);
    EXPECT_EQ(0u, ErrorOf(parser, "{\"a\": }", false).find("Error while reading data: "));
    // A complete document in the later chunks must not pass as a success.
    EXPECT_EQ(0u, ErrorOf(parser, "{\"b\": 2}", false).find("Error while reading data: "));
    EXPECT_EQ(0u, ErrorOf(parser, "", true).find("Error while reading data: "));
    EXPECT_EQ((std::vector<std::string>{"{ under ", "key a"}), handler.events);

    EXPECT_TRUE(ParseWhole(parser, "[]"));
}

TEST(JSONParser, MalformedAndHostileDocumentsThrow)
{
    for (const std::string& text :
         std::vector<std::string>{"", "{", "[1,]", "{\"a\" 1}", "[1] [2]", "[1] x", "nul", "[\"\\u12\"]", "{\"a\":1}}",
                                  "[01]", "/* open comment", std::string("[1\0]", 4), "\"abc"})
    {
        RecordingHandler handler;
        JSONParser parser(&handler);
        EXPECT_EQ(0u, ErrorOf(parser, text).find("Error while reading data: ")) << text;
    }
}

TEST(JSONParser, DeepNestingNeedsNoRecursion)
{
    const std::string deep = std::string(50000, '[') + std::string(50000, ']');
    RecordingHandler handler;
    JSONParser parser(&handler);
    EXPECT_TRUE(ParseWhole(parser, deep));
    EXPECT_EQ(100000u, handler.events.size());
}

TEST(JSONParser, HandlerAnsweringFalseStopsTheParse)
{
    RecordingHandler handler;
    handler.stopAt = "a=1";
    JSONParser parser(&handler);
    EXPECT_FALSE(parser.Parse("{\"a\": 1, \"b\": 2", 15, false));
    EXPECT_EQ("a=1", handler.events.back());
    // The stopped document stays in error: the next chunk raises it.
    EXPECT_EQ(0u, ErrorOf(parser, "}", false).find("Error while reading data: "));
    EXPECT_EQ(0u, ErrorOf(parser, "", true).find("Error while reading data: "));

    RecordingHandler last;
    last.stopAt = "a=1";
    parser.SetHandler(&last);
    EXPECT_EQ(0u, ErrorOf(parser, "{\"a\": 1}").find("Error while reading data: "));
    ASSERT_FALSE(last.events.empty());
    EXPECT_EQ("a=1", last.events.back());
}

TEST(JSONParser, HandlerExceptionStopsTheParseAndReachesTheCaller)
{
    for (const bool isFinal : {false, true})
    {
        RecordingHandler handler;
        handler.throwAt = "key b";
        JSONParser parser(&handler);
        EXPECT_EQ("handler failed at key b", ErrorOf(parser, "{\"a\": 1, \"b\": [2], \"c\": 3}", isFinal));
        EXPECT_EQ((std::vector<std::string>{"{ under ", "key a", "a=1"}), handler.events);
        // Before its final chunk the failed document is not over: what follows is not a new one.
        if (!isFinal)
        {
            EXPECT_EQ(0u, ErrorOf(parser, "{}").find("Error while reading data: "));
        }

        RecordingHandler next;
        parser.SetHandler(&next);
        EXPECT_TRUE(ParseWhole(parser, "{}"));
        EXPECT_EQ(2u, next.events.size());
    }
}

TEST(JSONParser, ExceptionOfAnyTypeFromTheCompletionReachesTheCaller)
{
    // A bare number is only known to be complete when the document ends.
    class CancellingHandler : public JSONElementHandler
    {
    public:
        bool Value(const char*, unsigned int) override { throw UserCancelledOperationException(); }
    } handler;
    JSONParser parser(&handler);
    EXPECT_TRUE(parser.Parse("42", 2, false));
    EXPECT_THROW(parser.Parse("", 0, true), UserCancelledOperationException);
}

TEST(JSONParser, NeedsAHandler)
{
    try
    {
        JSONParser parser(nullptr);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::invalid_argument& error)
    {
        EXPECT_STREQ("JSON parse handler expected.", error.what());
    }
    RecordingHandler handler;
    JSONParser parser(&handler);
    EXPECT_THROW(parser.SetHandler(nullptr), std::invalid_argument);
    EXPECT_THROW(parser.Parse("[]", -1, true), std::invalid_argument);
}
