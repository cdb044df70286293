#pragma once

#include <QWidget>

#include <vector>

class QButtonGroup;
class QIcon;
class QToolButton;

// A row of checkable tool buttons, each with a tag and a tooltip: select one (a tool choice, an exclusive
// button group) or select any (a set of switches). Clicks emit SegmentClicked with the segment's index.
class SegmentedControl : public QWidget
{
    Q_OBJECT

public:
    SegmentedControl(bool selectOne, QWidget* parent = nullptr);

    void AddSegment(const QString& label, int tag, const QString& toolTip);
    void AddSegment(const QIcon& image, int tag, const QString& toolTip);
    // Every segment that wide and the whole row that high.
    void SetSegmentSize(int width, int height);
    int GetSegmentCount() const { return static_cast<int>(m_buttons.size()); }
    // The first selected segment, or -1.
    int GetSelectedSegment() const;
    // Selects that segment alone; -1 selects none.
    void SetSelectedSegment(int segment);
    bool IsSelected(int segment) const;
    void SetSelected(bool selected, int segment);
    int GetTag(int segment) const;
    // The segment with that tag, or -1.
    int SegmentForTag(int tag) const;
    QToolButton* GetSegmentButton(int segment) const;

signals:
    void SegmentClicked(int segment);

private:
    QToolButton* NewSegment(int tag, const QString& toolTip);

    std::vector<QToolButton*> m_buttons;
    std::vector<int> m_tags;
    QButtonGroup* m_group;
};
