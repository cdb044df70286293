#include "atlas/AtlasesAvailableQuery.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasesAvailableQueryListener.h"
#include "core/NetFile.h"
#include "core/UserPreferences.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

namespace
{

const char* const NO_ATLASES = "No atlases available for download.";

// The leading decimal number of the text, 0 when there is none, as a 32-bit pattern: a C library
// conversion without its undefined overflow.
unsigned int LeadingNumber(const char* text)
{
    return static_cast<unsigned int>(std::strtoll(text, nullptr, 10));
}

int LeadingSignedNumber(const char* text)
{
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

bool IsInstalledAtLeast(unsigned int id, unsigned int version)
{
    AtlasSet::GetAtlases();
    const std::shared_ptr<Atlas> installed = AtlasSet::GetAtlasWithId(id);
    return installed && version <= static_cast<unsigned int>(installed->GetVersion());
}

} // namespace

AtlasesAvailableQuery::AtlasesAvailableQuery(AtlasesAvailableQueryListener* listener)
    : AtlasesAvailableQuery(listener, UserPreferences::GetPreferences()->GetAtlasListURL())
{
}

AtlasesAvailableQuery::AtlasesAvailableQuery(AtlasesAvailableQueryListener* listener, const std::string& url)
    : m_listener(listener)
    , m_parser(this)
{
    if (url.empty())
        throw std::runtime_error("Atlas check failed: invalid server address.");
    m_transfer = NetFile::Create(url, this, false);
}

AtlasesAvailableQuery::~AtlasesAvailableQuery()
{
    Abort();
}

void AtlasesAvailableQuery::Abort()
{
    if (m_transfer)
        m_transfer->Abort();
    m_transfer = nullptr;
}

void AtlasesAvailableQuery::Feed(const void* data, unsigned long size, bool isFinal)
{
    if (m_parseStopped)
        return;
    try
    {
        // Chunks from the transport are far below 2 GiB; a larger one is refused like a broken document.
        if (size > static_cast<unsigned long>(std::numeric_limits<int>::max()) ||
            !m_parser.Parse(static_cast<const char*>(data), static_cast<int>(size), isFinal))
            m_parseStopped = true;
    }
    catch (...)
    {
        m_parseStopped = true;
    }
}

void AtlasesAvailableQuery::DataReceived(const void* data, unsigned long size)
{
    Feed(data, size, false);
}

void AtlasesAvailableQuery::ResponseReceived(const std::string&, unsigned long) {}

void AtlasesAvailableQuery::DownloadComplete(const void* data, unsigned long size)
{
    m_transfer = nullptr;
    Feed(data, data ? size : 0, true);
    if (!m_listener)
        return;
    if (m_entries.empty())
        m_listener->AtlasesAvailableQueryError(this, NO_ATLASES);
    else
        m_listener->AtlasesAvailableQueryComplete(this);
}

void AtlasesAvailableQuery::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    Feed(nullptr, 0, true);
    if (m_listener)
        m_listener->AtlasesAvailableQueryError(this, message);
}

int AtlasesAvailableQuery::GetNumAtlases() const
{
    return static_cast<int>(m_entries.size());
}

const AtlasDownloadInfo& AtlasesAvailableQuery::GetAtlasInfo(int index) const
{
    return m_entries.at(static_cast<std::size_t>(index));
}

bool AtlasesAvailableQuery::UpdatesAvailable() const
{
    for (const AtlasDownloadInfo& entry : m_entries)
        if (entry.needsInstall)
            return true;
    return false;
}

void AtlasesAvailableQuery::StartElement(const char* name, const char** attributes)
{
    if (std::strcmp(name, "atlas") != 0)
        return;
    AtlasDownloadInfo info;
    int minAppVersion = 0;
    for (const char** pair = attributes; pair && pair[0] && pair[1]; pair += 2)
    {
        const char* key = pair[0];
        const char* value = pair[1];
        if (std::strcmp(key, "name") == 0)
            info.name = value;
        else if (std::strcmp(key, "url") == 0)
            info.url = value;
        else if (std::strcmp(key, "datePublished") == 0)
            info.datePublished = value;
        else if (std::strcmp(key, "id") == 0)
            info.id = LeadingNumber(value);
        else if (std::strcmp(key, "version") == 0)
            info.version = LeadingNumber(value);
        else if (std::strcmp(key, "size") == 0)
            info.size = LeadingNumber(value);
        else if (std::strcmp(key, "minAppVersion") == 0)
            minAppVersion = LeadingSignedNumber(value);
    }
    if (minAppVersion > UserPreferences::GetPreferences()->GetBuildNumber())
        return;
    // The name becomes a folder name under the atlas base folder: ".." there would name the base itself.
    if (info.id == 0 || info.version == 0 || info.url.empty() || !IsPlainFolderName(info.name))
        return;
    if (IsInstalledAtLeast(info.id, info.version))
        info.needsInstall = false;
    Keep(info);
}

void AtlasesAvailableQuery::Keep(const AtlasDownloadInfo& info)
{
    for (AtlasDownloadInfo& kept : m_entries)
    {
        if (kept.id != info.id)
            continue;
        if (info.version >= kept.version)
            kept = info;
        return;
    }
    m_entries.push_back(info);
}

void AtlasesAvailableQuery::EndElement(const char*) {}

void AtlasesAvailableQuery::DataHandler(const char*, int) {}
