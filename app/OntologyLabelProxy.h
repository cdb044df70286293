#pragma once

#include <QColor>
#include <QString>

class AnnotationLabel;

// One ontology structure as an outline item: the structure (not owned; it lives as long as its ontology),
// its colour and its two display texts.
class OntologyLabelProxy
{
public:
    explicit OntologyLabelProxy(const AnnotationLabel* label);

    const AnnotationLabel* annotationLabel() const { return m_label; }
    // The short name and acronym for the hierarchy, where the parent's name is already in view; else the
    // full name and acronym.
    const QString& labelForDisplay(bool shortLabel) const { return shortLabel ? m_shortLabel : m_displayLabel; }
    const QColor& colorForDisplay() const { return m_color; }

private:
    const AnnotationLabel* m_label;
    QColor m_color;
    QString m_displayLabel;
    QString m_shortLabel;
};
