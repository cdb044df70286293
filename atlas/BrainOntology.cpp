#include "atlas/BrainOntology.h"

#include <algorithm>
#include <fstream>
#include <numeric>
#include <stdexcept>

#include <boost/format.hpp>

#include "atlas/BrainLabelLess.h"
#include "atlas/DecimalText.h"
#include "core/StringUtils.h"

namespace
{

const char UTF8_BOM[] = "\xEF\xBB\xBF";

std::runtime_error OntologyError(const char* message, const char* path)
{
    return std::runtime_error((boost::format(message) % path).str());
}

// Tables written on Windows end their lines with CR LF; the CR is no part of the last field.
bool ReadLine(std::istream& in, std::string& line)
{
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

// Union-find over label indices: a parent link inside one tree would close a cycle.
class TreeSets
{
public:
    explicit TreeSets(unsigned int n)
        : rep(n)
    {
        std::iota(rep.begin(), rep.end(), 0u);
    }

    unsigned int Find(unsigned int i)
    {
        while (rep[i] != i)
        {
            rep[i] = rep[rep[i]];
            i = rep[i];
        }
        return i;
    }

    bool Join(unsigned int child, unsigned int parent)
    {
        const unsigned int a = Find(child), b = Find(parent);
        if (a == b)
            return false;
        rep[a] = b;
        return true;
    }

private:
    std::vector<unsigned int> rep;
};

} // namespace

struct BrainOntology::Columns
{
    int name = -1, abbreviation = -1, parent = -1, red = -1, green = -1, blue = -1, id = -1, databaseId = -1,
        order = -1, level = -1, meshName = -1;
    size_t rowLength = 0;
};

BrainOntology::BrainOntology(const char* path, bool parentIsDatabaseId, bool hasHeader, bool defaultHasMesh)
{
    Load(path, parentIsDatabaseId, hasHeader, defaultHasMesh);
}

void BrainOntology::Load(const char* path, bool parentIsDatabaseId, bool hasHeader, bool defaultHasMesh)
{
    if (!path)
        throw std::invalid_argument("Ontology file path not specified.");
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file)
        throw OntologyError("Could not open ontology file: %1%", path);

    // A file without a single data row would leave nothing to answer lookups with, so it is refused.
    std::string line;
    const bool hasMark = ReadLine(file, line) && line.compare(0, 3, UTF8_BOM) == 0;
    if (hasMark)
        line.erase(0, 3);
    if (line.empty() && (hasHeader || !hasMark))
        throw OntologyError("Could not read ontology file: %1%", path);

    Columns columns;
    std::vector<std::string> rows;
    if (hasHeader)
        ReadHeader(line, columns);
    else
    {
        columns = Columns{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1, 10};
        if (!line.empty())
            rows.push_back(line);
    }
    while (ReadLine(file, line))
    {
        if (line.empty())
            continue;
        if (rows.size() == MAX_ROWS)
            throw OntologyError("Unexpected line while reading ontology file: %1%", path);
        rows.push_back(line);
    }
    if (rows.empty())
        throw OntologyError("Could not read ontology file: %1%", path);

    m_numLabels = static_cast<unsigned int>(rows.size()) + 1;
    m_labels.assign(m_numLabels, AnnotationLabel(m_numLabels));
    m_labels[0].databaseId = 0;

    std::vector<std::string> parentRefs(m_numLabels);
    for (unsigned int i = 1; i < m_numLabels; ++i)
        ReadRow(rows[i - 1], columns, defaultHasMesh, i, path, parentRefs[i]);
    m_alphabeticalOrder.resize(m_numLabels - 1);
    std::iota(m_alphabeticalOrder.begin(), m_alphabeticalOrder.end(), static_cast<unsigned short>(1));

    BuildValueTable();
    SortAlphabetically();
    LinkParents(parentRefs, parentIsDatabaseId);

    m_labels[0].selector.Set(m_numLabels, true);
    m_labels[0].subtreeSelector = m_labels[0].selector;

    GeneralAnnotationSelector<unsigned long long> seen(m_numLabels, false);
    CalculateParentsAndChildren(&m_labels[1], seen, 0);
    m_labels[1].shortName = m_labels[1].name;
}

