#include "atlas/AtlasSet.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "core/Directories.h"
#include "core/ResourcePath.h"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <stdexcept>

namespace fs = boost::filesystem;

AtlasSet* AtlasSet::sAtlasSet = nullptr;

AtlasSet::AtlasSet() = default;

AtlasSet::~AtlasSet() = default;

AtlasSet* AtlasSet::GetAtlases()
{
    if (!sAtlasSet)
    {
        sAtlasSet = new AtlasSet();
        sAtlasSet->Reload();
    }
    return sAtlasSet;
}

std::shared_ptr<Atlas> AtlasSet::GetAtlas(const std::string& projectCode)
{
    const AtlasSet* set = GetAtlases();
    const auto found = set->m_projectMap.find(projectCode);
    return found != set->m_projectMap.end() ? found->second : nullptr;
}

std::shared_ptr<Atlas> AtlasSet::GetAtlasWithId(unsigned int id)
{
    for (const std::shared_ptr<Atlas>& atlas : GetAtlases()->m_atlases)
        if (atlas->GetAtlasId() == id)
            return atlas;
    return nullptr;
}

AtlasSpace* AtlasSet::GetAtlasSpace(const std::string& projectCode, const std::string& spaceName)
{
    const std::shared_ptr<Atlas> atlas = GetAtlas(projectCode);
    return atlas ? atlas->GetSpace(spaceName) : nullptr;
}

void AtlasSet::Reload()
{
    m_atlases.clear();
    m_projectMap.clear();
    m_rejections.clear();
    try
    {
        const fs::path folder = fs::path(ResourcePath::GetUserAtlasPath()) / "Atlases";
        EnsureDirectory(folder);

        // Sorted, so that which of two atlases with one id wins does not depend on the file system.
        std::vector<fs::path> entries;
        for (fs::directory_iterator entry(folder), end; entry != end; ++entry)
            entries.push_back(entry->path());
        std::sort(entries.begin(), entries.end());

        for (const fs::path& entry : entries)
        {
            boost::system::error_code error;
            if (!fs::is_directory(entry, error) || !fs::is_regular_file(entry / "Info.xml", error))
                continue;
            std::shared_ptr<Atlas> atlas;
            try
            {
                atlas = std::make_shared<Atlas>(entry.string());
            }
            catch (const AtlasFileError& error)
            {
                // An atlas that cannot be built is not offered, but the user hears why it is missing.
                m_rejections.push_back({entry.string(), error.GetFile(), error.what()});
                continue;
            }
            catch (const std::exception& error)
            {
                m_rejections.push_back({entry.string(), entry.string(), error.what()});
                continue;
            }
            catch (...)
            {
                continue;
            }
            const unsigned int id = atlas->GetAtlasId();
            if (std::any_of(m_atlases.begin(), m_atlases.end(),
                            [id](const std::shared_ptr<Atlas>& other) { return other->GetAtlasId() == id; }))
                continue;
            m_atlases.push_back(atlas);
            m_projectMap[atlas->GetProject()] = atlas;
        }
    }
    catch (const std::exception&)
    {
        // Without an atlas folder there are no atlases to offer.
    }
    std::stable_sort(
        m_atlases.begin(), m_atlases.end(),
        [](const std::shared_ptr<Atlas>& a, const std::shared_ptr<Atlas>& b) { return a->GetName() < b->GetName(); });
    m_loading = false;
}

int AtlasSet::GetNumAtlases() const
{
    return m_loading ? 0 : static_cast<int>(m_atlases.size());
}

std::shared_ptr<Atlas> AtlasSet::GetAtlas(int position) const
{
    // While loading the count is 0: the list may be in the middle of a rebuild on another thread.
    if (position < 0 || position >= GetNumAtlases())
        throw std::out_of_range("atlas position out of range");
    return m_atlases[static_cast<std::size_t>(position)];
}

const std::vector<AtlasSet::Rejection>& AtlasSet::GetRejections() const
{
    static const std::vector<Rejection> none;
    return m_loading ? none : m_rejections;
}
