#pragma once

#include <QComboBox>

// The structure pop-up of the anatomic search sheet. Its items begin with spaces that set each structure
// under its parent in the open list; closed, the box shows the current structure's name alone, cut short
// with an ellipsis when the box is too narrow for it. The rest of its look is the style's own, hover,
// press and open list included.
class StructureComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit StructureComboBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
