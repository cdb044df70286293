#pragma once

#include <QRect>

class QWidget;

// Keeps the windows that the program opens or restores on the screen they open on: a default size, a frame
// saved on a larger screen or a cascaded place would otherwise leave the title bar, the search field or the
// side pane out of reach, and no window manager is bound to shrink a window.
class ScreenFit
{
public:
    // The frame no larger than the available area and moved inside it; an empty area leaves it as it is.
    static QRect Fitted(QRect frame, const QRect& available);
    // Fits the window with its window manager's frame (before the first showing, an estimate of it) to the
    // available area of the screen that holds the frame's centre, else the primary screen's. A window that
    // fits is left where it is, or to the window manager's placing.
    static void FitWindow(QWidget* window);
};
