#include "DataSetFixture.h"

#include "expression/SectionImageLookup.h"

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
