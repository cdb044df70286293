#include "app/SegmentedControl.h"

#include <QHBoxLayout>
#include <QToolButton>

SegmentedControl::SegmentedControl(bool selectOne, QWidget* parent)
    : QWidget(parent)
    , m_selectOne(selectOne)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void SegmentedControl::AddSegment(const QString& label, int tag, const QString& toolTip)
{
    auto* button = new QToolButton(this);
    button->setText(label);
    button->setToolTip(toolTip);
    button->setCheckable(true);
    button->setAutoRaise(false);
    const int segment = GetSegmentCount();
    m_buttons.push_back(button);
    m_tags.push_back(tag);
    layout()->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, segment] {
        if (m_selectOne)
            SetSelectedSegment(segment);
        emit SegmentClicked(segment);
    });
}

int SegmentedControl::GetSelectedSegment() const
{
    for (int i = 0; i < GetSegmentCount(); ++i)
        if (m_buttons[i]->isChecked())
            return i;
    return -1;
}

void SegmentedControl::SetSelectedSegment(int segment)
{
    for (int i = 0; i < GetSegmentCount(); ++i)
        m_buttons[i]->setChecked(i == segment);
}

bool SegmentedControl::IsSelected(int segment) const
{
    return segment >= 0 && segment < GetSegmentCount() && m_buttons[segment]->isChecked();
}

void SegmentedControl::SetSelected(bool selected, int segment)
{
    if (segment >= 0 && segment < GetSegmentCount())
        m_buttons[segment]->setChecked(selected);
}

int SegmentedControl::GetTag(int segment) const
{
    return segment >= 0 && segment < GetSegmentCount() ? m_tags[segment] : -1;
}

int SegmentedControl::SegmentForTag(int tag) const
{
    for (int i = 0; i < GetSegmentCount(); ++i)
        if (m_tags[i] == tag)
            return i;
    return -1;
}
