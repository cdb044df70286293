#pragma once

#include <map>
#include <string>
#include <vector>

#include "atlas/AnnotationLabel.h"
#include "atlas/GeneralAnnotationSelector.h"

// The structure tree of an atlas, read from its ontology table. Lookups never fail: whatever the
// table lacks answers label 0, "No Annotation". The table is not changed after loading, so label
// pointers stay valid for the lifetime of the ontology.
class BrainOntology
{
public:
    // parentIsDatabaseId: the parent column holds database ids (else abbreviations);
    // hasHeader: the first line names the columns (else the fixed ten-column layout);
    // defaultHasMesh: the has-mesh flag that every structure starts with.
    BrainOntology(const char* path, bool parentIsDatabaseId, bool hasHeader, bool defaultHasMesh);
    virtual ~BrainOntology() = default;

    BrainOntology(const BrainOntology&) = delete;
    BrainOntology& operator=(const BrainOntology&) = delete;

    const AnnotationLabel* GetAnnotationLabel(unsigned short value) const;
    const AnnotationLabel* GetAnnotationLabel(const std::string& abbreviation) const;
    const AnnotationLabel* GetAnnotationLabelByIndex(unsigned int index) const;
    const AnnotationLabel* GetAnnotationLabelByAlphabeticalIndex(unsigned int position) const;
    const AnnotationLabel* GetAnnotationLabelByDatabaseId(unsigned long id) const;

    void SetAnnotationAtIndexHasSpatialObject(unsigned int index, bool hasMesh, bool withAncestors);
    bool SetAnnotationWithDatabaseIdHasSpatialObject(unsigned int id, bool hasMesh);

    void SelectorToLabelList(const GeneralAnnotationSelector<unsigned long long>& selector,
                             std::vector<const AnnotationLabel*>& labels) const;
    GeneralAnnotationSelector<unsigned long long> SelectorForLevel(int level) const;

    const std::vector<AnnotationLabel>& GetLabels() const { return m_labels; }
    unsigned int GetNumLabels() const { return m_numLabels; }

    // Label indices are 16-bit and index 0 is "No Annotation": at most this many data rows fit.
    static constexpr unsigned int MAX_ROWS = 65535;

protected:
    void Load(const char* path, bool parentIsDatabaseId, bool hasHeader, bool defaultHasMesh);
    GeneralAnnotationSelector<unsigned long long> CalculateParentsAndChildren(
        AnnotationLabel* label, GeneralAnnotationSelector<unsigned long long>& seen, int depth);

private:
    struct Columns;

    void ReadHeader(const std::string& line, Columns& columns) const;
    void ReadRow(const std::string& line, const Columns& columns, bool defaultHasMesh, unsigned int index,
                 const std::string& path, std::string& parentRef);
    void BuildValueTable();
    void SortAlphabetically();
    void LinkParents(const std::vector<std::string>& parentRefs, bool parentIsDatabaseId);

    std::vector<AnnotationLabel> m_labels;
    std::vector<unsigned short> m_valueTable;
    std::map<std::string, AnnotationLabel*> m_abbreviationMap;
    std::vector<unsigned short> m_alphabeticalOrder;
    std::map<unsigned long, AnnotationLabel*> m_databaseIdMap;
    unsigned int m_numLabels = 0;
};
