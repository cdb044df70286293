#pragma once

#include <string>
#include <vector>

#include "atlas/GeneralAnnotationSelector.h"

// One structure of an atlas ontology. A default label is the synthetic "No Annotation" entry that
// every failed lookup answers with. The parent and children pointers point into the label table of
// the owning BrainOntology and stay valid for its lifetime.
class AnnotationLabel
{
public:
    explicit AnnotationLabel(unsigned int maxIndex);

    std::string name;
    std::string abbreviation;
    std::string shortName;
    std::string meshName;
    unsigned char color[3];
    unsigned short annotationValue;
    unsigned long databaseId;
    AnnotationLabel* parent;
    std::vector<AnnotationLabel*> children;
    unsigned int index;
    GeneralAnnotationSelector<unsigned long long> selector;
    GeneralAnnotationSelector<unsigned long long> subtreeSelector;
    GeneralAnnotationSelector<unsigned long long> childrenSelector;
    int order;
    int level;
    bool hasMesh;

    static constexpr int LEVEL_UNSET = -2;

    // The mesh name a structure gets from its ontology row: the mesh_name field when the file has that
    // column, else the abbreviation with every "/" made "_". A name that would not stay inside the atlas's
    // mesh folder (a "/", "..", an absolute path, a NUL) gives the empty name, which means no mesh.
    static std::string MeshNameOf(const std::string& fromFile, bool hasColumn, const std::string& abbreviation);
    // Whether name can stand for files inside a mesh folder; the empty name cannot.
    static bool IsMeshFileName(const std::string& name);
};
