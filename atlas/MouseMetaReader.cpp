#include "atlas/MouseMetaReader.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <stdexcept>

#include "atlas/DecimalText.h"
#include "atlas/ParseXMLFile.h"
#include "core/StringUtils.h"
#include "core/XMLParser.h"

namespace
{

// A finite number and nothing else: no blanks around it, independent of the locale.
bool ParseMatrixElement(const std::string& text, float& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    return first != last && error == std::errc() && end == last && std::isfinite(value);
}

} // namespace

MouseMetaReader::MouseMetaReader(const char* imageElement)
    : m_imageElement(imageElement)
{
}

MouseMetaReader::~MouseMetaReader() = default;

void MouseMetaReader::StartElement(const char* name, const char** attributes)
{
    XMLElementHandlerStack::StartElement(name, attributes);
    m_text.clear();
    if (name == m_imageElement)
        ClearImageInfo();
}

void MouseMetaReader::EndElement(const char* name)
{
    XMLElementHandlerStack::EndElement(name);
    const char* parent = ElementAt(0);
    if (!parent)
        return;
    const std::string element(name);
    if (element != m_imageElement)
        ReadField(parent, element);
    else if (!m_failed)
    {
        CompleteImage(m_currentImage);
        images.push_back(m_currentImage);
    }
}

void MouseMetaReader::DataHandler(const char* text, int length)
{
    m_text.append(text, static_cast<size_t>(length));
}

void MouseMetaReader::StartDocument()
{
    m_parser = std::make_unique<XMLParser>(this);
    m_text.clear();
    // A document that stopped early leaves its open elements behind: they are no parents in the next one.
    while (ElementAt(0))
        XMLElementHandlerStack::EndElement("");
}

void MouseMetaReader::ReadFile(const char* path)
{
    if (!path)
        throw std::invalid_argument("Metadata file path not specified.");
    StartDocument();
    ParseXMLFile(*m_parser, path, "Metadata file could not be opened.", "Error parsing metadata file.");
}

void MouseMetaReader::ReadBuffer(const unsigned char* data, unsigned long size)
{
    if (!data || size == 0)
        return;
    StartDocument();
    // The parser takes int lengths; anything larger goes in pieces.
    const unsigned long piece = INT_MAX;
    for (unsigned long offset = 0; offset < size; offset += piece)
    {
        const unsigned long count = std::min(piece, size - offset);
        const bool isFinal = offset + count == size;
        if (!m_parser->Parse(reinterpret_cast<const char*>(data + offset), static_cast<int>(count), isFinal))
            break;
    }
}

void MouseMetaReader::ClearImageInfo()
{
    m_currentImage = ImageSeries::ImageInfo();
    m_failed = false;
}

void MouseMetaReader::ReadMatrix(float* out, unsigned int count)
{
    std::vector<std::string> fields;
    StringUtils::SplitLine(m_text, fields, ',');
    if (fields.size() != count)
        throw std::runtime_error("Matrix in metadata is incomplete.");
    for (unsigned int i = 0; i < count; ++i)
        if (!ParseMatrixElement(fields[i], out[i]))
            throw std::runtime_error("Could not interpret matrix in metadata");
}

int MouseMetaReader::TextAsInt() const
{
    return DecimalInt(m_text);
}

unsigned int MouseMetaReader::TextAsId() const
{
    return StringUtils::ParseUint(m_text);
}

void MouseMetaReader::ReadPlaneOfSection()
{
    if (m_text == "sagittal")
        planeOfSection = ImageSeries::Sagittal;
    else if (m_text == "coronal")
        planeOfSection = ImageSeries::Coronal;
}
