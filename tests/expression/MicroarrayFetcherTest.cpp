// The microarray download fed through the scripted network in random chunk sizes: samples and probes as
// the parser collects them, and every way a document or a transfer can fail, each reported once.

#include "atlas/Atlas.h"
#include "expression/GeneFetchCompletionListener.h"
#include "expression/MicroarrayFetcher.h"

#include "MicroarrayTestSupport.h"
#include "SearchTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Strings = std::vector<std::string>;

// A sample element of the document; donor 0 leaves the "donor" map out.
std::string Sample(unsigned int well, const std::string& mri, unsigned int structure, unsigned int donor)
{
    std::string text = "{\"sample\":{\"well\":" + std::to_string(well) + ",\"mri\":[" + mri +
                       "]},\"structure\":{\"id\":" + std::to_string(structure) + "}";
    if (donor != 0)
        text += ",\"donor\":{\"id\":" + std::to_string(donor) + "}";
    return text + "}";
}

std::string Probe(unsigned int id, const std::string& levels)
{
    return "{\"id\":" + std::to_string(id) + ",\"name\":\"P" + std::to_string(id) +
           "\",\"gene-id\":7,\"gene-symbol\":\"Sym\",\"gene-name\":\"A "
           "gene\",\"entrez-id\":9,\"other\":[1,{\"id\":2}]," +
           "\"expression_level\":[" + levels + "]}";
}

std::string Document(const Strings& samples, const Strings& probes)
{
    std::string text = "{\"success\":true,\"samples\":[";
    for (std::size_t i = 0; i < samples.size(); ++i)
        text += (i ? "," : "") + samples[i];
    text += "],\"probes\":[";
    for (std::size_t i = 0; i < probes.size(); ++i)
        text += (i ? "," : "") + probes[i];
    return text + "]}";
}

// The five samples of two donors: donor 1 has wells 11, 12, 13 and donor 2 wells 21, 22, interleaved.
Strings TwoDonors()
{
    return {Sample(11, "1,2,3", 2022, 1), Sample(21, "4,5,6", 2022, 2), Sample(12, "7,8,9", 2077, 1),
            Sample(13, "10,11,12,1", 2033, 1), Sample(22, "13,14,15", 2033, 2)};
}

class Listener : public GeneFetchCompletionListener
{
public:
    void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long size) override
    {
        log.push_back(data == nullptr && size == 0 ? "loaded" : "loaded with bytes");
        End(fetcher);
    }
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override
    {
        log.push_back("error " + message);
        End(fetcher);
    }
    void GeneDataReceived(GeneFetcher* fetcher, float) override
    {
        if (deleteOnProgress && owned.get() == fetcher)
            owned.reset();
    }
    void End(GeneFetcher* fetcher)
    {
        if (deleteOnReport && owned.get() == fetcher)
            owned.reset();
    }

    Strings log;
    std::unique_ptr<MicroarrayFetcher> owned;
    bool deleteOnReport = false;
    bool deleteOnProgress = false;
};

std::string Values(const std::vector<float>& values)
{
    std::string text;
    char number[32];
    for (const float value : values)
    {
        std::snprintf(number, sizeof number, "%g", value);
        text += (text.empty() ? "" : " ") + std::string(number);
    }
    return text;
}

std::string Samples(const PointSet& samples)
{
    std::string text;
    char point[96];
    for (const PointSet::Point3d& p : samples.points)
    {
        std::snprintf(point, sizeof point, "%u@%d(%g,%g,%g)s%u", p.id, p.index, p.x, p.y, p.z, p.structureId);
        text += (text.empty() ? "" : " ") + std::string(point);
    }
    return text;
}

class MicroarrayFetcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        atlas = std::make_shared<Atlas>(Microarray351Folder("micro"));
    }

    MicroarrayFetcher& Start(unsigned int donor = 1, unsigned int well = 12, unsigned int structure = 0)
    {
        listener.owned = std::make_unique<MicroarrayFetcher>("http://h/demo/microarray?probes=1", atlas.get(), donor,
                                                             well, structure, &listener);
        return *listener.owned;
    }

    ScriptedNetwork net;
    std::shared_ptr<Atlas> atlas;
    Listener listener;
};

