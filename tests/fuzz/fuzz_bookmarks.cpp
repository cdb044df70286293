#include "expression/Bookmark.h"
#include "expression/BookmarksFile.h"
#include "expression/BookmarksIOAdapter.h"
#include "expression/BookmarksReader.h"
#include "expression/BrainExpressionModel.h"

#include "tests/fuzz/FuzzAtlases.h"
#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace
{
using Item = BookmarksFile::Item;

// Builds the tree of groups and bookmarks that the reader hands over, as the bookmarks outline keeps it.
class TreeAdapter : public BookmarksIOAdapter
{
public:
    void* AddGroup(const std::string& name, bool expanded, void* parent) override
    {
        m_records.push_back({true, name, expanded, Bookmark(), Handle(parent)});
        return reinterpret_cast<void*>(m_records.size());
    }
    void AddBookmark(const Bookmark& bookmark, void* parent) override
    {
        m_records.push_back({false, std::string(), false, bookmark, Handle(parent)});
    }

    std::vector<Item> Items() const { return Children(0); }
    std::vector<Bookmark> Bookmarks() const
    {
        std::vector<Bookmark> bookmarks;
        for (const Record& record : m_records)
            if (!record.isGroup)
                bookmarks.push_back(record.bookmark);
        return bookmarks;
    }

private:
    struct Record
    {
        bool isGroup;
        std::string name;
        bool expanded;
        Bookmark bookmark;
        std::size_t parent; // 0 for the top level, else the group's position + 1
    };

    static std::size_t Handle(void* parent) { return reinterpret_cast<std::size_t>(parent); }

    std::vector<Item> Children(std::size_t parent) const
    {
        std::vector<Item> items;
        for (std::size_t i = 0; i < m_records.size(); ++i)
        {
            const Record& record = m_records[i];
            if (record.parent != parent)
                continue;
            items.push_back(record.isGroup ? Item::Group(record.name, record.expanded, Children(i + 1))
                                           : Item::Leaf(record.bookmark));
        }
        return items;
    }

    std::vector<Record> m_records;
};

// The file's groups and bookmarks, or an empty text when the file cannot be read.
std::string ReadAndCompose(const std::string& path, TreeAdapter& adapter)
{
    try
    {
        BookmarksReader reader(path.c_str(), &adapter, FuzzAtlas(310));
    }
    catch (const std::exception&)
    {
        return std::string();
    }
    return BookmarksFile::Compose(adapter.Items());
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzAtlases();
    return 0;
}

// A bookmarks file as the user's settings folder holds it: read, written back, read again and written
// again, which must give the same text, and each bookmark restored into a model of its atlas. Seeds:
// bookmarks files written by the program for the generated atlases.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TreeAdapter first;
    const std::string text = ReadAndCompose(FuzzTempFile::Write("Bookmarks.xml", data, size), first);
    if (!text.empty())
    {
        TreeAdapter second;
        const std::string again = ReadAndCompose(
            FuzzTempFile::Write("Again.xml", reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), second);
        if (again != text)
        {
            std::fprintf(stderr, "A bookmarks file written back reads differently:\n%s\n---\n%s\n", text.c_str(),
                         again.c_str());
            std::abort();
        }
    }
    BrainExpressionModel model(FuzzAtlas(310));
    for (const Bookmark& bookmark : first.Bookmarks())
    {
        try
        {
            bookmark.Restore(&model);
        }
        catch (const std::exception&)
        {
        }
    }
    return 0;
}
