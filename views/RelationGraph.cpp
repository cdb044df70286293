#include "views/RelationGraph.h"

#include "atlas/DecimalText.h"
#include "core/Alerts.h"
#include "core/StringUtils.h"
#include "views/BarnesHutMinimizer.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace GeneRelation
{

namespace
{

const std::size_t MAX_RELATIONS_UNASKED = 5000;
// The drawing size (a share of the view's side) of the larger nodes of a graph of a few nodes, given to a graph
// of one or two, and how far apart those two are.
const float FEW_NODE_SIZE = 0.2f;
const float PAIR_DISTANCE = 0.5f;
// No relation line comes near this; a longer one is skipped instead of being held in memory whole.
const std::size_t MAX_LINE_LENGTH = 1 << 20;

std::string Text(const char* text)
{
    return text ? text : "";
}

// Ids read as the C library's atoi reads them, except that a value beyond the range of int is 0 (not kept)
// rather than undefined.
int ReadId(const std::string& field)
{
    const long long value = DecimalLong(field);
    return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Newline-terminated lines of an open file, read in blocks.
class LineReader
{
public:
    explicit LineReader(std::FILE* file)
        : m_file(file)
    {
    }

    // The next line without its newline; false at the end of the file or after a read error. A line longer
    // than MAX_LINE_LENGTH comes back empty.
    bool Next(std::string& line)
    {
        line.clear();
        bool overlong = false;
        bool any = false;
        for (;;)
        {
            if (m_next == m_end && !Fill())
                return any && !Failed();
            any = true;
            const char* start = m_buffer.data() + m_next;
            const char* stop = m_buffer.data() + m_end;
            const char* newline = static_cast<const char*>(std::memchr(start, '\n', stop - start));
            const char* taken = newline ? newline : stop;
            if (!overlong && line.size() + (taken - start) <= MAX_LINE_LENGTH)
                line.append(start, taken);
            else
            {
                overlong = true;
                line.clear();
            }
            m_next = (newline ? newline + 1 : stop) - m_buffer.data();
            if (newline)
                return true;
        }
    }

    bool Failed() const { return std::ferror(m_file) != 0; }

private:
    bool Fill()
    {
        m_next = 0;
        m_end = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
        return m_end > 0;
    }

    std::FILE* m_file;
    std::vector<char> m_buffer = std::vector<char>(1 << 16);
    std::size_t m_next = 0;
    std::size_t m_end = 0;
};

// One relation as a table line gives it.
struct Relation
{
    int seriesId1 = 0;
    int geneId1 = 0;
    std::string name1, symbol1;
    int seriesId2 = 0;
    int geneId2 = 0;
    std::string name2, symbol2;
    float weight = 0.0f;
};

// Reads the fields of one line by their count: 5 to 8 fields hold ids, symbols and the weight, 9 or more
// add gene ids and names. False for lines that hold no relation to keep.
bool ParseRelation(const std::vector<std::string>& fields, Relation& relation)
{
    if (fields.size() < 5)
        return false;
    if (fields.size() < 9)
    {
        relation.seriesId1 = ReadId(fields[0]);
        relation.name1 = relation.symbol1 = fields[1];
        relation.seriesId2 = ReadId(fields[2]);
        relation.name2 = relation.symbol2 = fields[3];
        relation.weight = DecimalFloat(fields[4]);
    }
    else
    {
        relation.seriesId1 = ReadId(fields[0]);
        relation.geneId1 = ReadId(fields[1]);
        relation.symbol1 = fields[2];
        relation.name1 = fields[3];
        relation.seriesId2 = ReadId(fields[4]);
        relation.geneId2 = ReadId(fields[5]);
        relation.symbol2 = fields[6];
        relation.name2 = fields[7];
        relation.weight = DecimalFloat(fields[8]);
    }
    return relation.seriesId1 != 0 && relation.seriesId2 != 0 && RelationGraph::IsValidWeight(relation.weight);
}

} // namespace

void RelationGraph::DeleteNodes()
{
    m_nodes.clear();
}

void RelationGraph::ImportFile(const char* path)
{
    DeleteNodes();
    const std::string name = Text(path);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "r"));
    struct stat status;
    if (!file || fstat(fileno(file.get()), &status) != 0 || S_ISDIR(status.st_mode))
        throw std::runtime_error("Gene relation file could not be opened: " + name);

    LineReader reader(file.get());
    std::string line;
    std::vector<std::string> fields;
    Relation relation;
    std::size_t kept = 0;
    bool asked = false;
    while (reader.Next(line))
    {
        StringUtils::SplitLine(line, fields, ',');
        if (!ParseRelation(fields, relation))
            continue;
        if (kept == MAX_RELATIONS_UNASKED && !asked)
        {
            asked = true;
            if (!ShowConfirmationBox("5000 rows have been imported so far. Do you want to continue?"))
                break;
        }
        ++kept;
        AddRelation(relation.seriesId1, relation.geneId1, relation.name1.c_str(), relation.symbol1.c_str(),
                    relation.seriesId2, relation.geneId2, relation.name2.c_str(), relation.symbol2.c_str(),
                    relation.weight);
    }
    // A graph of half a file must not pass for the whole of it.
    if (reader.Failed())
    {
        DeleteNodes();
        throw std::runtime_error("Gene relation file could not be read: " + name);
    }
    ComputeLayout();
}

