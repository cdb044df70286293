#pragma once

class BrainOntology;

// Orders label indices by their lower-cased names, byte by byte; an index beyond the label table
// stands for label 0.
class BrainLabelLess
{
public:
    explicit BrainLabelLess(const BrainOntology& m_ontology)
        : m_ontology(m_ontology)
    {
    }

    bool operator()(unsigned short a, unsigned short b) const;

private:
    const BrainOntology& m_ontology;
};
