#pragma once

#include <QObject>
#include <QPointer>

class CorvaneDoc;
class QSlider;

// Keeps the zoom and image-blending sliders below the 3D view in step with the document's model. A value
// the controller writes itself is not written back to its slider by the notification it causes, so a
// dragged slider stays where the user put it. Main thread only; the sliders belong to the window.
class ViewController3d : public QObject
{
    Q_OBJECT

public:
    ViewController3d(QSlider* zoomSlider, QSlider* imageBlendSlider, QObject* parent = nullptr);

    void setDocument(CorvaneDoc* document);
    void changeZoom(QSlider* slider);
    void changeImageBlending(QSlider* slider);
    void notifyZoomChanged();
    void notifyImageAlphaChanged();
    void setZoomEnabled(bool enabled);
    QSlider* zoomSlider() const { return m_zoomSlider; }
    QSlider* imageBlendSlider() const { return m_imageBlendSlider; }

private:
    QPointer<QSlider> m_zoomSlider;
    QPointer<QSlider> m_imageBlendSlider;
    CorvaneDoc* m_document = nullptr;
    bool m_zoomUpdating = false;
    bool m_imageAlphaUpdating = false;
};
