#pragma once

#include <string>
#include <utility>
#include <vector>

class SearchController;

// A URL of the program's own scheme, as a web page hands it over: which atlas it is for, what to show and
// which data sets to download. The scheme is replaced by "http" and the URL (or the base before its query,
// with one data-set entry at a time) is what is downloaded. Main thread only.
class UrlProtocolParser
{
public:
    // Throws std::invalid_argument: "Invalid URL: <text>" without "://" after a four-letter scheme, the
    // value of a malformed "exprRange", a piece of it that is not a finite decimal number (or that piece
    // followed by " out of range" outside -100000 to 100000), or the text of an id that is not a number.
    explicit UrlProtocolParser(const std::string& text);
    virtual ~UrlProtocolParser() = default;

    // Starts the downloads the URL asks for, asking the user first when they would push the queue past
    // 9. Throws std::invalid_argument for a malformed data-set colour: the entry when its '(' has no final
    // ')', the text inside the parentheses when that is not three finite numbers separated by '/'. The
    // entries before the faulty one have been requested by then.
    virtual void RequestData(SearchController* controller);
    virtual unsigned int GetAtlasId() const { return m_atlasId; }
    // Low, then high; (0, 0) when the URL gave none.
    virtual const float* GetExpressionRange() const { return m_exprRange; }
    // Empty when the URL gave none.
    virtual const std::string& GetColormap() const { return m_colormap; }

private:
    void ParseParameters(const std::string& query);
    void ApplyParameter(const std::string& key, const std::string& value);
    void ParseExpressionRange(const std::string& value);
    bool ConfirmDownloads(int requested, int queued) const;
    void RequestWholeUrl(SearchController* controller, int queued) const;
    void RequestEntries(SearchController* controller, int queued) const;
    std::string FetchUrlSuffix() const;

    std::string m_url;
    std::string m_base;
    unsigned int m_atlasId = 0;
    unsigned int m_selectedDonor = 0;
    unsigned int m_well = 0;
    unsigned int m_structure = 0;
    std::string m_colormap;
    float m_exprRange[2] = {0.0f, 0.0f};
    std::vector<std::string> m_datasets;
    bool m_probes = false;
    std::vector<std::pair<std::string, std::string>> m_parameters;
};