void RelationGraph::ComputeLayout()
{
    BarnesHutMinimizer minimizer(this);
    minimizer.ComputeLayout();
    if (m_nodes.empty())
    {
        m_averageSize = 0.0f;
        return;
    }
    if (m_nodes.size() <= 2)
        PlaceFewNodes();
    float sizes = 0.0f;
    for (const auto& entry : m_nodes)
    {
        entry.second->ComputeNeighborDistance();
        sizes += entry.second->GetSize();
    }
    m_averageSize = sizes / static_cast<float>(m_nodes.size());
}

// The layout scales its nodes to the spread between them, which one node lacks, and two nodes alone span the
// whole square at nearly its size: drawn so, they lie half outside the view. They go in the middle instead,
// a pair along the line that the layout gave it, the larger at the size of a few nodes' larger ones.
void RelationGraph::PlaceFewNodes()
{
    GraphNode& first = *m_nodes.begin()->second;
    GraphNode& last = *m_nodes.rbegin()->second;
    float along[2] = {last.GetPosition()[0] - first.GetPosition()[0], last.GetPosition()[1] - first.GetPosition()[1]};
    const float length = std::sqrt(along[0] * along[0] + along[1] * along[1]);
    if (!(length > 0.0f) || !std::isfinite(length))
    {
        along[0] = 1.0f;
        along[1] = 0.0f;
    }
    else
    {
        along[0] /= length;
        along[1] /= length;
    }
    const float offset = &first == &last ? 0.0f : PAIR_DISTANCE * 0.5f;
    for (GraphNode* node : {&first, &last})
        for (int d = 0; d < 2; ++d)
            node->GetPosition()[d] = 0.5f + (node == &first ? -offset : offset) * along[d];
    const float largest = std::sqrt(std::max(first.GetRepulsionWeight(), last.GetRepulsionWeight()));
    for (GraphNode* node : {&first, &last})
        node->SetSize(largest > 0.0f ? FEW_NODE_SIZE * std::sqrt(node->GetRepulsionWeight()) / largest : FEW_NODE_SIZE);
}

void RelationGraph::Swap(RelationGraph& other)
{
    m_nodes.swap(other.m_nodes);
    std::swap(m_averageSize, other.m_averageSize);
}

bool RelationGraph::IsValidWeight(float weight)
{
    // A negative weight would make a node's size the root of a negative number and could cancel a layout
    // cell's weight to 0, which the layout divides by; NaN and infinity poison every position.
    return std::isfinite(weight) && weight >= 0.0f;
}

bool RelationGraph::AddRelation(int seriesId1, int geneId1, const char* name1, const char* symbol1, int seriesId2,
                                int geneId2, const char* name2, const char* symbol2, float weight)
{
    if (!IsValidWeight(weight))
        return false;
    GraphNode* node1 = GetNode(seriesId1, geneId1, name1, symbol1);
    GraphNode* node2 = GetNode(seriesId2, geneId2, name2, symbol2);
    node1->AddEdge(node2, weight);
    node2->AddEdge(node1, weight);
    return true;
}

GraphNode* RelationGraph::GetNode(int seriesId) const
{
    const auto found = m_nodes.find(seriesId);
    return found == m_nodes.end() ? nullptr : found->second.get();
}

GraphNode* RelationGraph::GetNode(int seriesId, int geneId, const char* name, const char* symbol)
{
    std::unique_ptr<GraphNode>& node = m_nodes[seriesId];
    if (!node)
    {
        const float x = m_positions.Next();
        const float y = m_positions.Next();
        node = std::make_unique<GraphNode>(seriesId, geneId, Text(name), Text(symbol), x, y);
    }
    return node.get();
}

} // namespace GeneRelation
