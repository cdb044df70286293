#include "MovingView.h"

#include <QApplication>
#include <QEvent>

void MovingView::MoveToRatio(double ratio)
{
    m_ratio = ratio;
    QEvent moved(QEvent::ScreenChangeInternal);
    QApplication::sendEvent(this, &moved);
}

int MovingView::metric(PaintDeviceMetric metric) const
{
    if (metric == PdmDevicePixelRatioScaled && m_ratio > 0.0)
        return static_cast<int>(m_ratio * devicePixelRatioFScale());
    return GLView::metric(metric);
}
