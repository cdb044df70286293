#include "DataSetFixture.h"

#include "atlas/AdultMouseMetaReader.h"
#include "atlas/DevMouseMetaReader.h"
#include "core/ZipReader.h"
#include "expression/GridImageTable.h"
#include "expression/SectionImageLookup.h"

#include <regex>

// The remembered answers equal the series' own, also where positions along the axis share a table slot
// and alternate from cell to cell, and for points beyond every section.
TEST_F(DataSetTest, SectionLookupAnswersAsTheSeriesDoes)
{
    for (const char* file : {"sets/gene-310.zip", "sets/gene-350.zip"})
    {
        SCOPED_TRACE(file);
        const std::unique_ptr<GeneExpression> gene = Decode(file);
        const ImageSeries& series = gene->GetImageSeries();
        ASSERT_GT(series.GetNumImages(), 1u);
        SectionImageLookup lookup(series);
        std::size_t found = 0;
        for (int pass = 0; pass < 2; ++pass)
            for (float z = -500.0f; z < 12000.0f; z += 731.0f)
                for (float x = -300.0f; x < 14000.0f; x += 37.5f)
                {
                    float u = -1, v = -1, expectedU = -1, expectedV = -1;
                    const ImageSeries::ImageInfo* expected =
                        series.FindImageFromPoint(x, 400.0f, z, expectedU, expectedV);
                    ASSERT_EQ(lookup.Find(x, 400.0f, z, u, v), expected) << x << " " << z;
                    if (expected)
                    {
                        ++found;
                        ASSERT_EQ(u, expectedU);
                        ASSERT_EQ(v, expectedV);
                    }
                }
        EXPECT_GT(found, 0u);
    }
    ImageSeries empty;
    SectionImageLookup none(empty);
    float u = 0, v = 0;
    EXPECT_EQ(none.Find(1, 2, 3, u, v), nullptr);
}

namespace
{
// The image series of a fixture zip's metadata with its volume-to-stack transform replaced (empty: kept).
ImageSeries SeriesWithTransform(const std::string& file, const std::string& trv)
{
    const std::string zipBytes = FixtureBytes(file);
    MemoryStreamRef stream(zipBytes.data(), static_cast<unsigned int>(zipBytes.size()));
    ZipReader zip(&stream);
    const ZipReader::ZipItem* adult = zip.SeekFile("data_set.xml");
    const ZipReader::ZipItem* item = adult ? adult : zip.SeekFile("image_series.xml");
    std::string xml(item ? item->uncompressedSize : 0, '\0');
    if (item)
        zip.Read(item, reinterpret_cast<unsigned char*>(&xml[0]));
    if (!trv.empty())
        xml = std::regex_replace(xml, std::regex("<trv>[^<]*</trv>"), "<trv>" + trv + "</trv>");
    ImageSeries series;
    const auto* bytes = reinterpret_cast<const unsigned char*>(xml.data());
    if (adult)
        series.Load(AdultMouseMetaReader(bytes, xml.size()));
    else
        series.Load(DevMouseMetaReader(bytes, xml.size()));
    return series;
}
} // namespace

// The table answers every cell of a grid as the series does, for stack axes that follow the grid's axes in
// any order, scaled, flipped or not at all; transforms that mix axes are left to the series.
TEST_F(DataSetTest, GridImageTableAnswersAsTheSeriesDoes)
{
    const unsigned int size[3] = {41, 23, 30};
    const float spacing[3] = {333.0f, 400.0f, 370.0f};
    struct Case
    {
        const char* trv;
        bool tabulated;
    };
    for (const Case& c : {Case{"", true}, Case{"1,0,0,0,1,0,0,0,1,0,0,0", true},
                          Case{"0,0,-1,2,0,0,0,0.5,0,7,-3,40", true}, Case{"0,0,1,0,0,0,0.5,0,0,0,0,-12.5", true},
                          Case{"0,0,1,0,1,0,0.5,0.1,0,0,0,-12.5", false}, Case{"1,0.5,0,0,1,0,0,0,1,0,0,0", false}})
        for (const char* file : {"sets/gene-310.zip", "sets/gene-350.zip"})
        {
            SCOPED_TRACE(std::string(file) + " " + c.trv);
            const ImageSeries series = SeriesWithTransform(file, c.trv);
            const std::unique_ptr<GridImageTable> table = GridImageTable::Make(series, size, spacing);
            ASSERT_EQ(table != nullptr, c.tabulated);
            if (!table)
                continue;
            std::size_t shown = 0;
            for (unsigned int z = 0; z < size[2]; ++z)
                for (unsigned int y = 0; y < size[1]; ++y)
                    for (unsigned int x = 0; x < size[0]; ++x)
                    {
                        float u = 0, v = 0;
                        const ImageSeries::ImageInfo* expected =
                            series.FindImageFromPoint(x * spacing[0], y * spacing[1], z * spacing[2], u, v);
                        unsigned short column = 0, row = 0;
                        ASSERT_EQ(table->Find(x, y, z, column, row), expected) << x << " " << y << " " << z;
                        if (!expected)
                            continue;
                        ++shown;
                        ASSERT_EQ(column, GridImageTable::ImageCoordinate(u, expected->left))
                            << x << " " << y << " " << z;
                        ASSERT_EQ(row, GridImageTable::ImageCoordinate(v, expected->top)) << x << " " << y << " " << z;
                    }
            EXPECT_GT(shown, 0u);
        }
}
