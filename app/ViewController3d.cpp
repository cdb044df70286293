#include "app/ViewController3d.h"

#include "app/CorvaneDoc.h"
#include "app/Notifications.h"
#include "expression/BrainExpressionModel.h"

#include <QSignalBlocker>
#include <QSlider>

ViewController3d::ViewController3d(QSlider* zoomSlider, QSlider* imageBlendSlider, QObject* parent)
    : QObject(parent)
    , m_zoomSlider(zoomSlider)
    , m_imageBlendSlider(imageBlendSlider)
{
    connect(Notifications::Instance(), &Notifications::ZoomChanged, this, &ViewController3d::notifyZoomChanged);
    connect(Notifications::Instance(), &Notifications::ImageAlphaChanged, this,
            &ViewController3d::notifyImageAlphaChanged);
    if (m_zoomSlider)
        connect(m_zoomSlider, &QSlider::valueChanged, this, [this] { changeZoom(m_zoomSlider); });
    if (m_imageBlendSlider)
        connect(m_imageBlendSlider, &QSlider::valueChanged, this, [this] { changeImageBlending(m_imageBlendSlider); });
}

void ViewController3d::setDocument(CorvaneDoc* document)
{
    m_document = document;
    m_zoomUpdating = false;
    m_imageAlphaUpdating = false;
    // Both sliders show the model from the start, so that the first drag moves from where it is.
    notifyZoomChanged();
    notifyImageAlphaChanged();
}

void ViewController3d::changeZoom(QSlider* slider)
{
    if (!m_document || !slider)
        return;
    m_zoomUpdating = true;
    m_document->expressionModel()->SetZoom(static_cast<float>(slider->value()), true);
    m_zoomUpdating = false;
}

void ViewController3d::changeImageBlending(QSlider* slider)
{
    if (!m_document || !slider)
        return;
    m_imageAlphaUpdating = true;
    m_document->expressionModel()->SetImageAlpha(static_cast<float>(slider->value()) / 100.0f, true);
    m_imageAlphaUpdating = false;
}

// The notifications are process-wide: every document's controller hears them, and each shows its own
// model's value. Moving the slider here must not write the value back to the model.
void ViewController3d::notifyZoomChanged()
{
    if (m_zoomUpdating || !m_document || !m_zoomSlider)
        return;
    const QSignalBlocker quiet(m_zoomSlider);
    m_zoomSlider->setValue(static_cast<int>(m_document->expressionModel()->GetZoom()));
}

void ViewController3d::notifyImageAlphaChanged()
{
    if (m_imageAlphaUpdating || !m_document || !m_imageBlendSlider)
        return;
    const QSignalBlocker quiet(m_imageBlendSlider);
    m_imageBlendSlider->setValue(static_cast<int>(m_document->expressionModel()->GetImageAlpha() * 100.0f));
}

void ViewController3d::setZoomEnabled(bool enabled)
{
    if (m_zoomSlider)
        m_zoomSlider->setEnabled(enabled);
}
