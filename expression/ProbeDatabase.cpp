#include "expression/ProbeDatabase.h"

#include "core/FileUtils.h"
#include "core/StringUtils.h"

#include <boost/format.hpp>

#include <fstream>
#include <stdexcept>

namespace
{

const char* const PROBE_NOT_FOUND = "Probe not found.";

std::string Message(const char* pattern, const std::string& path)
{
    return (boost::format(pattern) % path).str();
}

// A line of a file written on another system may end in CR LF; the CR is no part of the last field.
bool ReadLine(std::istream& in, std::string& line)
{
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

unsigned int ParseOptionalUint(const std::string& text)
{
    return text.empty() ? 0u : StringUtils::ParseUint(text);
}

} // namespace

ProbeDatabase::ProbeDatabase(const std::string& path)
{
    LoadProbeIndexFile(path);
}

unsigned int ProbeDatabase::FindProbeIndexFromId(unsigned int id) const
{
    const auto found = m_idToIndex.find(id);
    if (found == m_idToIndex.end())
        throw std::invalid_argument(PROBE_NOT_FOUND);
    return found->second;
}

const ProbeDatabase::ProbeInfo& ProbeDatabase::FindProbeByIndex(unsigned int index) const
{
    if (index >= m_probes.size())
        throw std::invalid_argument(PROBE_NOT_FOUND);
    return m_probes[index];
}

const ProbeDatabase::ProbeInfo& ProbeDatabase::FindProbeById(unsigned int id) const
{
    return FindProbeByIndex(FindProbeIndexFromId(id));
}

void ProbeDatabase::FindProbesByGeneName(const std::string& text, std::vector<const ProbeInfo*>& out)
{
    const std::string prefix = StringUtils::ToLowerCase(text);
    for (auto it = m_symbols.lower_bound(prefix);
         it != m_symbols.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        out.push_back(it->second);
}

void ProbeDatabase::LoadProbeIndexFile(const std::string& path)
{
    std::fstream file;
    OpenStream(file, path.c_str(), std::ios::in | std::ios::binary);
    if (!file)
        throw std::runtime_error(Message("Could not open probe index file: %1%", path));
    std::string line;
    if (!ReadLine(file, line))
        throw std::runtime_error(Message("Unexpected end of probe index file: %1%", path));

    m_idToIndex.clear();
    m_probes.clear();
    m_symbols.clear();
    m_probes.reserve(RESERVED_PROBES);
    std::vector<std::string> fields;
    for (unsigned int lineNumber = 2; ReadLine(file, line); ++lineNumber)
    {
        StringUtils::SplitLine(line, fields, ',');
        if (fields.size() < 6)
            break;
        AddRecord(fields, path, lineNumber);
    }

    ProbeInfo closing;
    closing.index = static_cast<unsigned int>(m_probes.size());
    closing.probeName = closing.geneSymbol = closing.geneName = "n/a";
    m_idToIndex[0] = closing.index;
    m_probes.push_back(closing);
    // The vector is complete: pointers into it stay valid from here on.
    for (const ProbeInfo& probe : m_probes)
        m_symbols.emplace(StringUtils::ToLowerCase(probe.geneSymbol), &probe);
}

void ProbeDatabase::AddRecord(const std::vector<std::string>& fields, const std::string& path, unsigned int line)
{
    ProbeInfo probe;
    probe.index = static_cast<unsigned int>(m_probes.size());
    try
    {
        probe.id = StringUtils::ParseUint(fields[0]);
        probe.geneId = StringUtils::ParseUint(fields[2]);
        probe.entrezId = ParseOptionalUint(fields[5]);
    }
    catch (const std::invalid_argument&)
    {
        throw std::runtime_error(
            (boost::format("Probe index file could not be read: %1% (line %2%)") % path % line).str());
    }
    probe.probeName = fields[1];
    probe.geneSymbol = fields[3];
    probe.geneName = fields[4];
    m_idToIndex[probe.id] = probe.index;
    m_probes.push_back(std::move(probe));
}
