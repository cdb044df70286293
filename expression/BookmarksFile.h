#pragma once

#include "expression/Bookmark.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// Writes the bookmarks file: the whole text composed from a tree of groups and bookmarks, then put in
// place of "Bookmarks.xml" so that a complete file is always there, whatever step fails.
class BookmarksFile
{
public:
    // A group (with a name, open or not, and items) or a bookmark.
    struct Item
    {
        static Item Group(const std::string& name, bool expanded, std::vector<Item> children);
        static Item Leaf(const Bookmark& bookmark);

        bool isGroup = false;
        std::string name;
        bool expanded = false;
        std::vector<Item> children;
        Bookmark bookmark;
    };

    // The file operations Replace needs, replaceable so that each step can be made to fail.
    class FileOperations
    {
    public:
        virtual ~FileOperations() = default;
        // Creates or truncates the file for writing; -1 on failure.
        virtual int Open(const std::string& path);
        virtual bool Write(int file, const char* data, std::size_t size);
        // Puts the written bytes on the disk.
        virtual bool Flush(int file);
        virtual bool Close(int file);
        virtual bool Exists(const std::string& path);
        // Replaces to with a flushed copy of from.
        virtual bool Copy(const std::string& from, const std::string& to);
        // Replaces to with from in one step.
        virtual bool Rename(const std::string& from, const std::string& to);
        virtual bool Remove(const std::string& path);
    };

    // The whole file: declaration, root element, every item indented by 4 and its levels by 4 more.
    static void Write(std::ostream& out, const std::vector<Item>& items);
    static std::string Compose(const std::vector<Item>& items);

    // Puts text in place of "Bookmarks.xml" in the folder, keeping the previous file as "Bookmarks.bak".
    // False when a step failed; "Bookmarks.xml" is then the file it was before.
    static bool Replace(const std::string& settingsFolder, const std::string& text);
    static bool Replace(const std::string& settingsFolder, const std::string& text, FileOperations& files);

private:
    static void WriteItem(std::ostream& out, const Item& item, int indent);
    static bool WriteNew(FileOperations& files, const std::string& path, const std::string& text);
};
