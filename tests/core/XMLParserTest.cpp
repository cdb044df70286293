#include "core/XMLElementHandlerStack.h"
#include "core/XMLParser.h"
#include "core/XMLUtils.h"

#include "ChunkFeeder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace
{
// Records every event as text; runs of character data are joined, because one
// text node may arrive in as many runs as the chunks cut it into.
class RecordingHandler : public XMLElementHandlerStack
{
public:
    void StartElement(const char* name, const char** attributes) override
    {
        XMLElementHandlerStack::StartElement(name, attributes);
        std::string event = std::string("<") + name;
        for (const char** a = attributes; *a; a += 2)
            event += std::string(" ") + a[0] + "=" + a[1];
        const char* parent = ElementAt(1);
        events.push_back(event + " in " + (parent ? parent : "-"));
    }
    void EndElement(const char* name) override
    {
        events.push_back(std::string("</") + name);
        XMLElementHandlerStack::EndElement(name);
    }
    void DataHandler(const char* text, int length) override
    {
        if (events.empty() || events.back().compare(0, 1, "#") != 0)
            events.push_back("#");
        events.back().append(text, static_cast<std::size_t>(length));
    }

    std::vector<std::string> events;
};

class ThrowingHandler : public RecordingHandler
{
public:
    void StartElement(const char* name, const char** attributes) override
    {
        if (std::string(name) == "bad")
            throw std::runtime_error("bad element");
        RecordingHandler::StartElement(name, attributes);
    }
};

bool ParseWhole(XMLParser& parser, const std::string& text)
{
    return parser.Parse(text.data(), static_cast<int>(text.size()), true);
}

const std::string kDocument =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!-- catalogue -->\n"
    "<atlases version=\"2\">\n"
    "  <atlas id=\"1\" name=\"M&#252;ller &amp; Co\"><title>Mouse \xC3\xA9t\xC3\xA9 &lt;P56&gt;</title>\n"
    "    <note><![CDATA[a < b && c]]></note><empty/>\n"
    "  </atlas>\n"
    "  <?pi ignored?><atlas id='2'>\xE2\x9C\x93</atlas>\n"
    "</atlases>\n";
}

TEST(XMLParser, SameEventsForEveryChunking)
{
    RecordingHandler whole;
    XMLParser wholeParser(&whole);
    ASSERT_TRUE(ParseWhole(wholeParser, kDocument));
    const std::vector<std::string> expected = {"<atlases version=2 in -",
                                               "#\n  ",
                                               "<atlas id=1 name=M\xC3\xBCller & Co in atlases",
                                               "<title in atlas",
                                               "#Mouse \xC3\xA9t\xC3\xA9 <P56>",
                                               "</title",
                                               "#\n    ",
                                               "<note in atlas",
                                               "#a < b && c",
                                               "</note",
                                               "<empty in atlas",
                                               "</empty",
                                               "#\n  ",
                                               "</atlas",
                                               "#\n  ",
                                               "<atlas id=2 in atlases",
                                               "#\xE2\x9C\x93",
                                               "</atlas",
                                               "#\n",
                                               "</atlases"};
    EXPECT_EQ(expected, whole.events);

    for (const auto& split : ChunkSplits(kDocument.size()))
    {
        RecordingHandler chunked;
        XMLParser parser(&chunked);
        ASSERT_TRUE(FeedInChunks(kDocument, split, [&](const char* data, int length, bool isFinal) {
            return parser.Parse(data, length, isFinal);
        }));
        EXPECT_EQ(expected, chunked.events) << "in " << split.size() << " chunks";
    }
}

TEST(XMLParser, MalformedAndTruncatedDocumentsAreRefused)
{
    for (const std::string& text :
         std::vector<std::string>{"<a><b></a>", "<a>", "", "<a x=1/>", "<a></a><b/>", "<a>&undefined;</a>",
                                  std::string("<a>\0</a>", 8), "<a>\xFF\xFE</a>"})
    {
        RecordingHandler handler;
        XMLParser parser(&handler);
        EXPECT_FALSE(ParseWhole(parser, text)) << text;
    }
}

