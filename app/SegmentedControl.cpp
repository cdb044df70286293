#include "app/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>

SegmentedControl::SegmentedControl(bool selectOne, QWidget* parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    m_group->setExclusive(selectOne);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    connect(m_group, &QButtonGroup::idClicked, this, &SegmentedControl::SegmentClicked);
}

QToolButton* SegmentedControl::NewSegment(int tag, const QString& toolTip)
{
    auto* button = new QToolButton(this);
    button->setToolTip(toolTip);
    button->setCheckable(true);
    button->setAutoRaise(false);
    m_group->addButton(button, GetSegmentCount());
    m_buttons.push_back(button);
    m_tags.push_back(tag);
    layout()->addWidget(button);
    return button;
}

void SegmentedControl::AddSegment(const QString& label, int tag, const QString& toolTip)
{
    NewSegment(tag, toolTip)->setText(label);
}

void SegmentedControl::AddSegment(const QIcon& image, int tag, const QString& toolTip)
{
    QToolButton* button = NewSegment(tag, toolTip);
    button->setIcon(image);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void SegmentedControl::SetSegmentSize(int width, int height)
{
    for (QToolButton* button : m_buttons)
        button->setFixedSize(width, height);
    setFixedHeight(height);
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
    // An exclusive group refuses to uncheck its checked button.
    const bool exclusive = m_group->exclusive();
    m_group->setExclusive(false);
    for (int i = 0; i < GetSegmentCount(); ++i)
        m_buttons[i]->setChecked(i == segment);
    m_group->setExclusive(exclusive);
}

bool SegmentedControl::IsSelected(int segment) const
{
    return segment >= 0 && segment < GetSegmentCount() && m_buttons[segment]->isChecked();
}

void SegmentedControl::SetSelected(bool selected, int segment)
{
    if (segment < 0 || segment >= GetSegmentCount())
        return;
    if (m_group->exclusive())
        SetSelectedSegment(selected ? segment : (IsSelected(segment) ? -1 : GetSelectedSegment()));
    else
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

QToolButton* SegmentedControl::GetSegmentButton(int segment) const
{
    return segment >= 0 && segment < GetSegmentCount() ? m_buttons[segment] : nullptr;
}
