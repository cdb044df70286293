#pragma once

#include <memory>
#include <string>
#include <vector>

#include "atlas/ImageSeries.h"
#include "core/XMLElementHandlerStack.h"

class XMLParser;

// Common base of the two dialects of experiment metadata: it collects element text, parses the
// comma-separated matrices and keeps what was read in plain fields for the caller to copy.
class MouseMetaReader : public XMLElementHandlerStack
{
public:
    ~MouseMetaReader() override = 0;

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* text, int length) override;

    // Reads a whole file; throws when it cannot be opened or is not well-formed XML.
    virtual void ReadFile(const char* path);
    // Reads a whole buffer; a malformed document keeps what was read before the fault.
    virtual void ReadBuffer(const unsigned char* data, unsigned long size);
    virtual void ClearImageInfo();
    // Parses the collected text as exactly count comma-separated numbers.
    virtual void ReadMatrix(float* out, unsigned int count);

    std::string projectCode;
    std::string age;
    std::string referenceSpace;
    std::string transgenicLine;
    std::string sleepState;
    std::string strain;
    std::string sex;
    std::string name;
    std::string symbol;
    std::string intensityRange;
    std::string experimentInfoUrl;
    unsigned int atlasId = 0;
    unsigned int imageSeriesId = 0;
    unsigned int entrezId = 0;
    float trv[12] = {}; // reference space to section stack: 3x3 matrix by rows, then the translation
    float tvr[12] = {}; // section stack back to reference space, same layout
    int planeOfSection = ImageSeries::NoPlane;
    bool correlationSearchAvailable = true;
    std::vector<ImageSeries::ImageInfo> images;

protected:
    // imageElement names the element that holds one image of the series in this dialect.
    explicit MouseMetaReader(const char* imageElement);

    // Takes the text of an element that closed inside parent; images are kept by the base.
    virtual void ReadField(const std::string& parent, const std::string& element) = 0;
    // Gives a dialect the last word on an image before it is kept.
    virtual void CompleteImage(ImageSeries::ImageInfo& /*image*/) {}

    // The text collected since the innermost element opened, unchanged.
    const std::string& Text() const { return m_text; }
    int TextAsInt() const;
    unsigned int TextAsId() const;
    void ReadPlaneOfSection();

    ImageSeries::ImageInfo m_currentImage;
    bool m_failed = false;

private:
    // Each read starts a new document, even after one that ended in an exception.
    void StartDocument();

    const std::string m_imageElement;
    std::unique_ptr<XMLParser> m_parser;
    std::string m_text;
};
