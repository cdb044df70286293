#pragma once

#include <QObject>

// The process-wide notifications that windows post to each other. Main thread only.
class Notifications : public QObject
{
    Q_OBJECT

public:
    static Notifications* Instance();

signals:
    void ZoomChanged();
    void ImageAlphaChanged();
    void BookmarksChanged();
};
