#include "expression/UrlProtocolParser.h"

#include "ExpressionTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

std::string ParseError(const std::string& url)
{
    try
    {
        UrlProtocolParser parser(url);
    }
    catch (const std::invalid_argument& error)
    {
        return error.what();
    }
    return "no error";
}

TEST(UrlProtocolParserTest, MalformedUrlsAreRefusedWithTheirText)
{
    const struct
    {
        std::string url, error;
    } cases[] = {
        {"corvx://h/a", "Invalid URL: corvx://h/a"},
        {"corv:/", "Invalid URL: corv:/"},
        {"corv", "Invalid URL: corv"},
        {"", "Invalid URL: "},
        {"corv://h/a?exprRange=1,2,3", "1,2,3"},
        {"corv://h/a?exprRange=1", "1"},
        {"corv://h/a?exprRange=1,x", "x"},
        {"corv://h/a?exprRange=,1", ""},
        {"corv://h/a?exprRange=1.5e,2", "1.5e"},
        {"corv://h/a?exprRange=0,200000", "200000 out of range"},
        {"corv://h/a?exprRange=-100001,0", "-100001 out of range"},
        {"corv://h/a?exprRange=nan,1", "nan"},
        {"corv://h/a?exprRange=1,inf", "inf"},
        {"corv://h/a?exprRange=1,1e999", "1e999"},
        {"corv://h/a?atlas=abc", "abc"},
        {"corv://h/a?well=4294967296", "4294967296"},
        {"corv://h/a?atlas=310&structure=", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.error, ParseError(c.url)) << c.url;
}

TEST(UrlProtocolParserTest, DisplaySettingsAreRead)
{
    const UrlProtocolParser parser("corv://h/demo/data?atlas=310&colormap=Jet&exprRange=-100000,1.5e2");
    EXPECT_EQ(310u, parser.GetAtlasId());
    EXPECT_EQ("Jet", parser.GetColormap());
    EXPECT_FLOAT_EQ(-100000.0f, parser.GetExpressionRange()[0]);
    EXPECT_FLOAT_EQ(150.0f, parser.GetExpressionRange()[1]);

    const UrlProtocolParser bare("corv://h/demo/data");
    EXPECT_EQ(0u, bare.GetAtlasId());
    EXPECT_EQ("", bare.GetColormap());
    EXPECT_EQ(0.0f, bare.GetExpressionRange()[0]);
    EXPECT_EQ(0.0f, bare.GetExpressionRange()[1]);
}

TEST(UrlProtocolParserTest, RequestsFollowTheUrl)
{
    using Calls = std::vector<std::string>;
    const struct
    {
        std::string url;
        Calls calls;
    } cases[] = {
        {"corv://h/demo/data?atlas=310&datasets=100,200(255/0/0)",
         {"expression http://h/demo/data/100?atlas=310 null",
          "expression http://h/demo/data/200?atlas=310 1.0000/0.0000/0.0000"}},
        {"corv://h/d/?datasets=100", {"expression http://h/d/100 null"}},
        {"corv://h/d?datasets=7(300/-5/128)", {"expression http://h/d/7 1.0000/0.0000/0.5020"}},
        {"corv://h/d?datasets=1&flag&x=b=c&datasets=2,3",
         {"expression http://h/d/2?flag=&x=b null", "expression http://h/d/3?flag=&x=b null"}},
        {"corv://h/a%1%b?datasets=5&atlas=1", {"expression http://h/a%1%b/5?atlas=1 null"}},
        {"corv://h/demo/data/5?atlas=310", {"expression http://h/demo/data/5?atlas=310 null"}},
        {"corv://h/a?atlas=310?x=1&datasets=9", {"expression http://h/a?atlas=310?x=1&datasets=9 null"}},
        {"corv://h/x?atlas=351", {}},
        {"corv://h/x?atlas=351&probes=", {}},
        {"corv://h/x?atlas=351&probes=1", {"microarray http://h/x?atlas=351&probes=1 0 0 0"}},
        {"corv://h/x?atlas=351&probes=1,2&selectedDonor=2&well=3&structure=4",
         {"microarray http://h/x?atlas=351&probes=1,2&selectedDonor=2&well=3&structure=4 2 3 4"}},
    };
    for (const auto& c : cases)
    {
        RecordingAlerts alerts;
        RecordingController controller;
        UrlProtocolParser(c.url).RequestData(&controller);
        EXPECT_EQ(c.calls, controller.calls) << c.url;
        EXPECT_TRUE(alerts.confirmations.empty()) << c.url;
    }
}

TEST(UrlProtocolParserTest, BadColoursStopAtTheirEntry)
{
    const struct
    {
        std::string datasets, error;
        std::size_t requested;
    } cases[] = {
        {"1,2(1/2/3", "2(1/2/3", 1},  {"1(1/2)", "1/2", 0},         {"1,2,3(1/x/3)", "1/x/3", 2},
        {"1(nan/0/0)", "nan/0/0", 0}, {"1(0/0/inf)", "0/0/inf", 0}, {"1(1/2/3/4)", "1/2/3/4", 0},
    };
    for (const auto& c : cases)
    {
        RecordingController controller;
        UrlProtocolParser parser("corv://h/d?datasets=" + c.datasets);
        std::string error = "no error";
        try
        {
            parser.RequestData(&controller);
        }
        catch (const std::invalid_argument& thrown)
        {
            error = thrown.what();
        }
        EXPECT_EQ(c.error, error) << c.datasets;
        EXPECT_EQ(c.requested, controller.calls.size()) << c.datasets;
    }
}

TEST(UrlProtocolParserTest, LargeRequestsAreConfirmed)
{
    const std::string single = "Corvane has received a request to download data. 9 data sets are currently "
                               "queued for download. Continue?";
    const std::string several = "Corvane has received a request to download 3 data sets. 7 data sets are "
                                "currently queued for download. Continue?";
    const struct
    {
        std::string url;
        int queued;
        bool answer;
        std::vector<std::string> confirmations;
        std::size_t requested;
    } cases[] = {
        {"corv://h/d?atlas=310", 8, false, {}, 1},
        {"corv://h/d?atlas=310", 9, false, {single}, 0},
        {"corv://h/d?atlas=310", 9, true, {single}, 1},
        {"corv://h/x?atlas=351&probes=1", 9, false, {single}, 0},
        {"corv://h/d?datasets=1,2", 7, false, {}, 2},
        {"corv://h/d?datasets=1,2,3", 7, false, {several}, 0},
        {"corv://h/d?datasets=1,2,3", 7, true, {several}, 3},
        {"corv://h/x?atlas=351", 20, true, {}, 0},
    };
    for (const auto& c : cases)
    {
        RecordingAlerts alerts;
        alerts.answer = c.answer;
        RecordingController controller;
        controller.queued = c.queued;
        UrlProtocolParser(c.url).RequestData(&controller);
        EXPECT_EQ(c.confirmations, alerts.confirmations) << c.url << " " << c.queued;
        EXPECT_EQ(c.requested, controller.calls.size()) << c.url << " " << c.queued;
    }
}

} // namespace
