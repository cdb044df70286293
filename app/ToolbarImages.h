#pragma once

#include <QIcon>
#include <QString>

// The window's named toolbar images ("RotationTool", "Hand", "SelectionTool", "SagittalPlane",
// "CoronalPlane", "AxialPlane", "CenterViewOnSelection", "CuttingPlanes", "ExpandView"), drawn here in
// dark strokes on a transparent square. Main thread only (QPixmap).
class ToolbarImages
{
public:
    static constexpr int kSize = 20;

    // A null icon for a name not listed above.
    static QIcon Image(const QString& name);
};
