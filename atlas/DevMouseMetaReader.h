#pragma once

#include "atlas/MouseMetaReader.h"

// Reader of the image-series dialect: a data set's "image_series.xml" and an atlas space's
// "coronal_images.xml" and "sagittal_images.xml".
class DevMouseMetaReader : public MouseMetaReader
{
public:
    explicit DevMouseMetaReader(const char* path);
    DevMouseMetaReader(const unsigned char* data, unsigned long size);

protected:
    void ReadField(const std::string& parent, const std::string& element) override;

private:
    void ReadSeriesField(const std::string& element);
    void ReadSubjectField(const std::string& element);
    void ReadImageField(const std::string& element);
};
