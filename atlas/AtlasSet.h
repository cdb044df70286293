#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Atlas;
class AtlasSpace;

// The atlases installed under the user atlas folder, sorted by name. One instance serves the process. While
// the list is rebuilt in the background the set reads as empty.
class AtlasSet
{
public:
    // The process instance, built and loaded on the first call; never destroyed.
    static AtlasSet* GetAtlases();
    // The atlas of a project code, or null.
    static std::shared_ptr<Atlas> GetAtlas(const std::string& projectCode);
    // The first atlas in list order with that id, or null.
    static std::shared_ptr<Atlas> GetAtlasWithId(unsigned int id);
    static AtlasSpace* GetAtlasSpace(const std::string& projectCode, const std::string& spaceName);

    virtual ~AtlasSet();

    AtlasSet(const AtlasSet&) = delete;
    AtlasSet& operator=(const AtlasSet&) = delete;

    virtual bool IsLoading() const { return m_loading; }
    // Set before rebuilding the list on another thread; Reload clears it.
    virtual void SetLoading(bool loading) { m_loading = loading; }
    // Rescans the atlas folder; a folder that does not hold a usable atlas is left out.
    virtual void Reload();
    // 0 while loading.
    virtual int GetNumAtlases() const;
    // Throws std::out_of_range for a position not below the count (0 while loading).
    virtual std::shared_ptr<Atlas> GetAtlas(int position) const;

    // An atlas folder that the last Reload left out because a file of it could not be read: the user is to
    // learn why an installed atlas is missing.
    struct Rejection
    {
        std::string folder;
        std::string file; // the folder itself when the failure names no file
        std::string reason;
    };
    // Empty while loading, as the list is.
    const std::vector<Rejection>& GetRejections() const;

protected:
    AtlasSet();

private:
    static AtlasSet* sAtlasSet;

    std::vector<std::shared_ptr<Atlas>> m_atlases;
    std::map<std::string, std::shared_ptr<Atlas>> m_projectMap;
    std::vector<Rejection> m_rejections;
    // Written by the installing thread and read by the main thread.
    std::atomic<bool> m_loading{true};
};
