#include "atlas/AdultMouseMetaReader.h"

#include <climits>

AdultMouseMetaReader::AdultMouseMetaReader(const unsigned char* data, unsigned long size)
    : MouseMetaReader("section-image")
{
    ReadBuffer(data, size);
}

void AdultMouseMetaReader::CompleteImage(ImageSeries::ImageInfo& image)
{
    // Truncated toward zero; section numbers no real series reaches are held at the int range.
    const float z = static_cast<float>(image.sectionNumber) * SECTION_SPACING;
    image.z = z >= static_cast<float>(INT_MAX)   ? INT_MAX
              : z <= static_cast<float>(INT_MIN) ? INT_MIN
                                                 : static_cast<int>(z);
}

void AdultMouseMetaReader::ReadField(const std::string& parent, const std::string& element)
{
    if (parent == "alignment3d")
    {
        if (element == "trv")
            ReadMatrix(trv, 12);
        else if (element == "tvr")
            ReadMatrix(tvr, 12);
    }
    else if (parent == "section-data-set")
        ReadDataSetField(element);
    else if (parent == "product")
    {
        if (element == "id")
            projectCode = Text();
    }
    else if (parent == "gene")
        ReadGeneField(element);
    else if (parent == "alignment2d")
    {
        if (element == "tsv")
            ReadMatrix(m_currentImage.tsv, 6);
        else if (element == "tvs")
            ReadMatrix(m_currentImage.tvs, 6);
    }
    else if (parent == "section-image")
        ReadImageField(element);
}

void AdultMouseMetaReader::ReadDataSetField(const std::string& element)
{
    if (element == "id")
        imageSeriesId = TextAsId();
    else if (element == "age")
        age = Text();
    else if (element == "reference-space" || element == "reference-space-age")
        referenceSpace = Text();
    else if (element == "plane-of-section" || element == "plane_of_section")
        ReadPlaneOfSection();
}

void AdultMouseMetaReader::ReadGeneField(const std::string& element)
{
    if (element == "name")
        name = Text();
    else if (element == "acronym")
        symbol = Text();
    else if (element == "entrez-id" && !Text().empty())
        entrezId = TextAsId();
}

void AdultMouseMetaReader::ReadImageField(const std::string& element)
{
    ImageSeries::ImageInfo& image = m_currentImage;
    if (element == "expression-path")
        image.expressionPath = Text();
    else if (element == "path")
        image.imagePath = Text();
    else if (element == "failed")
        m_failed = Text() == "true";
    else if (element == "section-number")
        image.sectionNumber = TextAsInt();
    else if (element == "id")
        image.id = TextAsInt();
    else if (element == "height")
        image.height = TextAsInt();
    else if (element == "width")
        image.width = TextAsInt();
    else if (element == "x")
        image.left = TextAsInt();
    else if (element == "y")
        image.top = TextAsInt();
    else if (element == "image-width")
        image.parentImageWidth = TextAsInt();
    else if (element == "image-height")
        image.parentImageHeight = TextAsInt();
}
