#include <random>
#include <string>

#include <gtest/gtest.h>

#include "AtlasTestFiles.h"
#include "atlas/AdultMouseMetaReader.h"
#include "atlas/DevMouseMetaReader.h"
#include "core/ChunkFeeder.h"
#include "core/XMLParser.h"

namespace
{

const std::string IMAGE_SERIES_XML =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<image-series>\n"
    "  <id>1234</id>\n"
    "  <atlas-id>55</atlas-id>\n"
    "  <age>P56</age>\n"
    "  <reference-space>P56 space</reference-space>\n"
    "  <project-code>0378</project-code>\n"
    "  <plane-of-section>sagittal</plane-of-section>\n"
    "  <default-image-intensity-range>0,255,0,255,0,255</default-image-intensity-range>\n"
    "  <transgenic-line>Cre &amp; co</transgenic-line>\n"
    "  <strain>C57</strain>\n"
    "  <sleep-state>awake</sleep-state>\n"
    "  <sex>M</sex>\n"
    "  <correlation-search-available>false</correlation-search-available>\n"
    "  <experiment-info-url>http://x/1234</experiment-info-url>\n"
    "  <trv>1,0,0,0,1,0,0,0,1,0.5,-2,3e1</trv>\n"
    "  <tvr>1,2,3,4,5,6,7,8,9,10,11,+12</tvr>\n"
    "  <primary-injection-structure>\n"
    "    <name>Cortex</name><abbreviation>CTX</abbreviation><entrez-id></entrez-id>\n"
    "  </primary-injection-structure>\n"
    "  <images>\n"
    "    <image>\n"
    "      <id>77</id><section-index>4</section-index><imagepath>/img/77.jp2</imagepath>\n"
    "      <projection-imagepath>/img/77p.jp2</projection-imagepath>\n"
    "      <width>100</width><height>80</height><left>5</left><top>6</top>\n"
    "      <parentimagewidth>200</parentimagewidth><parentimageheight>160</parentimageheight>\n"
    "      <z-value>100</z-value><tsv>1,0,0,1,0,0</tsv><tvs>2,0,0,2,-10,-20</tvs>\n"
    "    </image>\n"
    "    <image><id>78</id><section-index>5</section-index><z-value>x</z-value></image>\n"
    "  </images>\n"
    "</image-series>\n";

const std::string DATA_SET_XML =
    "<?xml version=\"1.0\"?>\n"
    "<section-data-set>\n"
    "  <id>4321</id>\n"
    "  <age>P56</age>\n"
    "  <reference-space-age>P28</reference-space-age>\n"
    "  <plane_of_section>coronal</plane_of_section>\n"
    "  <product><id>0310</id></product>\n"
    "  <gene><name>Paired box 6</name><acronym>Pax6</acronym><entrez-id>18508</entrez-id></gene>\n"
    "  <alignment3d><trv>1,0,0,0,1,0,0,0,1,0,0,0</trv><tvr>2,0,0,0,2,0,0,0,2,0,0,1</tvr></alignment3d>\n"
    "  <section-images>\n"
    "    <section-image>\n"
    "      <id>9</id><section-number>7</section-number><path>/p/9</path><expression-path>/e/9</expression-path>\n"
    "      <x>1</x><y>2</y><width>30</width><height>40</height>\n"
    "      <image-width>300</image-width><image-height>400</image-height><failed>false</failed>\n"
    "      <alignment2d><tsv>1,2,3,4,5,6</tsv><tvs>6,5,4,3,2,1</tvs></alignment2d>\n"
    "    </section-image>\n"
    "    <section-image><id>10</id><section-number>8</section-number><failed>true</failed></section-image>\n"
    "  </section-images>\n"
    "</section-data-set>\n";

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

void ExpectImageSeries(const MouseMetaReader& reader)
{
    EXPECT_EQ(1234u, reader.imageSeriesId);
    EXPECT_EQ(55u, reader.atlasId);
    EXPECT_EQ("P56", reader.age);
    EXPECT_EQ("P56 space", reader.referenceSpace);
    EXPECT_EQ("0378", reader.projectCode);
    EXPECT_EQ(1, reader.planeOfSection);
    EXPECT_EQ("0,255,0,255,0,255", reader.intensityRange);
    EXPECT_EQ("Cre & co", reader.transgenicLine);
    EXPECT_EQ("C57", reader.strain);
    EXPECT_EQ("awake", reader.sleepState);
    EXPECT_EQ("M", reader.sex);
    EXPECT_FALSE(reader.correlationSearchAvailable);
    EXPECT_EQ("http://x/1234", reader.experimentInfoUrl);
    EXPECT_FLOAT_EQ(0.5f, reader.trv[9]);
    EXPECT_FLOAT_EQ(30.0f, reader.trv[11]);
    EXPECT_FLOAT_EQ(12.0f, reader.tvr[11]);
    EXPECT_EQ("Cortex", reader.name);
    EXPECT_EQ("CTX", reader.symbol);
    EXPECT_EQ(0u, reader.entrezId);

    ASSERT_EQ(2u, reader.images.size());
    const ImageSeries::ImageInfo& image = reader.images[0];
    EXPECT_EQ(77, image.id);
    EXPECT_EQ(4, image.sectionNumber);
    EXPECT_EQ("/img/77.jp2", image.imagePath);
    EXPECT_EQ("/img/77p.jp2", image.expressionPath);
    EXPECT_EQ(100, image.width);
    EXPECT_EQ(80, image.height);
    EXPECT_EQ(5, image.left);
    EXPECT_EQ(6, image.top);
    EXPECT_EQ(200, image.parentImageWidth);
    EXPECT_EQ(160, image.parentImageHeight);
    EXPECT_EQ(100, image.z);
    EXPECT_FLOAT_EQ(-20.0f, image.tvs[5]);
    EXPECT_FLOAT_EQ(1.0f, image.tsv[3]);
    // The second image starts from nothing: no paths, a non-numeric z reads 0.
    EXPECT_EQ(78, reader.images[1].id);
    EXPECT_EQ("", reader.images[1].imagePath);
    EXPECT_EQ(0, reader.images[1].z);
    EXPECT_FLOAT_EQ(0.0f, reader.images[1].tvs[0]);
}

void ExpectDataSet(const MouseMetaReader& reader)
{
    EXPECT_EQ(4321u, reader.imageSeriesId);
    EXPECT_EQ(0u, reader.atlasId);
    EXPECT_EQ("P56", reader.age);
    EXPECT_EQ("P28", reader.referenceSpace);
    EXPECT_EQ(0, reader.planeOfSection);
    EXPECT_EQ("0310", reader.projectCode);
    EXPECT_EQ("Paired box 6", reader.name);
    EXPECT_EQ("Pax6", reader.symbol);
    EXPECT_EQ(18508u, reader.entrezId);
    EXPECT_TRUE(reader.correlationSearchAvailable);
    EXPECT_FLOAT_EQ(2.0f, reader.tvr[8]);
    EXPECT_FLOAT_EQ(1.0f, reader.tvr[11]);

    // The failed section image is read but not kept.
    ASSERT_EQ(1u, reader.images.size());
    const ImageSeries::ImageInfo& image = reader.images[0];
    EXPECT_EQ(9, image.id);
    EXPECT_EQ(7, image.sectionNumber);
    EXPECT_EQ(175, image.z);
    EXPECT_EQ("/p/9", image.imagePath);
    EXPECT_EQ("/e/9", image.expressionPath);
    EXPECT_EQ(1, image.left);
    EXPECT_EQ(2, image.top);
    EXPECT_EQ(30, image.width);
    EXPECT_EQ(40, image.height);
    EXPECT_EQ(300, image.parentImageWidth);
    EXPECT_EQ(400, image.parentImageHeight);
    EXPECT_FLOAT_EQ(6.0f, image.tsv[5]);
    EXPECT_FLOAT_EQ(6.0f, image.tvs[0]);
}

template <typename Reader>
void ExpectSameInEveryChunking(const std::string& xml, void (*expect)(const MouseMetaReader&))
{
    for (const auto& split : ChunkSplits(xml.size()))
    {
        Reader reader(nullptr, 0);
        XMLParser parser(&reader);
        ASSERT_TRUE(FeedInChunks(xml, split, [&](const char* data, int length, bool isFinal) {
            return parser.Parse(data, length, isFinal);
        }));
        expect(reader);
    }
}

} // namespace

