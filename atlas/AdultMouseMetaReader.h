#pragma once

#include "atlas/MouseMetaReader.h"

// Reader of the section-data-set dialect: a data set's "data_set.xml".
class AdultMouseMetaReader : public MouseMetaReader
{
public:
    AdultMouseMetaReader(const unsigned char* data, unsigned long size);

    // Sections of this dialect lie this far apart along the cutting axis.
    static constexpr float SECTION_SPACING = 25.0f;

protected:
    void ReadField(const std::string& parent, const std::string& element) override;
    void CompleteImage(ImageSeries::ImageInfo& image) override;

private:
    void ReadDataSetField(const std::string& element);
    void ReadGeneField(const std::string& element);
    void ReadImageField(const std::string& element);
};
