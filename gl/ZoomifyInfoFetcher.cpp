#include "gl/ZoomifyInfoFetcher.h"

#include "core/NetFile.h"
#include "core/XMLParser.h"
#include "gl/ZoomifyInfoCompletionListener.h"

#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <strings.h>

namespace
{

const char* const kUnexpectedData = "Unexpected data in image properties.";

// Leading decimal digits as atoi reads them, but saturated: a hostile number must not overflow.
int ReadInt(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

} // namespace

ZoomifyInfoFetcher::ZoomifyInfoFetcher(const std::string& url, ZoomifyInfoCompletionListener* listener)
    : m_listener(listener)
{
    m_transfer = NetFile::Create(url, this, true);
}

ZoomifyInfoFetcher::~ZoomifyInfoFetcher()
{
    if (m_transfer)
        m_transfer->Abort();
}

void ZoomifyInfoFetcher::Parse(const void* data, unsigned long size)
{
    if (size > static_cast<unsigned long>(INT_MAX))
        throw std::runtime_error(kUnexpectedData);
    XMLParser parser(this);
    if (!parser.Parse(static_cast<const char*>(data), static_cast<int>(size), true))
        throw std::runtime_error(kUnexpectedData);
    // A tile size of 0 would be divided by when the tiles are laid out.
    if (m_width <= 0 || m_height <= 0 || m_tileSize <= 0)
        throw std::runtime_error(kUnexpectedData);
}

void ZoomifyInfoFetcher::DownloadComplete(const void* data, unsigned long size)
{
    m_transfer = nullptr;
    try
    {
        Parse(data, size);
    }
    catch (const std::exception& error)
    {
        if (m_listener)
            m_listener->ZoomifyInfoLoadError(this, error.what());
        return;
    }
    if (m_listener)
        m_listener->ZoomifyInfoLoaded(this);
}

void ZoomifyInfoFetcher::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    if (m_listener)
        m_listener->ZoomifyInfoLoadError(this, message);
}

void ZoomifyInfoFetcher::StartElement(const char* name, const char** attributes)
{
    if (strcasecmp(name, "IMAGE_PROPERTIES") != 0)
        throw std::runtime_error(kUnexpectedData);
    for (const char** a = attributes; a && a[0] && a[1]; a += 2)
    {
        if (strcasecmp(a[0], "WIDTH") == 0)
            m_width = ReadInt(a[1]);
        else if (strcasecmp(a[0], "HEIGHT") == 0)
            m_height = ReadInt(a[1]);
        else if (strcasecmp(a[0], "NUMTILES") == 0)
            m_numTiles = ReadInt(a[1]);
        else if (strcasecmp(a[0], "TILESIZE") == 0)
            m_tileSize = ReadInt(a[1]);
    }
}
