#include "atlas/BrainLabelLess.h"

#include "atlas/BrainOntology.h"
#include "core/StringUtils.h"

bool BrainLabelLess::operator()(unsigned short a, unsigned short b) const
{
    return StringUtils::ToLowerCase(m_ontology.GetAnnotationLabelByIndex(a)->name) <
           StringUtils::ToLowerCase(m_ontology.GetAnnotationLabelByIndex(b)->name);
}
