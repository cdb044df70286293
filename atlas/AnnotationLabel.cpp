#include "atlas/AnnotationLabel.h"

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
