#pragma once

// A GL view whose window the test moves to a screen of another scale: from MoveToRatio on, the view reports
// that device pixel ratio, and hears of the move as it would from the window system.

#include "gl/GLView.h"

class MovingView : public GLView
{
public:
    void MoveToRatio(double ratio);

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    // 0 while the view is on the screen it was opened on.
    double m_ratio = 0.0;
};
