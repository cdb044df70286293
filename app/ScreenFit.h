#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QRect>

class QWidget;

// Keeps the windows that the program opens or restores on the screen they open on: a default size, a frame
// saved on a larger screen or a cascaded place would otherwise leave the title bar, the search field or the
// side pane out of reach, and no window manager is bound to shrink a window. Installed once on the
// application, it fits every window and dialog as the program shows it, puts each panel on the screen of the
// window it opens from, and fits a window's normal frame as it leaves the maximized or full-screen state. Main
// thread only.
class ScreenFit : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The frame no larger than the available area of the screen that it overlaps most (else the nearest one)
    // and moved inside it; without a screen it is left as it is.
    static QRect Fitted(QRect frame, const QList<QRect>& availableAreas);
    // Fits the window with its window manager's frame (before the first showing, an estimate of it) to its
    // screen's available area. A window that fits is left where it is, or to the window manager's placing;
    // with sizeOnly, only its size is fitted. A maximized or full-screen window is left as it is: any change
    // of its frame would make it a normal window again.
    static void FitWindow(QWidget* window, bool sizeOnly = false);
    // Restores a frame kept by saveGeometry. Qt refuses one saved on a screen whose width differs by more than a
    // quarter (a laptop docked to a larger monitor, another scale); the window then keeps the state it was saved
    // in, maximized or full screen, with its normal frame fitted to the screens of now. False when the bytes
    // are no saved frame.
    static bool RestoreGeometry(QWidget* window, const QByteArray& saved);
    // An area in Qt's logical pixels on a screen at that origin and ratio, in the device pixels of the whole X
    // screen: Qt keeps each screen's origin in device pixels and scales only what lies beyond it.
    static QRect DevicePixels(const QRect& area, const QPoint& origin, qreal ratio);
    // The frame that the window manager puts round the window (before the first showing, an estimate of it).
    static QMargins FrameMargins(const QWidget* window);

private:
    // Puts a panel, a window of its own with no owner, in the middle of the screen of the window it opens from
    // (or of the pointer), unless it is on that screen already: a panel opened from a document window belongs
    // on its screen, wherever it was last.
    static void PlaceOnOpeningScreen(QWidget* panel);
    // Keeps the normal frame of a window that becomes maximized or full screen, and fits it when the window
    // leaves that state: saved on a larger screen, or as large as the screen, it would come back off its edge.
    static void FitNormalFrame(QWidget* window, Qt::WindowStates before);
    // Fits the window as if its inside were at geometry.
    static void Fit(QWidget* window, const QRect& geometry, bool sizeOnly);
};
