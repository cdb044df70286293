#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

// The index of the probes of an installed microarray atlas, read from its "probe_info.csv": one record
// per probe, whose row is also the probe's row of values in every donor's "samples.raw". A closing
// record with id 0 and "n/a" texts follows the rows. Records never change after loading, so the
// pointers handed out stay valid for the database's lifetime.
//
// "probe_info.csv": a header line, then probe_id,probe_name,gene_id,gene_symbol,gene_name,entrez_id per
// line (an empty Entrez id is 0); reading stops at the first line of fewer than six fields.
class ProbeDatabase
{
public:
    struct ProbeInfo
    {
        unsigned int index = 0;
        unsigned int id = 0;
        unsigned int geneId = 0;
        unsigned int entrezId = 0;
        std::string probeName;
        std::string geneSymbol;
        std::string geneName;
    };

    // Loads the file at once; throws what LoadProbeIndexFile throws.
    explicit ProbeDatabase(const std::string& path);
    virtual ~ProbeDatabase() = default;

    ProbeDatabase(const ProbeDatabase&) = delete;
    ProbeDatabase& operator=(const ProbeDatabase&) = delete;

    // Throws std::invalid_argument "Probe not found." for an id that no record has.
    virtual unsigned int FindProbeIndexFromId(unsigned int id) const;
    // The records, the closing one included.
    virtual unsigned int GetNumProbes() const { return static_cast<unsigned int>(m_probes.size()); }
    // Appends every record whose gene symbol begins with text (letter case ignored), by symbol.
    virtual void FindProbesByGeneName(const std::string& text, std::vector<const ProbeInfo*>& out);
    // Both throw std::invalid_argument "Probe not found.".
    virtual const ProbeInfo& FindProbeById(unsigned int id) const;
    virtual const ProbeInfo& FindProbeByIndex(unsigned int index) const;
    // Throws std::runtime_error "Could not open probe index file: " + path, "Unexpected end of probe index
    // file: " + path without a header line, or "Probe index file could not be read: " + path with the line
    // for a number that is not an unsigned value.
    virtual void LoadProbeIndexFile(const std::string& path);

    static constexpr unsigned int RESERVED_PROBES = 60000;

private:
    void AddRecord(const std::vector<std::string>& fields, const std::string& path, unsigned int line);

    std::unordered_map<unsigned int, unsigned int> m_idToIndex;
    std::vector<ProbeInfo> m_probes;
    // By lower-case gene symbol.
    std::multimap<std::string, const ProbeInfo*> m_symbols;
};
