#include "app/OntologyLabelProxy.h"

#include "atlas/AnnotationLabel.h"

OntologyLabelProxy::OntologyLabelProxy(const AnnotationLabel* label)
    : m_label(label)
    , m_color(QColor::fromRgb(label->color[0], label->color[1], label->color[2]))
{
    const QString acronym = QString::fromStdString(" (" + label->abbreviation + ")");
    m_displayLabel = QString::fromStdString(label->name) + acronym;
    m_shortLabel = QString::fromStdString(label->shortName) + acronym;
}