TEST(MetadataReader, ReadsTheImageSeriesDialectInAnyChunking)
{
    ExpectImageSeries(DevMouseMetaReader(Bytes(IMAGE_SERIES_XML), IMAGE_SERIES_XML.size()));
    ExpectSameInEveryChunking<DevMouseMetaReader>(IMAGE_SERIES_XML, ExpectImageSeries);
}

TEST(MetadataReader, ReadsTheDataSetDialectInAnyChunking)
{
    ExpectDataSet(AdultMouseMetaReader(Bytes(DATA_SET_XML), DATA_SET_XML.size()));
    ExpectSameInEveryChunking<AdultMouseMetaReader>(DATA_SET_XML, ExpectDataSet);
}

TEST(MetadataReader, ReadsGeneFieldsAndLeavesUnknownPlanesUnset)
{
    const std::string xml = "<image-series>\r\n<plane-of-section>oblique</plane-of-section>\r\n"
                            "<gene><name>Pax6</name><gene-symbol>P6</gene-symbol><entrez-id>42</entrez-id>"
                            "</gene>\r\n<id>7</id>\r\n</image-series>\r\n";
    const DevMouseMetaReader reader(Bytes(xml), xml.size());
    EXPECT_EQ(-1, reader.planeOfSection);
    EXPECT_EQ("Pax6", reader.name);
    EXPECT_EQ("P6", reader.symbol);
    EXPECT_EQ(42u, reader.entrezId);
    EXPECT_EQ(7u, reader.imageSeriesId);
    EXPECT_TRUE(reader.images.empty());
}

