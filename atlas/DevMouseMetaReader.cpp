#include "atlas/DevMouseMetaReader.h"

DevMouseMetaReader::DevMouseMetaReader(const char* path)
    : MouseMetaReader("image")
{
    ReadFile(path);
}

DevMouseMetaReader::DevMouseMetaReader(const unsigned char* data, unsigned long size)
    : MouseMetaReader("image")
{
    ReadBuffer(data, size);
}

void DevMouseMetaReader::ReadField(const std::string& parent, const std::string& element)
{
    if (parent == "image-series")
        ReadSeriesField(element);
    else if (parent == "gene" || parent == "primary-injection-structure")
        ReadSubjectField(element);
    else if (parent == "image")
        ReadImageField(element);
}

void DevMouseMetaReader::ReadSeriesField(const std::string& element)
{
    if (element == "id")
        imageSeriesId = TextAsId();
    else if (element == "atlas-id")
        atlasId = TextAsId();
    else if (element == "age")
        age = Text();
    else if (element == "reference-space" || element == "reference-space-age")
        referenceSpace = Text();
    else if (element == "project-code")
        projectCode = Text();
    else if (element == "trv")
        ReadMatrix(trv, 12);
    else if (element == "tvr")
        ReadMatrix(tvr, 12);
    else if (element == "plane-of-section")
        ReadPlaneOfSection();
    else if (element == "default-image-intensity-range")
        intensityRange = Text();
    else if (element == "transgenic-line")
        transgenicLine = Text();
    else if (element == "strain")
        strain = Text();
    else if (element == "sleep-state")
        sleepState = Text();
    else if (element == "sex")
        sex = Text();
    else if (element == "correlation-search-available")
        correlationSearchAvailable = Text() == "true";
    else if (element == "experiment-info-url")
        experimentInfoUrl = Text();
}

void DevMouseMetaReader::ReadSubjectField(const std::string& element)
{
    if (element == "name")
        name = Text();
    else if (element == "gene-symbol" || element == "abbreviation")
        symbol = Text();
    else if (element == "entrez-id" && !Text().empty())
        entrezId = TextAsId();
}

void DevMouseMetaReader::ReadImageField(const std::string& element)
{
    ImageSeries::ImageInfo& image = m_currentImage;
    if (element == "tsv")
        ReadMatrix(image.tsv, 6);
    else if (element == "tvs")
        ReadMatrix(image.tvs, 6);
    else if (element == "expression-imagepath" || element == "projection-imagepath")
        image.expressionPath = Text();
    else if (element == "imagepath")
        image.imagePath = Text();
    else if (element == "section-index")
        image.sectionNumber = TextAsInt();
    else if (element == "id")
        image.id = TextAsInt();
    else if (element == "height")
        image.height = TextAsInt();
    else if (element == "width")
        image.width = TextAsInt();
    else if (element == "left")
        image.left = TextAsInt();
    else if (element == "top")
        image.top = TextAsInt();
    else if (element == "parentimagewidth")
        image.parentImageWidth = TextAsInt();
    else if (element == "parentimageheight")
        image.parentImageHeight = TextAsInt();
    else if (element == "z-value")
        image.z = TextAsInt();
}
