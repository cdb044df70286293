#include "expression/BookmarksFile.h"

#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Makes a rename durable: the folder's entry is on disk too.
void FlushFolderOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

BookmarksFile::Item BookmarksFile::Item::Group(const std::string& name, bool expanded, std::vector<Item> children)
{
    Item item;
    item.isGroup = true;
    item.name = name;
    item.expanded = expanded;
    item.children = std::move(children);
    return item;
}

BookmarksFile::Item BookmarksFile::Item::Leaf(const Bookmark& bookmark)
{
    Item item;
    item.name = bookmark.GetName();
    item.bookmark = bookmark;
    return item;
}

int BookmarksFile::FileOperations::Open(const std::string& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

bool BookmarksFile::FileOperations::Write(int file, const char* data, std::size_t size)
{
    while (size > 0)
    {
        const ssize_t written = ::write(file, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool BookmarksFile::FileOperations::Flush(int file)
{
    return ::fsync(file) == 0;
}

bool BookmarksFile::FileOperations::Close(int file)
{
    return ::close(file) == 0;
}

bool BookmarksFile::FileOperations::Exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool BookmarksFile::FileOperations::Copy(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    // A folder opens for reading too: the backup would be truncated before the first read failed.
    struct stat info;
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode))
    {
        ::close(in);
        return false;
    }
    const int out = Open(to);
    bool ok = out >= 0;
    char buffer[65536];
    while (ok)
    {
        const ssize_t count = ::read(in, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
        {
            ok = count == 0;
            break;
        }
        ok = Write(out, buffer, static_cast<std::size_t>(count));
    }
    ::close(in);
    if (out >= 0)
    {
        ok = Flush(out) && ok;
        ok = Close(out) && ok;
    }
    return ok;
}

bool BookmarksFile::FileOperations::Rename(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return false;
    FlushFolderOf(to);
    return true;
}

bool BookmarksFile::FileOperations::Remove(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

void BookmarksFile::Write(std::ostream& out, const std::vector<Item>& items)
{
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Bookmarks>\n";
    for (const Item& item : items)
        WriteItem(out, item, 4);
    out << "</Bookmarks>\n";
}

std::string BookmarksFile::Compose(const std::vector<Item>& items)
{
    std::ostringstream text;
    Write(text, items);
    return text.str();
}

void BookmarksFile::WriteItem(std::ostream& out, const Item& item, int indent)
{
    if (!item.isGroup)
    {
        // Each bookmark's selectors index the ontology of its own atlas.
        const std::shared_ptr<Atlas>& atlas = item.bookmark.GetAtlas();
        const std::shared_ptr<BrainOntology> ontology = atlas ? atlas->GetOntology() : nullptr;
        item.bookmark.SaveXML(out, ontology.get(), indent);
        return;
    }
    const std::string pad(static_cast<std::size_t>(indent), ' ');
    out << pad << "<BookmarkGroup name=\"" << Bookmark::XMLAttributeText(item.name) << '"';
    if (item.expanded)
        out << " expanded=\"true\"";
    out << ">\n";
    for (const Item& child : item.children)
        WriteItem(out, child, indent + 4);
    out << pad << "</BookmarkGroup>\n";
}

bool BookmarksFile::Replace(const std::string& settingsFolder, const std::string& text)
{
    FileOperations files;
    return Replace(settingsFolder, text, files);
}

bool BookmarksFile::WriteNew(FileOperations& files, const std::string& path, const std::string& text)
{
    const int file = files.Open(path);
    if (file < 0)
        return false;
    bool ok = files.Write(file, text.data(), text.size()) && files.Flush(file);
    ok = files.Close(file) && ok;
    if (!ok)
        files.Remove(path);
    return ok;
}

bool BookmarksFile::Replace(const std::string& settingsFolder, const std::string& text, FileOperations& files)
{
    const std::string base = settingsFolder + "/Bookmarks";
    const std::string fresh = base + ".new";
    const std::string current = base + ".xml";
    // Whatever already stands at ".new" (a folder, a file we may not write) is not ours to remove.
    if (!WriteNew(files, fresh, text))
        return false;
    // The previous file stays in place until the new one replaces it in one step: there is never a
    // moment without a complete "Bookmarks.xml".
    if (files.Exists(current) && !files.Copy(current, base + ".bak"))
    {
        files.Remove(fresh);
        return false;
    }
    if (!files.Rename(fresh, current))
    {
        files.Remove(fresh);
        return false;
    }
    return true;
}