TEST(MetadataReader, ReportsBadMatricesAndIdsAndStaysUsable)
{
    auto readDev = [](const std::string& xml) { return [xml] { DevMouseMetaReader reader(Bytes(xml), xml.size()); }; };
    EXPECT_EQ(
        "Matrix in metadata is incomplete.",
        MessageOf<std::runtime_error>(readDev("<image-series><trv>1,2,3,4,5,6,7,8,9,10,11</trv></image-series>")));
    EXPECT_EQ(
        "Could not interpret matrix in metadata",
        MessageOf<std::runtime_error>(readDev("<image-series><tvr>1, 2,3,4,5,6,7,8,9,10,11,12</tvr></image-series>")));
    EXPECT_EQ(
        "Could not interpret matrix in metadata",
        MessageOf<std::runtime_error>(readDev("<image-series><tvr>1,2,3,4,5,6,7,8,9,10,11,nan</tvr></image-series>")));
    EXPECT_EQ("Matrix in metadata is incomplete.",
              MessageOf<std::runtime_error>(readDev("<image-series><image><tvs>1,2</tvs></image></image-series>")));
    EXPECT_EQ("12x", MessageOf<std::invalid_argument>(readDev("<image-series><id>12x</id></image-series>")));
    EXPECT_EQ("", MessageOf<std::invalid_argument>(readDev("<image-series><atlas-id></atlas-id></image-series>")));

    const std::string badTvs = "<section-data-set><section-images><section-image><alignment2d><tvs>1,2,3</tvs>"
                               "</alignment2d></section-image></section-images></section-data-set>";
    AdultMouseMetaReader reader(nullptr, 0);
    EXPECT_EQ("Matrix in metadata is incomplete.",
              MessageOf<std::runtime_error>([&] { reader.ReadBuffer(Bytes(badTvs), badTvs.size()); }));
    // The reader starts a new document on its next read.
    reader.ReadBuffer(Bytes(DATA_SET_XML), DATA_SET_XML.size());
    ExpectDataSet(reader);
}

