#include "expression/BookmarksReader.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "atlas/DecimalText.h"
#include "atlas/ParseXMLFile.h"
#include "core/XMLParser.h"
#include "expression/BookmarksIOAdapter.h"

#include <cstring>
#include <stdexcept>

namespace
{

const char* Attribute(const char** attributes, const char* name)
{
    for (const char** a = attributes; a && a[0] && a[1]; a += 2)
        if (std::strcmp(a[0], name) == 0)
            return a[1];
    return nullptr;
}

// -1 for a name that is not a plane.
int PlaneOf(const char* name)
{
    static const char* const NAMES[3] = {"coronal", "horizontal", "sagittal"};
    for (int p = 0; p < 3; ++p)
        if (name && std::strcmp(name, NAMES[p]) == 0)
            return p;
    return -1;
}

float FloatAttribute(const char** attributes, const char* name, float missing)
{
    const char* value = Attribute(attributes, name);
    return value ? DecimalFloat(value) : missing;
}

// Fields of text split at single spaces.
std::vector<std::string> SplitAtSpaces(const std::string& text)
{
    std::vector<std::string> fields(1);
    for (char c : text)
    {
        if (c == ' ')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

} // namespace

BookmarksReader::BookmarksReader(const char* path, BookmarksIOAdapter* adapter, std::shared_ptr<Atlas> atlas)
    : m_adapter(adapter)
    , m_atlas(std::move(atlas))
    , m_selector(0, false)
{
    if (!adapter)
        throw std::invalid_argument("A bookmark adapter is required to read bookmarks.");
    if (!path)
        throw std::invalid_argument("Bookmark file name not specified.");
    if (m_atlas)
        m_ontology = m_atlas->GetOntology();
    m_selector = Bookmark::Selector(m_ontology ? m_ontology->GetNumLabels() : 0, false);
    m_groups.push_back(nullptr);
    XMLParser parser(this);
    ParseXMLFile(parser, path, "Bookmarks file could not be opened.", "Error parsing bookmarks file.");
}

void BookmarksReader::StartElement(const char* name, const char** attributes)
{
    m_text.clear();
    if (std::strcmp(name, "BookmarkGroup") == 0)
        StartGroup(attributes);
    else if (std::strcmp(name, "Bookmark") == 0)
    {
        m_bookmark.Clear(true);
        m_bookmark.SetAtlas(m_atlas);
        m_bookmark.ResetSelectors();
        const char* bookmarkName = Attribute(attributes, "name");
        m_bookmark.SetName(bookmarkName ? bookmarkName : "");
    }
    else if (std::strcmp(name, "Structure") == 0)
        StartStructure(attributes);
    else if (std::strcmp(name, "ClippingPlane") == 0)
        StartClippingPlane(attributes);
    else if (std::strcmp(name, "NisslSlice") == 0)
        StartNisslSlice(attributes);
    else if (std::strcmp(name, "ExpressionLevelThreshold") == 0)
    {
        m_bookmark.AddFlags(Bookmark::THRESHOLDS);
        m_bookmark.SetExpressionLevelThreshold(ReadRange(attributes, 0.0f, -1.0f));
    }
    else if (std::strcmp(name, "ExpressionDensityThreshold") == 0)
    {
        m_bookmark.AddFlags(Bookmark::THRESHOLDS);
        m_bookmark.SetExpressionDensityThreshold(ReadRange(attributes, 0.0f, -1.0f));
    }
    else if (std::strcmp(name, "ExpressionWindow") == 0)
    {
        m_bookmark.AddFlags(Bookmark::THRESHOLDS);
        m_bookmark.SetExpressionWindow(ReadRange(attributes, 256.0f, -256.0f));
    }
    else if (std::strcmp(name, "ExpressionFilter") == 0 || std::strcmp(name, "AtlasStructures") == 0)
    {
        m_selector = Bookmark::Selector(m_ontology ? m_ontology->GetNumLabels() : 0, false);
        m_unknown.clear();
        m_read.clear();
    }
}

void BookmarksReader::StartGroup(const char** attributes)
{
    const char* name = Attribute(attributes, "name");
    const char* expanded = Attribute(attributes, "expanded");
    const std::string groupName = name && *name ? name : "Bookmark Group";
    m_groups.push_back(m_adapter->AddGroup(groupName, expanded && std::strcmp(expanded, "true") == 0, m_groups.back()));
}

void BookmarksReader::StartStructure(const char** attributes)
{
    const char* id = Attribute(attributes, "id");
    const long long databaseId = id ? DecimalLong(id) : 0;
    if (databaseId <= 0)
        return;
    const AnnotationLabel* label =
        m_ontology ? m_ontology->GetAnnotationLabelByDatabaseId(static_cast<unsigned long>(databaseId)) : nullptr;
    const char* abbreviation = Attribute(attributes, "name");
    const Bookmark::StructureRef ref(static_cast<unsigned long>(databaseId), abbreviation ? abbreviation : "");
    // Structures the ontology lacks are kept so that a file shared by several atlases loses nothing of the
    // others' bookmarks.
    if (label && label->index != 0)
        m_selector.Merge(label->selector);
    else
        m_unknown.push_back(ref);
    m_read.push_back(ref);
}

void BookmarksReader::StartClippingPlane(const char** attributes)
{
    const int plane = PlaneOf(Attribute(attributes, "orientation"));
    if (plane < 0)
        return;
    const float lower = FloatAttribute(attributes, "lower", -1.0f);
    const float upper = FloatAttribute(attributes, "upper", -1.0f);
    if (lower >= 0.0f && upper >= 0.0f)
    {
        m_bookmark.AddFlags(Bookmark::CLIPPING_PLANES);
        m_bookmark.SetCuttingPlane(static_cast<Image3dPlane::Plane>(plane), lower, upper);
    }
}

void BookmarksReader::StartNisslSlice(const char** attributes)
{
    const int plane = PlaneOf(Attribute(attributes, "orientation"));
    if (plane < 0)
        return;
    const float location = FloatAttribute(attributes, "location", -1.0f);
    m_bookmark.AddFlags(Bookmark::MPR_SLICES);
    m_bookmark.SetMPRSlice(static_cast<Image3dPlane::Plane>(plane), location >= 0.0f, location);
}

Range BookmarksReader::ReadRange(const char** attributes, float lower, float upper) const
{
    return Range(FloatAttribute(attributes, "lower", lower), FloatAttribute(attributes, "upper", upper));
}

void BookmarksReader::EndElement(const char* name)
{
    if (std::strcmp(name, "ExpressionFilter") == 0)
    {
        m_bookmark.AddFlags(Bookmark::EXPRESSION_FILTER);
        m_bookmark.SetExpressionSelector(m_selector);
        m_bookmark.SetUnknownExpressionStructures(m_unknown);
        m_bookmark.SetReadExpressionStructures(m_read);
    }
    else if (std::strcmp(name, "AtlasStructures") == 0)
    {
        m_bookmark.AddFlags(Bookmark::ATLAS_STRUCTURES);
        m_bookmark.SetStructureSelector(m_selector);
        m_bookmark.SetUnknownStructures(m_unknown);
        m_bookmark.SetReadStructures(m_read);
    }
    else if (std::strcmp(name, "Rotation") == 0)
        EndRotationOrOrigin(true);
    else if (std::strcmp(name, "Origin") == 0)
        EndRotationOrOrigin(false);
    else if (std::strcmp(name, "Zoom") == 0)
    {
        m_bookmark.AddFlags(Bookmark::ZOOM);
        m_bookmark.SetZoom(DecimalFloat(m_text));
    }
    else if (std::strcmp(name, "Bookmark") == 0)
        m_adapter->AddBookmark(m_bookmark, m_groups.back());
    else if (std::strcmp(name, "BookmarkGroup") == 0 && m_groups.size() > 1)
        m_groups.pop_back();
}

void BookmarksReader::EndRotationOrOrigin(bool rotation)
{
    m_bookmark.AddFlags(Bookmark::VIEW_ANGLE);
    const std::vector<std::string> fields = SplitAtSpaces(m_text);
    const size_t needed = rotation ? 4 : 3;
    if (fields.size() < needed)
        return;
    float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < needed; ++i)
        values[i] = DecimalFloat(fields[i]);
    if (rotation)
        m_bookmark.SetRotation(values);
    else
        m_bookmark.SetOrigin(values);
}

void BookmarksReader::DataHandler(const char* text, int length)
{
    if (length > 0)
        m_text.append(text, static_cast<size_t>(length));
}