TEST_F(MicroarrayFetcherTest, DocumentsReadInRandomChunks)
{
    struct Case
    {
        const char* name;
        std::string document;
        Strings log;
        // After a complete document: per donor "id: samples / values"; the probe ids.
        Strings donors;
        std::string probes;
    };
    const std::string donor1 = "1: 11@0(1,2,3)s2022 12@1(7,8,9)s2077 13@2(10,11,12)s2033";
    const std::string donor2 = "2: 21@0(4,5,6)s2022 22@1(13,14,15)s2033";
    const std::string loaded = "loaded";
    const std::string unexpected = "error The retrieved microarray data were in an unexpected format.";
    const Case cases[] = {
        {"two donors of three and two samples",
         Document(TwoDonors(), {Probe(1001, "1,2,3,4,5"), Probe(1004, "6,7,8,9,10")}),
         {loaded},
         {donor1 + " / 1 3 4 6 8 9", donor2 + " / 2 5 7 10"},
         "1001 1004"},
        {"a sample without a donor takes no value",
         Document({Sample(11, "1,2,3", 2022, 1), Sample(99, "0,0,0", 2022, 0), Sample(21, "4,5,6", 2022, 2)},
                  {Probe(1001, "1.5,2.5")}),
         {loaded},
         {"1: 11@0(1,2,3)s2022 / 1.5", "2: 21@0(4,5,6)s2022 / 2.5"},
         "1001"},
        {"a probe with id 0 takes its values with it",
         Document(TwoDonors(), {Probe(0, "9,9,9,9,9"), Probe(1004, "6,7,8,9,10")}),
         {loaded},
         {donor1 + " / 6 8 9", donor2 + " / 7 10"},
         "1004"},
        {"a sample with two coordinates has no position",
         Document({Sample(11, "1,2", 2022, 1)}, {Probe(1001, "3")}),
         {loaded},
         {"1: 11@0(-1,-1,-1)s2022 / 3", "2:  / "},
         "1001"},
        {"no samples and no probes", Document({}, {}), {loaded}, {"1:  / ", "2:  / "}, ""},
        {"an array longer than the samples", Document(TwoDonors(), {Probe(1001, "1,2,3,4,5,6")}), {unexpected}, {}, ""},
        {"an array shorter than the samples",
         Document(TwoDonors(), {Probe(1001, "1,2,3,4"), Probe(1004, "1,2,3,4,5")}),
         {unexpected},
         {},
         ""},
        {"a probe without levels", Document(TwoDonors(), {"{\"id\":5}"}), {unexpected}, {}, ""},
        {"a fifth MRI coordinate",
         Document({Sample(11, "1,2,3,4,5", 2022, 1)}, {}),
         {"error Invalid MRI coordinates received."},
         {},
         ""},
        {"a well that is no number", Document({"{\"sample\":{\"well\":\"w1\"}}"}, {}), {unexpected}, {}, ""},
        {"a probe id that is no number", Document({}, {"{\"id\":-3}"}), {unexpected}, {}, ""},
        {"samples after probes",
         "{\"samples\":[" + Sample(11, "1,2,3", 2022, 1) + "],\"probes\":[" + Probe(1001, "1") + "],\"samples\":[" +
             Sample(12, "1,2,3", 2022, 1) + "]}",
         {unexpected},
         {},
         ""},
        {"malformed JSON", "{\"samples\":[{\"sample\":{\"well\":1,]}", {unexpected}, {}, ""},
        {"a document cut short",
         Document(TwoDonors(), {Probe(1001, "1,2,3,4,5")}).substr(0, 120),
         {unexpected},
         {},
         ""},
    };
    for (const Case& c : cases)
    {
        for (unsigned int seed = 1; seed <= 3; ++seed)
        {
            SCOPED_TRACE(std::string(c.name) + ", chunks of seed " + std::to_string(seed));
            listener.log.clear();
            MicroarrayFetcher& fetcher = Start();
            Answer(net, c.document, RandomChunks(seed, c.document.size()), "application/json");
            EXPECT_EQ(c.log, listener.log);
            EXPECT_FALSE(fetcher.IsActive());
            // A document that failed early is not downloaded to its end.
            EXPECT_FALSE(net.transport.IsOpen());
            if (c.log != Strings{loaded})
                continue;
            Strings donors;
            for (const unsigned int donor : {1u, 2u})
            {
                const MicroarrayFetcher::DonorExpression& expression = fetcher.GetDonors().at(donor);
                donors.push_back(std::to_string(donor) + ": " + Samples(*expression.samples) + " / " +
                                 Values(expression.values));
            }
            EXPECT_EQ(c.donors, donors);
            std::string probes;
            for (const MicroarrayFetcher::Probe& probe : fetcher.GetProbes())
                probes += (probes.empty() ? "" : " ") + std::to_string(probe.id);
            EXPECT_EQ(c.probes, probes);
        }
    }
}