TEST(MetadataReader, ForgetsTheOpenElementsOfAnEarlierDocument)
{
    // Both earlier reads stop inside "image-series" (a bad matrix, a truncated document); its elements are
    // no parents of the next document, whose lone "id" and "image" are no series id or section image.
    const std::string badMatrix = "<image-series><trv>1</trv></image-series>";
    const std::string truncated = "<image-series><age>P5</age>";
    const std::string lone = "<id>5</id>";
    const std::string image = "<image><id>6</id></image>";
    for (const std::string* first : {&badMatrix, &truncated})
    {
        DevMouseMetaReader reader(nullptr, 0);
        try
        {
            reader.ReadBuffer(Bytes(*first), first->size());
        }
        catch (const std::runtime_error&)
        {
        }
        reader.ReadBuffer(Bytes(lone), lone.size());
        reader.ReadBuffer(Bytes(image), image.size());
        EXPECT_EQ(0u, reader.imageSeriesId);
        EXPECT_TRUE(reader.images.empty());
    }
}

TEST(MetadataReader, KeepsWhatWasReadBeforeAMalformedBuffer)
{
    const std::string truncated = IMAGE_SERIES_XML.substr(0, IMAGE_SERIES_XML.find("<age>")) + "<age>P5</ag";
    const DevMouseMetaReader reader(Bytes(truncated), truncated.size());
    EXPECT_EQ(1234u, reader.imageSeriesId);
    EXPECT_EQ(55u, reader.atlasId);
    EXPECT_EQ("", reader.age);

    const DevMouseMetaReader empty(Bytes(truncated), 0);
    EXPECT_EQ(0u, empty.imageSeriesId);
}

TEST(MetadataReader, ReadsFilesAndReportsUnreadableOnes)
{
    TempDir dir;
    ExpectImageSeries(DevMouseMetaReader(dir.Write("series.xml", IMAGE_SERIES_XML).c_str()));

    // A file whose length is a whole number of chunks ends with an empty final chunk.
    std::string padded = IMAGE_SERIES_XML;
    padded.resize(4096, ' ');
    ExpectImageSeries(DevMouseMetaReader(dir.Write("padded.xml", padded).c_str()));

    EXPECT_EQ("Metadata file path not specified.",
              MessageOf<std::invalid_argument>([] { DevMouseMetaReader reader(nullptr); }));
    const std::string missing = dir.File("missing.xml");
    EXPECT_EQ("Metadata file could not be opened.",
              MessageOf<std::runtime_error>([&] { DevMouseMetaReader reader(missing.c_str()); }));
    const std::string broken = dir.Write("broken.xml", IMAGE_SERIES_XML.substr(0, 100));
    EXPECT_EQ("Error parsing metadata file.",
              MessageOf<std::runtime_error>([&] { DevMouseMetaReader reader(broken.c_str()); }));
    const std::string badMatrix = dir.Write("matrix.xml", "<image-series><trv>1</trv></image-series>");
    EXPECT_EQ("Matrix in metadata is incomplete.",
              MessageOf<std::runtime_error>([&] { DevMouseMetaReader reader(badMatrix.c_str()); }));
}

TEST(MetadataReader, SurvivesTruncatedAndDamagedDocuments)
{
    for (const std::string* xml : {&IMAGE_SERIES_XML, &DATA_SET_XML})
    {
        for (size_t length = 0; length < xml->size(); ++length)
        {
            try
            {
                DevMouseMetaReader dev(Bytes(*xml), length);
                AdultMouseMetaReader adult(Bytes(*xml), length);
            }
            catch (const std::exception&)
            {
                // A clear error is as good as a partial read; only a crash would fail here.
            }
        }
        std::mt19937 random(7);
        for (int round = 0; round < 300; ++round)
        {
            std::string damaged = *xml;
            for (int hit = 0; hit < 4; ++hit)
                damaged[random() % damaged.size()] = static_cast<char>(random() % 256);
            try
            {
                DevMouseMetaReader dev(Bytes(damaged), damaged.size());
                AdultMouseMetaReader adult(Bytes(damaged), damaged.size());
            }
            catch (const std::exception&)
            {
            }
        }
    }
}