void BrainOntology::ReadHeader(const std::string& line, Columns& columns) const
{
    std::vector<std::string> fields;
    StringUtils::SplitLine(line, fields, ',');
    const std::pair<const char*, int Columns::*> known[] = {{"name", &Columns::name},
                                                            {"abbreviation", &Columns::abbreviation},
                                                            {"parent", &Columns::parent},
                                                            {"red", &Columns::red},
                                                            {"green", &Columns::green},
                                                            {"blue", &Columns::blue},
                                                            {"id", &Columns::id},
                                                            {"database_id", &Columns::databaseId},
                                                            {"order", &Columns::order},
                                                            {"level", &Columns::level},
                                                            {"mesh_name", &Columns::meshName}};
    for (size_t f = 0; f < fields.size(); ++f)
        for (const auto& [key, column] : known)
            if (fields[f] == key)
                columns.*column = static_cast<int>(f);
    if (columns.abbreviation < 0 || columns.parent < 0 || columns.id < 0)
        throw std::runtime_error("Ontology file is missing required fields.");
    columns.rowLength = fields.size();
}

void BrainOntology::ReadRow(const std::string& line, const Columns& columns, bool defaultHasMesh, unsigned int index,
                            const std::string& path, std::string& parentRef)
{
    std::vector<std::string> fields;
    StringUtils::SplitLine(line, fields, ',');
    if (fields.size() < columns.rowLength)
        throw OntologyError("Unexpected line while reading ontology file: %1%", path.c_str());

    AnnotationLabel& label = m_labels[index];
    label.abbreviation = fields[columns.abbreviation];
    label.annotationValue = static_cast<unsigned short>(DecimalLong(fields[columns.id]));
    if (columns.name >= 0)
        label.name = fields[columns.name];
    const int colorColumns[3] = {columns.red, columns.green, columns.blue};
    for (int c = 0; c < 3; ++c)
        if (colorColumns[c] >= 0)
            label.color[c] = static_cast<unsigned char>(DecimalLong(fields[colorColumns[c]]));
    if (columns.databaseId >= 0)
        label.databaseId = StringUtils::ParseUint(fields[columns.databaseId]);
    if (columns.order >= 0)
        label.order = DecimalInt(fields[columns.order]);
    if (columns.level >= 0)
        label.level = DecimalInt(fields[columns.level]);
    label.meshName = AnnotationLabel::MeshNameOf(columns.meshName >= 0 ? fields[columns.meshName] : std::string(),
                                                 columns.meshName >= 0, label.abbreviation);
    label.hasMesh = defaultHasMesh;
    label.index = index;
    m_abbreviationMap[label.abbreviation] = &label;
    m_databaseIdMap[label.databaseId] = &label;
    parentRef = fields[columns.parent];
}

void BrainOntology::BuildValueTable()
{
    unsigned short largest = 0;
    for (const AnnotationLabel& label : m_labels)
        largest = std::max(largest, label.annotationValue);
    m_valueTable.assign(static_cast<size_t>(largest) + 1, 0);
    for (const AnnotationLabel& label : m_labels)
        m_valueTable[label.annotationValue] = static_cast<unsigned short>(label.index);
}

void BrainOntology::SortAlphabetically()
{
    // Stable, so that names equal but for case keep their file order on every platform.
    std::stable_sort(m_alphabeticalOrder.begin(), m_alphabeticalOrder.end(), BrainLabelLess(*this));
    m_alphabeticalOrder.push_back(0);
}

void BrainOntology::LinkParents(const std::vector<std::string>& parentRefs, bool parentIsDatabaseId)
{
    TreeSets trees(m_numLabels);
    for (unsigned int i = 1; i < m_numLabels; ++i)
    {
        AnnotationLabel& label = m_labels[i];
        AnnotationLabel* parent = nullptr;
        const std::string& ref = parentRefs[i];
        if (parentIsDatabaseId)
        {
            const unsigned long id = ref.empty() ? 0 : StringUtils::ParseUint(ref);
            const auto found = id != 0 ? m_databaseIdMap.find(id) : m_databaseIdMap.end();
            if (found != m_databaseIdMap.end())
                parent = found->second;
        }
        else if (!ref.empty())
        {
            const auto found = m_abbreviationMap.find(ref);
            if (found != m_abbreviationMap.end())
                parent = found->second;
        }

        // A link that would make a structure its own ancestor counts as an undefined parent.
        if (!parent || !trees.Join(i, parent->index))
        {
            label.shortName = label.name;
            continue;
        }
        label.parent = parent;
        parent->children.push_back(&label);
        const std::string lowerName = StringUtils::ToLowerCase(label.name);
        const std::string prefix = StringUtils::ToLowerCase(parent->name) + ", ";
        label.shortName =
            lowerName.compare(0, prefix.size(), prefix) == 0 ? label.name.substr(prefix.size()) : label.name;
    }
}

