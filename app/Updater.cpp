#include "app/Updater.h"

#include "core/Alerts.h"
#include "core/DefaultsStore.h"
#include "core/NetFile.h"
#include "core/OSUtils.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"

#include <QXmlStreamReader>

#include <cstdlib>
#include <exception>

const char* const Updater::kLastCheckKey = "UpdaterLastCheckTime";

Updater::~Updater()
{
    if (m_transfer)
        m_transfer->Abort();
}

bool Updater::IsDue(std::time_t now) const
{
    if (!m_automatic || m_feedUrl.empty())
        return false;
    DefaultsStore& store = PlatformHooks::GetDefaultsStore();
    if (!store.HasValue(kLastCheckKey))
        return true;
    char* end = nullptr;
    const std::string text = store.GetValue(kLastCheckKey);
    const long long last = std::strtoll(text.c_str(), &end, 10);
    // An unreadable time, or one in the future, counts as never checked.
    if (end == text.c_str() || *end != '\0' || last > static_cast<long long>(now))
        return true;
    return static_cast<long long>(now) - last > m_interval;
}

bool Updater::CheckIfDue()
{
    return IsDue(std::time(nullptr)) && CheckForUpdates();
}

bool Updater::CheckForUpdates()
{
    if (m_transfer || m_feedUrl.empty())
        return false;
    try
    {
        m_transfer = NetFile::Create(m_feedUrl, this, true);
    }
    catch (const std::exception&)
    {
        m_transfer = nullptr;
        return false;
    }
    PlatformHooks::GetDefaultsStore().SetValue(kLastCheckKey,
                                               std::to_string(static_cast<long long>(std::time(nullptr))));
    return true;
}

Updater::FeedItem Updater::ParseFeed(const std::string& xml)
{
    FeedItem newest;
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    FeedItem item;
    while (!reader.atEnd() && !reader.hasError())
    {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("item"))
            item = FeedItem();
        else if (reader.isStartElement() && reader.name() == QLatin1String("title"))
            item.title = reader.readElementText().toStdString();
        else if (reader.isStartElement() && reader.name() == QLatin1String("enclosure"))
        {
            const QXmlStreamAttributes attributes = reader.attributes();
            for (const QXmlStreamAttribute& attribute : attributes)
            {
                if (attribute.qualifiedName() == QLatin1String("sparkle:version"))
                {
                    bool ok = false;
                    const long version = attribute.value().toString().toLong(&ok);
                    item.version = ok && version > 0 ? version : 0;
                }
                else if (attribute.name() == QLatin1String("url"))
                    item.url = attribute.value().toString().toStdString();
            }
        }
        else if (reader.isEndElement() && reader.name() == QLatin1String("item") && item.version > newest.version)
            newest = item;
    }
    // A damaged feed offers nothing.
    return reader.hasError() ? FeedItem() : newest;
}

void Updater::DownloadComplete(const void* data, unsigned long size)
{
    m_transfer = nullptr;
    const FeedItem item = ParseFeed(std::string(static_cast<const char*>(data), size));
    if (item.version <= UserPreferences::GetPreferences()->GetBuildNumber() || item.url.empty())
        return;
    const std::string title = item.title.empty() ? "A new version of Corvane" : item.title;
    if (ShowConfirmationBox(title + " is available. Open its download page?"))
        OSUtils::OpenBrowser(item.url);
}

void Updater::DownloadFailed(const std::string&)
{
    // A feed that cannot be read is tried again at the next due check.
    m_transfer = nullptr;
}
