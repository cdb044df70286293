#include "atlas/AdultMouseMetaReader.h"

#include <algorithm>
#include <climits>
#include <cstring>

AdultMouseMetaReader::AdultMouseMetaReader(const unsigned char* data, unsigned long size)
{
    ReadBuffer(data, size);
}

void AdultMouseMetaReader::StartElement(const char* name, const char** attributes)
{
    MouseMetaReader::StartElement(name, attributes);
    if (std::strcmp(name, "section-image") == 0)
        ClearImageInfo();
}

void AdultMouseMetaReader::EndElement(const char* name)
{
    MouseMetaReader::EndElement(name);
    const char* parent = ElementAt(0);
    if (!parent)
        return;
    const std::string element(name);
    if (element == "section-image")
    {
        if (!m_failed)
        {
            // Truncated toward zero; section numbers no real series reaches are held at the int range.
            const float z = static_cast<float>(m_currentImage.sectionNumber) * SECTION_SPACING;
            m_currentImage.z = z >= static_cast<float>(INT_MAX)   ? INT_MAX
                               : z <= static_cast<float>(INT_MIN) ? INT_MIN
                                                                  : static_cast<int>(z);
            images.push_back(m_currentImage);
        }
        return;
    }
    const std::string parentName(parent);
    if (parentName == "alignment3d")
    {
        if (element == "trv")
            ReadMatrix(trv, 12);
        else if (element == "tvr")
            ReadMatrix(tvr, 12);
    }
    else if (parentName == "section-data-set")
        ReadDataSetField(element);
    else if (parentName == "product")
    {
        if (element == "id")
            projectCode = Text();
    }
    else if (parentName == "gene")
        ReadGeneField(element);
    else if (parentName == "alignment2d")
    {
        if (element == "tsv")
            ReadMatrix(m_currentImage.tsv, 6);
        else if (element == "tvs")
            ReadMatrix(m_currentImage.tvs, 6);
    }
    else if (parentName == "section-image")
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