GeneralAnnotationSelector<unsigned long long> BrainOntology::CalculateParentsAndChildren(
    AnnotationLabel* label, GeneralAnnotationSelector<unsigned long long>& seen, int depth)
{
    // Walked with an explicit stack: an ontology may be tens of thousands of levels deep.
    struct Frame
    {
        AnnotationLabel* label;
        int depth;
        size_t next;
    };
    std::vector<Frame> stack{{label, depth, 0}};
    seen.Set(label->index, true);
    while (!stack.empty())
    {
        Frame& frame = stack.back();
        AnnotationLabel* current = frame.label;
        if (frame.next < current->children.size())
        {
            AnnotationLabel* child = current->children[frame.next++];
            if (current->level <= AnnotationLabel::LEVEL_UNSET)
                current->level = frame.depth;
            if (seen.IsSet(child->index))
                continue;
            seen.Set(child->index, true);
            stack.push_back({child, frame.depth + 1, 0});
            continue;
        }
        current->subtreeSelector.Set(current->index, true);
        current->selector.Set(current->index, true);
        stack.pop_back();
        if (!stack.empty())
        {
            AnnotationLabel* parent = stack.back().label;
            parent->subtreeSelector.Merge(current->subtreeSelector);
            parent->childrenSelector.Merge(current->selector);
        }
    }
    return label->subtreeSelector;
}

const AnnotationLabel* BrainOntology::GetAnnotationLabel(unsigned short value) const
{
    return value < m_valueTable.size() ? &m_labels[m_valueTable[value]] : &m_labels[0];
}

const AnnotationLabel* BrainOntology::GetAnnotationLabel(const std::string& abbreviation) const
{
    const auto found = m_abbreviationMap.find(abbreviation);
    return found != m_abbreviationMap.end() ? found->second : &m_labels[0];
}

const AnnotationLabel* BrainOntology::GetAnnotationLabelByIndex(unsigned int index) const
{
    return index < m_numLabels ? &m_labels[index] : &m_labels[0];
}

const AnnotationLabel* BrainOntology::GetAnnotationLabelByAlphabeticalIndex(unsigned int position) const
{
    return position < m_alphabeticalOrder.size() ? &m_labels[m_alphabeticalOrder[position]] : &m_labels[0];
}

const AnnotationLabel* BrainOntology::GetAnnotationLabelByDatabaseId(unsigned long id) const
{
    const auto found = m_databaseIdMap.find(id);
    return found != m_databaseIdMap.end() ? found->second : &m_labels[0];
}

void BrainOntology::SetAnnotationAtIndexHasSpatialObject(unsigned int index, bool hasMesh, bool withAncestors)
{
    if (index >= m_numLabels)
        return;
    for (AnnotationLabel* label = &m_labels[index]; label; label = withAncestors ? label->parent : nullptr)
        label->hasMesh = hasMesh;
}

bool BrainOntology::SetAnnotationWithDatabaseIdHasSpatialObject(unsigned int id, bool hasMesh)
{
    const auto found = m_databaseIdMap.find(id);
    if (found == m_databaseIdMap.end())
        return false;
    found->second->hasMesh = hasMesh;
    return true;
}

void BrainOntology::SelectorToLabelList(const GeneralAnnotationSelector<unsigned long long>& selector,
                                        std::vector<const AnnotationLabel*>& list) const
{
    list.clear();
    for (const AnnotationLabel& label : m_labels)
        if (label.selector.Intersects(selector))
            list.push_back(&label);
}

GeneralAnnotationSelector<unsigned long long> BrainOntology::SelectorForLevel(int level) const
{
    GeneralAnnotationSelector<unsigned long long> result(m_numLabels, false);
    for (const AnnotationLabel& label : m_labels)
        if (label.level == level)
            result.Merge(label.selector);
    return result;
}
