#pragma once

#include <QWidget>

#include <vector>

class QToolButton;

// A row of toggle segments, each with a tag and a tooltip: select one (a tool choice) or select any (a set
// of switches). Clicks emit SegmentClicked with the segment's index.
class SegmentedControl : public QWidget
{
    Q_OBJECT

public:
    SegmentedControl(bool selectOne, QWidget* parent = nullptr);

    void AddSegment(const QString& label, int tag, const QString& toolTip);
    int GetSegmentCount() const { return static_cast<int>(m_buttons.size()); }
    // The first selected segment, or -1.
    int GetSelectedSegment() const;
    void SetSelectedSegment(int segment);
    bool IsSelected(int segment) const;
    void SetSelected(bool selected, int segment);
    int GetTag(int segment) const;
    // The segment with that tag, or -1.
    int SegmentForTag(int tag) const;

signals:
    void SegmentClicked(int segment);

private:
    std::vector<QToolButton*> m_buttons;
    std::vector<int> m_tags;
    bool m_selectOne;
};
