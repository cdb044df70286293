#include "atlas/BrainLabelLess.h"

#include "atlas/BrainOntology.h"
#include "core/StringUtils.h"

bool BrainLabelLess::operator()(unsigned short a, unsigned short b) const
{
    return StringUtils::ToLowerCase(ontology.GetAnnotationLabelByIndex(a)->name) <
                  StringUtils::ToLowerCase(ontology.GetAnnotationLabelByIndex(b)->name);
}