TEST(XMLParser, ANonFinalErrorStaysAnError)
{
    RecordingHandler handler;
    XMLParser parser(&handler);
    EXPECT_FALSE(parser.Parse("<a><b></c>", 10, false));
    EXPECT_FALSE(parser.Parse("</a>", 4, false));
    EXPECT_FALSE(parser.Parse("", 0, true));
    // The final call ended that document; the next one starts afresh.
    RecordingHandler next;
    parser.SetHandler(&next);
    EXPECT_TRUE(ParseWhole(parser, "<z/>"));
    EXPECT_EQ((std::vector<std::string>{"<z in -", "</z"}), next.events);
}

TEST(XMLParser, EntityExpansionBombIsRefused)
{
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE b [<!ENTITY e0 \"xxxxxxxxxxxxxxxx\">";
    for (int i = 1; i < 12; ++i)
        bomb += "<!ENTITY e" + std::to_string(i) + " \"" + [&] {
            std::string refs;
            for (int k = 0; k < 16; ++k)
                refs += "&e" + std::to_string(i - 1) + ";";
            return refs;
        }() + "\">";
    bomb += "]><b>&e11;</b>";
    RecordingHandler handler;
    XMLParser parser(&handler);
    EXPECT_FALSE(ParseWhole(parser, bomb));
}

TEST(XMLParser, DeepNestingNeedsNoRecursion)
{
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<d>";
    for (int i = 0; i < 20000; ++i)
        deep += "</d>";
    RecordingHandler handler;
    XMLParser parser(&handler);
    EXPECT_TRUE(ParseWhole(parser, deep));
    EXPECT_EQ(40000u, handler.events.size());
}

TEST(XMLParser, HandlerExceptionStopsTheParseAndReachesTheCaller)
{
    XMLParser parser(nullptr);
    const std::string text = "<a><b/><bad/><c/></a>";
    for (const bool isFinal : {false, true})
    {
        ThrowingHandler handler;
        parser.SetHandler(&handler);
        try
        {
            parser.Parse(text.data(), static_cast<int>(text.size()), isFinal);
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_STREQ("bad element", error.what());
        }
        const std::vector<std::string> expected = {"<a in -", "<b in a", "</b"};
        EXPECT_EQ(expected, handler.events);
        if (!isFinal)
        {
            // The rest of the failed document is not read as a new one.
            EXPECT_FALSE(ParseWhole(parser, "<c/>"));
            EXPECT_EQ(expected, handler.events);
        }
    }
    // The parser is ready for a new document after the failed one.
    RecordingHandler handler;
    parser.SetHandler(&handler);
    EXPECT_TRUE(ParseWhole(parser, "<ok/>"));
    EXPECT_EQ(2u, handler.events.size());
}

TEST(XMLParser, HandlerCanBeAbsentOrReplaced)
{
    XMLParser parser(nullptr);
    EXPECT_TRUE(parser.Parse("<a><b/>", 7, false));
    RecordingHandler handler;
    parser.SetHandler(&handler);
    EXPECT_TRUE(parser.Parse("<c/></a>", 8, true));
    const std::vector<std::string> expected = {"<c in -", "</c", "</a"};
    EXPECT_EQ(expected, handler.events);
}

TEST(XMLElementHandlerStack, ElementAtCountsOutwardsFromTheInnermost)
{
    RecordingHandler stack;
    const char* none[] = {nullptr};
    stack.StartElement("a", none);
    stack.StartElement("b", none);
    EXPECT_STREQ("b", stack.ElementAt(0));
    EXPECT_STREQ("a", stack.ElementAt(1));
    EXPECT_EQ(nullptr, stack.ElementAt(2));
    EXPECT_EQ(nullptr, stack.ElementAt(-1));
    const char* outer = stack.ElementAt(1);
    stack.EndElement("b");
    EXPECT_STREQ("a", stack.ElementAt(0));
    EXPECT_EQ(outer, stack.ElementAt(0));
    stack.EndElement("a");
    stack.EndElement("a");
    EXPECT_EQ(nullptr, stack.ElementAt(0));
}

TEST(XMLUtils, EscapesTheFiveMarkupCharacters)
{
    std::string out = "old";
    XMLUtils::EscapeString("a<b & \"c\" 'd' >\n\x01\xC3\xA9", out);
    EXPECT_EQ("a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt;\n\x01\xC3\xA9", out);
    std::string same = "<&>";
    XMLUtils::EscapeString(same, same);
    EXPECT_EQ("&lt;&amp;&gt;", same);
}
