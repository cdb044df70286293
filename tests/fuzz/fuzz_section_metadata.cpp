#include "atlas/AdultMouseMetaReader.h"
#include "atlas/DevMouseMetaReader.h"
#include "atlas/ImageSeries.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>

// Section metadata as an atlas space and a data set keep it: a file read by path, its sections loaded
// into an image series and looked up by point. Byte 0 picks the reader and the plane; the rest is the file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string path = FuzzTempFile::Write("sections.xml", data + 1, size - 1);
    try
    {
        ImageSeries series;
        if (data[0] & 1)
        {
            const DevMouseMetaReader reader(path.c_str());
            series.Load(reader);
        }
        else
        {
            AdultMouseMetaReader reader(nullptr, 0);
            reader.ReadFile(path.c_str());
            series.Load(reader);
        }
        series.SetPlaneOfSection((data[0] & 2) ? ImageSeries::Sagittal : ImageSeries::Coronal);
        float u = 0.0f, v = 0.0f;
        for (const auto& entry : series.GetImages())
            series.FindImageFromPoint(entry.second.tsv[4], entry.second.tsv[5], float(entry.second.z), u, v);
        series.FindImageFromPoint(0.0f, 0.0f, 0.0f, u, v);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
