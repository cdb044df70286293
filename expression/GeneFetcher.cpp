#include "expression/GeneFetcher.h"

#include "core/Alerts.h"
#include "core/NetFile.h"
#include "expression/GeneFetchCompletionListener.h"

#include <algorithm>

GeneFetcher::GeneFetcher(GeneFetchCompletionListener* listener)
    : m_listener(listener)
{
}

GeneFetcher::GeneFetcher(const std::string& name, const std::string& url, GeneFetchCompletionListener* listener,
                         void* userData, const float* rgb)
{
    Load(name, url, listener, userData, rgb);
}

GeneFetcher::~GeneFetcher()
{
    AbortTransfer();
}

void GeneFetcher::AbortTransfer()
{
    NetFile* transfer = m_transfer;
    m_transfer = nullptr;
    if (transfer)
        transfer->Abort();
}

void GeneFetcher::Load(const std::string& name, const std::string& url, GeneFetchCompletionListener* listener,
                       void* userData, const float* rgb)
{
    m_name = name;
    m_url = url;
    m_userData = userData;
    m_listener = listener;
    m_expectedLength = 0;
    m_received = 0;
    m_progress = 0.0f;
    for (int i = 0; i < 3; ++i)
        m_color[i] = rgb ? rgb[i] : -1.0f;
    AbortTransfer();
    m_transfer = NetFile::Create(url, this, true);
}

void GeneFetcher::Reset()
{
    AbortTransfer();
    m_progress = 0.0f;
    m_name.clear();
    m_url.clear();
    m_userData = nullptr;
    m_listener = nullptr;
}

const float* GeneFetcher::GetColor() const
{
    return m_color[0] < 0.0f ? nullptr : m_color;
}

namespace
{
std::string DataSet(const std::string& name, const std::string& url)
{
    return name.empty() ? url : url.empty() ? name : name + " (" + url + ")";
}
} // namespace

std::string GeneFetcher::FailureAlert(const std::string& reason, const std::string& name, const std::string& url)
{
    const std::string dataSet = DataSet(name, url);
    if (dataSet.empty() || reason.find(dataSet) != std::string::npos)
        return reason;
    return reason + "\n\nData set: " + dataSet;
}

std::string GeneFetcher::FailureAlert(const std::vector<Failure>& failures)
{
    if (failures.size() < 2)
        return failures.empty() ? std::string() : FailureAlert(failures[0].reason, failures[0].name, failures[0].url);
    std::string alert = std::to_string(failures.size()) + " data sets could not be loaded.\n";
    for (const Failure& failure : failures)
    {
        const std::string dataSet = DataSet(failure.name, failure.url);
        alert += "\n";
        if (!dataSet.empty() && failure.reason.find(dataSet) == std::string::npos)
            alert += dataSet + ": ";
        alert += failure.reason;
    }
    return alert;
}

void GeneFetcher::ReportFailures(std::vector<Failure>& failures)
{
    if (failures.empty())
        return;
    const std::string alert = FailureAlert(failures);
    failures.clear();
    ShowAlertBox(alert);
}

void GeneFetcher::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    m_expectedLength = expectedLength;
    m_received = 0;
    if (m_listener)
        m_listener->GeneDataReceived(this, 0.0f);
}

void GeneFetcher::DataReceived(const void*, unsigned long size)
{
    m_received += size;
    if (m_expectedLength != 0)
        m_progress = std::min(1.0f, static_cast<float>(m_received) / static_cast<float>(m_expectedLength));
    if (m_listener)
        m_listener->GeneDataReceived(this, m_progress);
}

void GeneFetcher::DownloadComplete(const void* data, unsigned long size)
{
    // The transfer deletes itself after this call; the listener may delete this fetcher.
    m_transfer = nullptr;
    if (m_listener)
        m_listener->GeneLoaded(this, data, size);
}

void GeneFetcher::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    if (m_listener)
        m_listener->GeneLoadError(this, message);
}