TEST_F(MicroarrayFetcherTest, ProbeRecordsAndTheRequest)
{
    MicroarrayFetcher& fetcher = Start(2, 21, 2022);
    EXPECT_TRUE(fetcher.IsActive());
    EXPECT_EQ("http://h/demo/microarray?probes=1", net.LastUrl());
    Answer(net, Document(TwoDonors(), {Probe(1001, "1,2,3,4,5")}), {0}, "application/json");
    ASSERT_EQ(1u, fetcher.GetProbes().size());
    const MicroarrayFetcher::Probe& probe = fetcher.GetProbes()[0];
    EXPECT_EQ("1001 P1001 7 Sym A gene 9", std::to_string(probe.id) + " " + probe.name + " " +
                                               std::to_string(probe.geneId) + " " + probe.geneSymbol + " " +
                                               probe.geneName + " " + std::to_string(probe.entrezId));
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 1, 1, 2}), fetcher.GetSampleDonors());
}

TEST_F(MicroarrayFetcherTest, TransferFailuresAndTheOtherDownloadMethod)
{
    MicroarrayFetcher& fetcher = Start();
    net.Respond("text/html", 0, 404);
    EXPECT_EQ(Strings{"error Could not retrieve microarray data: Server returned error 404"}, listener.log);

    listener.log.clear();
    Start();
    net.Respond("application/json", 0);
    net.Data("{\"samples\":[");
    net.Fail("The network connection was lost.");
    EXPECT_EQ(Strings{"error Could not retrieve microarray data: The network connection was lost."}, listener.log);

    EXPECT_THROW(
        {
            try
            {
                listener.owned->Load("name", "http://h/x", &listener, nullptr, nullptr);
            }
            catch (const std::runtime_error& error)
            {
                EXPECT_STREQ("Download method not allowed for microarray data.", error.what());
                throw;
            }
        },
        std::runtime_error);
    (void)fetcher;
}

TEST_F(MicroarrayFetcherTest, AListenerMayDeleteTheFetcherInEachReport)
{
    struct Case
    {
        const char* name;
        std::function<void()> run;
        std::string report;
    };
    const std::string good = Document(TwoDonors(), {Probe(1001, "1,2,3,4,5")});
    const Case cases[] = {
        {"loaded", [&] { Answer(net, good, {7}, "application/json"); }, "loaded"},
        {"a fifth coordinate",
         [&] { Answer(net, Document({Sample(11, "1,2,3,4,5", 2022, 1)}, {}), {3}, "application/json"); },
         "error Invalid MRI coordinates received."},
        {"malformed at the end", [&] { Answer(net, good.substr(0, good.size() - 1), {5}, "application/json"); },
         "error The retrieved microarray data were in an unexpected format."},
        {"a failed transfer", [&] { net.Respond("text/html", 0, 500); },
         "error Could not retrieve microarray data: Server returned error 500"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        listener.log.clear();
        listener.deleteOnReport = true;
        Start();
        c.run();
        EXPECT_EQ(Strings{c.report}, listener.log);
        EXPECT_EQ(nullptr, listener.owned);
        EXPECT_FALSE(net.transport.IsOpen());
    }
    // Deleted while it reports progress: the transfer goes with it and nothing more is heard.
    listener.log.clear();
    listener.deleteOnReport = false;
    listener.deleteOnProgress = true;
    Start();
    Answer(net, good, {9}, "application/json");
    EXPECT_EQ(nullptr, listener.owned);
    EXPECT_EQ(Strings{}, listener.log);
    EXPECT_FALSE(net.transport.IsOpen());
}

} // namespace
