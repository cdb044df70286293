#include "expression/UrlProtocolParser.h"

#include "core/Alerts.h"
#include "core/StringUtils.h"
#include "expression/SearchController.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace
{

const unsigned int MICROARRAY_ATLAS_ID = 351;
// More downloads than this at once are confirmed by the user first.
const int QUIET_DOWNLOAD_LIMIT = 9;
const double EXPRESSION_RANGE_LIMIT = 100000.0;

// The whole text as a finite decimal number, independent of the process locale.
bool ReadFiniteDecimal(const std::string& text, double& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    const auto [stop, error] = std::from_chars(first, last, value);
    return first != last && error == std::errc() && stop == last && std::isfinite(value);
}

std::vector<std::string> Split(const std::string& text, char delimiter)
{
    std::vector<std::string> pieces(1);
    for (const char c : text)
    {
        if (c == delimiter)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

std::string Fill(std::string text, const std::string& placeholder, const std::string& value)
{
    const std::size_t at = text.find(placeholder);
    return at == std::string::npos ? text : text.replace(at, placeholder.size(), value);
}

// A data-set entry's colour "(r/g/b)", 0 to 255 each, as fractions.
void ReadEntryColor(const std::string& entry, std::size_t open, float rgb[3])
{
    if (entry.back() != ')')
        throw std::invalid_argument(entry);
    const std::string inside = entry.substr(open + 1, entry.size() - open - 2);
    const std::vector<std::string> pieces = Split(inside, '/');
    if (pieces.size() != 3)
        throw std::invalid_argument(inside);
    for (int i = 0; i < 3; ++i)
    {
        double value = 0.0;
        if (!ReadFiniteDecimal(pieces[i], value))
            throw std::invalid_argument(inside);
        rgb[i] = static_cast<float>(std::clamp(value / 255.0, 0.0, 1.0));
    }
}

} // namespace

UrlProtocolParser::UrlProtocolParser(const std::string& text)
{
    if (text.size() < 7 || text.compare(4, 3, "://") != 0)
        throw std::invalid_argument("Invalid URL: " + text);
    m_url = "http" + text.substr(4);
    const std::vector<std::string> pieces = Split(m_url, '?');
    m_base = pieces[0];
    if (pieces.size() > 1)
        ParseParameters(pieces[1]);
}

void UrlProtocolParser::ParseParameters(const std::string& query)
{
    std::string datasets;
    for (const std::string& parameter : Split(query, '&'))
    {
        if (parameter.empty())
            continue;
        const std::size_t equals = parameter.find('=');
        const std::string key = parameter.substr(0, equals);
        std::string value;
        if (equals != std::string::npos)
            value = parameter.substr(equals + 1, parameter.find('=', equals + 1) - equals - 1);
        m_parameters.emplace_back(key, value);
        if (key == "datasets")
            datasets = value;
        else
            ApplyParameter(key, value);
    }
    if (!datasets.empty())
        StringUtils::SplitLine(datasets, m_datasets, ',');
}

void UrlProtocolParser::ApplyParameter(const std::string& key, const std::string& value)
{
    if (key == "atlas")
        m_atlasId = StringUtils::ParseUint(value);
    else if (key == "probes")
        m_probes = !value.empty();
    else if (key == "selectedDonor")
        m_selectedDonor = StringUtils::ParseUint(value);
    else if (key == "well")
        m_well = StringUtils::ParseUint(value);
    else if (key == "structure")
        m_structure = StringUtils::ParseUint(value);
    else if (key == "colormap")
        m_colormap = value;
    else if (key == "exprRange")
        ParseExpressionRange(value);
}

void UrlProtocolParser::ParseExpressionRange(const std::string& value)
{
    const std::vector<std::string> pieces = Split(value, ',');
    if (pieces.size() != 2)
        throw std::invalid_argument(value);
    for (int i = 0; i < 2; ++i)
    {
        double bound = 0.0;
        if (!ReadFiniteDecimal(pieces[i], bound))
            throw std::invalid_argument(pieces[i]);
        if (bound < -EXPRESSION_RANGE_LIMIT || bound > EXPRESSION_RANGE_LIMIT)
            throw std::invalid_argument(pieces[i] + " out of range");
        m_exprRange[i] = static_cast<float>(bound);
    }
}

void UrlProtocolParser::RequestData(SearchController* controller)
{
    if (!controller || (m_atlasId == MICROARRAY_ATLAS_ID && !m_probes))
        return;
    const int queued = controller->GetNumQueuedExpressionDownloads();
    if (m_datasets.empty())
        RequestWholeUrl(controller, queued);
    else
        RequestEntries(controller, queued);
}

bool UrlProtocolParser::ConfirmDownloads(int requested, int queued) const
{
    if (static_cast<long long>(requested) + queued <= QUIET_DOWNLOAD_LIMIT)
        return true;
    const std::string message =
        m_datasets.empty()
            ? Fill("Corvane has received a request to download data. %1% data sets are currently queued for "
                   "download. Continue?",
                   "%1%", std::to_string(queued))
            : Fill(Fill("Corvane has received a request to download %1% data sets. %2% data sets are currently "
                        "queued for download. Continue?",
                        "%1%", std::to_string(requested)),
                   "%2%", std::to_string(queued));
    return ShowConfirmationBox(message);
}

void UrlProtocolParser::RequestWholeUrl(SearchController* controller, int queued) const
{
    if (!ConfirmDownloads(1, queued))
        return;
    if (m_atlasId == MICROARRAY_ATLAS_ID)
        controller->FetchMicroarrayData(m_url.c_str(), m_selectedDonor, m_well, m_structure);
    else
        controller->FetchExpressionData(m_url.c_str(), nullptr);
}

void UrlProtocolParser::RequestEntries(SearchController* controller, int queued) const
{
    if (m_base.empty() || !ConfirmDownloads(static_cast<int>(m_datasets.size()), queued))
        return;
    // The entry goes between the two halves as it stands: a '%' of the URL is no placeholder.
    const std::string prefix = m_base.back() == '/' ? m_base : m_base + "/";
    const std::string suffix = FetchUrlSuffix();
    for (const std::string& entry : m_datasets)
    {
        const std::size_t open = entry.find('(');
        float rgb[3] = {0.0f, 0.0f, 0.0f};
        if (open != std::string::npos)
            ReadEntryColor(entry, open, rgb);
        const std::string url = prefix + entry.substr(0, open) + suffix;
        controller->FetchExpressionData(url.c_str(), open != std::string::npos ? rgb : nullptr);
    }
}

std::string UrlProtocolParser::FetchUrlSuffix() const
{
    if (m_parameters.size() <= 1)
        return std::string();
    std::string suffix;
    for (const auto& [key, value] : m_parameters)
    {
        if (key == "datasets")
            continue;
        suffix += (suffix.empty() ? "?" : "&") + key + "=" + value;
    }
    return suffix;
}
