#include <string>

#include <gtest/gtest.h>

#include "atlas/DevMouseMetaReader.h"
#include "atlas/ImageSeries.h"

namespace
{

// A series whose sections lie along z at the given positions, numbered from 10; trv maps a point
// to (x, y) in the section and z along the cutting axis.
DevMouseMetaReader SeriesReader(const std::vector<int>& positions, const std::string& range = "")
{
    std::string xml = "<image-series><id>3</id><atlas-id>4</atlas-id><plane-of-section>coronal</plane-of-section>"
                      "<trv>1,0,0,0,1,0,0,0,1,0,0,0</trv>";
    if (!range.empty())
        xml += "<default-image-intensity-range>" + range + "</default-image-intensity-range>";
    xml += "<images>";
    int section = 10;
    for (const int z : positions)
        xml += "<image><section-index>" + std::to_string(section++) + "</section-index><z-value>" + std::to_string(z) +
               "</z-value><tvs>2,0,0,2,-10,-20</tvs></image>";
    xml += "</images></image-series>";
    return DevMouseMetaReader(reinterpret_cast<const unsigned char*>(xml.data()), xml.size());
}

} // namespace

TEST(ImageSeries, FindsTheNearestSectionWithinTheSpacing)
{
    ImageSeries series;
    float u = -1.0f, v = -1.0f;
    EXPECT_EQ(nullptr, series.FindImageFromPoint(1, 2, 3, u, v));

    series.Load(SeriesReader({100, 125, 150}));
    // Tolerance (100 + 25 + 50) / 3.
    const ImageSeries::ImageInfo* image = series.FindImageFromPoint(3, 4, 140, u, v);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(12, image->sectionNumber);
    EXPECT_FLOAT_EQ(-4.0f, u);
    EXPECT_FLOAT_EQ(-12.0f, v);
    EXPECT_EQ(series.GetImageSection(10), series.FindImageFromPoint(0, 0, 112.5f, u, v)); // a tie: the lower number
    EXPECT_EQ(series.GetImageSection(12), series.FindImageFromPoint(0, 0, 208, u, v));
    EXPECT_EQ(nullptr, series.FindImageFromPoint(0, 0, 30, u, v));
    EXPECT_EQ(nullptr, series.FindImageFromPoint(0, 0, 209, u, v));
}

TEST(ImageSeries, LoadsOverEarlierImagesAndClearsTheGeometryOnly)
{
    ImageSeries series;
    series.Load(SeriesReader({100, 125, 150}, "0,10"));
    EXPECT_EQ("range=0,10", series.GetIntensityRange());
    EXPECT_EQ(3u, series.GetImageSeriesId());
    EXPECT_EQ(4u, series.GetAtlasId());
    EXPECT_EQ(ImageSeries::Coronal, series.GetPlaneOfSection());

    // The second series has sections 10 and 11 only; 12 stays.
    series.Load(SeriesReader({300, 325}));
    EXPECT_EQ(3u, series.GetNumImages());
    EXPECT_EQ(300, series.GetImageSection(10)->z);
    EXPECT_EQ(150, series.GetImageSection(12)->z);
    EXPECT_EQ("range=0,10", series.GetIntensityRange());
    EXPECT_EQ(nullptr, series.GetImageSection(13));

    series.SetDisplayParameter(0.35f);
    series.Clear();
    EXPECT_EQ(0u, series.GetNumImages());
    EXPECT_EQ(ImageSeries::NoPlane, series.GetPlaneOfSection());
    EXPECT_FLOAT_EQ(0.0f, series.GetTrv()[8]);
    EXPECT_FLOAT_EQ(0.0f, series.GetDisplayParameter());
    EXPECT_EQ(3u, series.GetImageSeriesId());
    EXPECT_EQ("range=0,10", series.GetIntensityRange());
}
