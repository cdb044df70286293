#pragma once

#include "core/XMLElementHandler.h"
#include "expression/Bookmark.h"

#include <memory>
#include <string>
#include <vector>

class Atlas;
class BookmarksIOAdapter;
class BrainOntology;

// Reads a bookmarks file during construction and hands its groups and bookmarks to the adapter in file
// order; the object is discarded afterwards. The bookmarks read keep the atlas, whose ontology their
// structure selectors index; structures that ontology lacks are kept by database id and abbreviation, and
// every structure line as read, so that a bookmark left unchanged is written back as it was.
// Throws std::invalid_argument for a null adapter or path and std::runtime_error for a file that cannot
// be opened or parsed; what was read before a parse error has reached the adapter.
class BookmarksReader : private XMLElementHandler
{
public:
    BookmarksReader(const char* path, BookmarksIOAdapter* adapter, std::shared_ptr<Atlas> atlas);

private:
    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* text, int length) override;

    void StartGroup(const char** attributes);
    void StartStructure(const char** attributes);
    void StartClippingPlane(const char** attributes);
    void StartNisslSlice(const char** attributes);
    Range ReadRange(const char** attributes, float lower, float upper) const;
    void EndRotationOrOrigin(bool rotation);

    BookmarksIOAdapter* m_adapter;
    std::shared_ptr<Atlas> m_atlas;
    std::shared_ptr<BrainOntology> m_ontology;
    std::vector<void*> m_groups;
    Bookmark::Selector m_selector;
    std::vector<Bookmark::StructureRef> m_unknown;
    std::vector<Bookmark::StructureRef> m_read;
    Bookmark m_bookmark;
    std::string m_text;
};
