#include "atlas/AnnotationLabel.h"

#include <algorithm>

AnnotationLabel::AnnotationLabel(unsigned int maxIndex)
    : name("No Annotation")
    , abbreviation("NA")
    , shortName("No Annotation")
    , color{220, 220, 220}
    , annotationValue(0)
    , databaseId(4294967295UL)
    , parent(nullptr)
    , index(0)
    , selector(maxIndex, false)
    , subtreeSelector(maxIndex, false)
    , childrenSelector(maxIndex, false)
    , order(0)
    , level(LEVEL_UNSET)
    , hasMesh(false)
{
}

std::string AnnotationLabel::MeshNameOf(const std::string& fromFile, bool hasColumn, const std::string& abbreviation)
{
    std::string name = hasColumn ? fromFile : abbreviation;
    if (!hasColumn)
        std::replace(name.begin(), name.end(), '/', '_');
    return IsMeshFileName(name) ? name : std::string();
}

bool AnnotationLabel::IsMeshFileName(const std::string& name)
{
    // Mesh files are "<name>.msh" and the like, joined to the folder: without a separator the name cannot
    // climb out, and ".." is refused too, so that no reader ever resolves it as the parent folder.
    return !name.empty() && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}
