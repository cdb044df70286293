#pragma once

#include "gl/Cursors.h"

#include <QElapsedTimer>
#include <QImage>
#include <QOpenGLWidget>

#include <string>
#include <vector>

class GLRenderer;
class KeyListener;
class MouseListener;

// The window-system view of a document: draws the attached renderer and turns Qt's mouse, wheel and key
// events into listener calls in logical pixels (Qt's device-independent pixels), y down from the top row
// (0) to height - 1; the renderer is reshaped in logical pixels too, while the frame it draws holds the
// device pixels (logical x GetPixelRatio, see DevicePixels). Buttons: left 0,
// middle 1, right 2; flags: Shift 1, Ctrl 2, Alt 4. The second click of a double click arrives as a press
// and, in place of its release, OnDoubleClick. Times are milliseconds since the view was made, keeping
// the differences of the events' own time stamps. No exception of a renderer or listener leaves an event
// handler: it is written to the log. Listeners are called with the view's context current (the resource
// context before the view is first shown). Whenever the view's own context is made, the attached renderer is
// initialised in it. Renderer and listeners are not owned. Main thread only.
// This header brings Qt's GL headers: files that include <GL/glew.h> must not include it.
class GLView : public QOpenGLWidget
{
public:
    // Finds the hardware's largest sample count (lowering the Multisample setting to it) and takes the
    // shared pixel format.
    explicit GLView(QWidget* parent = nullptr);
    ~GLView() override;
    GLView(const GLView&) = delete;
    GLView& operator=(const GLView&) = delete;

    void SetRenderer(GLRenderer* renderer) { m_renderer = renderer; }
    GLRenderer* GetRenderer() const { return m_renderer; }
    void SetMouseListener(MouseListener* listener) { m_mouseListener = listener; }
    MouseListener* GetMouseListener() const { return m_mouseListener; }
    void SetKeyListener(KeyListener* listener) { m_keyListener = listener; }
    KeyListener* GetKeyListener() const { return m_keyListener; }
    // Mouse moves without a pressed button reach the listener only while this is on.
    void SetSendMouseMoved(bool send) { m_sendMouseMoved = send; }
    // For the windows opened afterwards: an open window keeps the swap interval it was made with.
    void SetVSync(bool on);
    // The view's own context once it has one, else the resource context; false when neither can be.
    bool MakeViewCurrent();
    // Presents nothing by itself (the widget composes after painting): flushes the current context.
    void FlushContext();
    // Device pixels per logical pixel; it changes when the window moves to a screen of another scale.
    double GetPixelRatio() const { return devicePixelRatioF(); }
    // (x, y) is the rectangle's lower-left corner in logical pixels, counted from the bottom row as
    // overlays draw.
    void AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor);
    // The renderer is asked for its rectangles again before the cursor is next chosen.
    void InvalidateCursorRects();
    // The cursor shape over a point (logical pixels from the top left): the last rectangle added that holds
    // it, else the arrow.
    Cursors::Cursor CursorAt(int x, int y);

    // The frame as drawn now, upright and opaque, in device pixels; null when it cannot be read.
    QImage GetImageData();
    // Both do nothing (and answer false) when the frame cannot be read.
    bool CopyToPasteboard();
    // Writes a TIFF file.
    bool SaveImage(const std::string& path);

    bool IsGLReady() const { return m_glReady; }
    // The view that last had the pointer, or null.
    static GLView* GetViewUnderPointer();

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int width, int height) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // A move to a screen of another scale.
    bool event(QEvent* event) override;
    // Tab is a key for the listener, not a move of the focus.
    bool focusNextPrevChild(bool next) override;

private:
    struct CursorRect
    {
        int x, top, width, height;
        Cursors::Cursor cursor;
    };

    unsigned int EventTime(quint64 timestamp);
    unsigned int ClockTime() const;
    void PixelPosition(const QPointF& position, int& x, int& y) const;
    // Lines and points one logical pixel wide; a renderer that was laid out at another ratio is reshaped.
    void PrepareFrame(GLRenderer* renderer);
    void UpdateCursor(const QPointF& position);
    void ResetCursorRects();
    // Presses, double-click presses and releases share the way in.
    void ButtonEvent(QMouseEvent* event, bool press, bool doubleClick);

    GLRenderer* m_renderer = nullptr;
    MouseListener* m_mouseListener = nullptr;
    KeyListener* m_keyListener = nullptr;
    QElapsedTimer m_clock;
    bool m_haveTimeBase = false;
    quint64 m_timeBase = 0;
    qint64 m_timeOffset = 0;
    bool m_sendMouseMoved = false;
    bool m_glReady = false;
    // The ratio of the last frame, 0 before the first.
    double m_frameRatio = 0.0;
    int m_doubleClickButton = -1;
    std::vector<CursorRect> m_cursorRects;
    bool m_cursorRectsValid = false;
    bool m_resettingCursorRects = false;
};
