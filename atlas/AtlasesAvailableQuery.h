#pragma once

#include "atlas/AtlasDownloadInfo.h"
#include "core/NetEventListener.h"
#include "core/XMLElementHandler.h"
#include "core/XMLParser.h"

#include <string>
#include <vector>

class AtlasesAvailableQueryListener;
class NetFile;

// Fetches the data server's catalogue of atlas packages and keeps the entries that this program may
// install, in catalogue order, one per atlas id. The catalogue is parsed as it arrives; a document that
// breaks off keeps the entries read before the fault. Main thread only.
class AtlasesAvailableQuery : public NetEventListener, public XMLElementHandler
{
public:
    // Starts fetching the catalogue at the settings' atlas-list address. Throws std::runtime_error
    // "Atlas check failed: invalid server address." when that address is empty, and passes on
    // NetFile's "Could not open connection.".
    explicit AtlasesAvailableQuery(AtlasesAvailableQueryListener* listener);
    // The same with the catalogue's address given.
    AtlasesAvailableQuery(AtlasesAvailableQueryListener* listener, const std::string& url);
    // Aborts a running transfer; no callback follows.
    ~AtlasesAvailableQuery() override;

    AtlasesAvailableQuery(const AtlasesAvailableQuery&) = delete;
    AtlasesAvailableQuery& operator=(const AtlasesAvailableQuery&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;

    // Aborts a running transfer; no callback follows.
    virtual void Abort();
    virtual int GetNumAtlases() const;
    // index from 0 to GetNumAtlases() - 1.
    virtual const AtlasDownloadInfo& GetAtlasInfo(int index) const;
    // True when some entry is not installed yet or newer than the installed atlas.
    virtual bool UpdatesAvailable() const;

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* text, int length) override;

private:
    void Feed(const void* data, unsigned long size, bool isFinal);
    void Keep(const AtlasDownloadInfo& info);

    NetFile* m_transfer = nullptr;
    AtlasesAvailableQueryListener* m_listener;
    XMLParser m_parser;
    std::vector<AtlasDownloadInfo> m_entries;
    // Set once the document proved malformed: nothing more is read from it.
    bool m_parseStopped = false;
};
