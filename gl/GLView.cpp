#include "gl/GLView.h"

#include "gl/CheckGLError.h"
#include "gl/DevicePixels.h"
#include "gl/GLExtensionLoader.h"
#include "gl/GLRenderer.h"
#include "gl/KeyListener.h"
#include "gl/MouseListener.h"
#include "gl/SharedContext.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QWheelEvent>

#include <exception>
#include <iostream>
#include <utility>

namespace
{

GLView* viewUnderPointer = nullptr;

// An exception through a Qt event handler ends the program: every call into a renderer or listener is
// made through here.
template <class Call>
void Guarded(const char* where, Call&& call)
{
    try
    {
        call();
    }
    catch (const std::exception& error)
    {
        std::cerr << where << ": " << error.what() << std::endl;
    }
    catch (...)
    {
        std::cerr << where << ": unknown exception" << std::endl;
    }
}

// Listeners may touch GL: the view's context (or the resource context) is current for them.
template <class Call>
void ListenerCall(GLView* view, const char* where, Call&& call)
{
    view->MakeViewCurrent();
    Guarded(where, std::forward<Call>(call));
}

int ButtonOf(Qt::MouseButton button)
{
    switch (button)
    {
    case Qt::LeftButton:
        return kLeftButton;
    case Qt::MiddleButton:
        return kMiddleButton;
    case Qt::RightButton:
        return kRightButton;
    default:
        return -1;
    }
}

int FlagsOf(Qt::KeyboardModifiers modifiers)
{
    int flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= kShiftKey;
    if (modifiers & Qt::ControlModifier)
        flags |= kCommandKey;
    if (modifiers & Qt::AltModifier)
        flags |= kOptionKey;
    return flags;
}

int SpecialKeyOf(int key)
{
    switch (key)
    {
    case Qt::Key_Up:
        return kUpArrowKey;
    case Qt::Key_Down:
        return kDownArrowKey;
    case Qt::Key_Left:
        return kLeftArrowKey;
    case Qt::Key_Right:
        return kRightArrowKey;
    case Qt::Key_PageUp:
        return kPageUpKey;
    case Qt::Key_PageDown:
        return kPageDownKey;
    case Qt::Key_Home:
        return kHomeKey;
    case Qt::Key_End:
        return kEndKey;
    default:
        return 0;
    }
}

constexpr Qt::MouseButtons kReportedButtons = Qt::LeftButton | Qt::MiddleButton | Qt::RightButton;

} // namespace

GLView::GLView(QWidget* parent)
    : QOpenGLWidget(parent)
{
    m_clock.start();
    SharedContext::TestCapabilities();
    setFormat(SharedContext::PixelFormat());
    // Always tracked, so that cursor rectangles follow the pointer; the listener hears hover moves only
    // when it asks for them.
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

GLView::~GLView()
{
    if (viewUnderPointer == this)
        viewUnderPointer = nullptr;
}

GLView* GLView::GetViewUnderPointer()
{
    return viewUnderPointer;
}

void GLView::SetVSync(bool on)
{
    SharedContext::SetSwapInterval(on);
}

bool GLView::MakeViewCurrent()
{
    if (m_glReady && isValid())
    {
        makeCurrent();
        return true;
    }
    return SharedContext::MakeCurrent();
}

void GLView::FlushContext()
{
    if (QOpenGLContext* current = QOpenGLContext::currentContext())
        current->functions()->glFlush();
}

void GLView::initializeGL()
{
    m_glReady = GLExtensionLoader::Load();
    if (!m_glReady)
    {
        std::cerr << "The GL extensions could not be loaded: the view draws nothing." << std::endl;
        return;
    }
    // Lights, materials and enables live in a context, and this one is new: a renderer attached before the
    // view was first shown (or before Qt remade the context) set them in another one, and would draw its
    // first frames unlit. The resize that Qt sends next reshapes it.
    if (GLRenderer* const renderer = m_renderer)
        Guarded("Initialize", [&] { renderer->Initialize(); });
}

void GLView::paintGL()
{
    if (!m_renderer || !m_glReady)
        return;
    CheckGLError("Clearing errors in draw loop", false);
    GLRenderer* const renderer = m_renderer;
    PrepareFrame(renderer);
    Guarded("Display", [&] { renderer->Display(); });
}

void GLView::PrepareFrame(GLRenderer* renderer)
{
    const double ratio = GetPixelRatio();
    const DevicePixels pixels(ratio);
    pixels.LineWidth(1.0f);
    pixels.PointSize(1.0f);
    // Layouts are logical and stay; what a renderer keeps in device pixels (read-back buffers) follows the
    // new ratio through a reshape, and text boxes render their text again when next drawn.
    if (m_frameRatio != 0.0 && m_frameRatio != ratio)
    {
        m_cursorRectsValid = false;
        const int w = width(), h = height();
        Guarded("Reshape", [&] { renderer->Reshape(w, h); });
    }
    m_frameRatio = ratio;
}

void GLView::resizeGL(int, int)
{
    m_cursorRectsValid = false;
    if (!m_renderer)
        return;
    GLRenderer* const renderer = m_renderer;
    const int w = width(), h = height();
    Guarded("Reshape", [&] { renderer->Reshape(w, h); });
}

bool GLView::event(QEvent* event)
{
    const bool handled = QOpenGLWidget::event(event);
    if (event->type() == QEvent::ScreenChangeInternal && m_frameRatio != 0.0 && m_frameRatio != GetPixelRatio())
        update();
    return handled;
}

unsigned int GLView::ClockTime() const
{
    return static_cast<unsigned int>(m_clock.elapsed());
}

unsigned int GLView::EventTime(quint64 timestamp)
{
    if (!m_haveTimeBase)
    {
        m_haveTimeBase = true;
        m_timeBase = timestamp;
        m_timeOffset = m_clock.elapsed();
    }
    return static_cast<unsigned int>(static_cast<quint64>(m_timeOffset) + (timestamp - m_timeBase));
}

void GLView::PixelPosition(const QPointF& position, int& x, int& y) const
{
    x = static_cast<int>(position.x());
    y = static_cast<int>(position.y());
}

void GLView::ButtonEvent(QMouseEvent* event, bool press, bool doubleClick)
{
    viewUnderPointer = this;
    const int button = ButtonOf(event->button());
    if (button < 0)
        return;
    bool releaseOfDoubleClick = false;
    if (press)
    {
        m_doubleClickButton = doubleClick ? button : -1;
    }
    else if (m_doubleClickButton == button)
    {
        releaseOfDoubleClick = true;
        m_doubleClickButton = -1;
    }
    MouseListener* const listener = m_mouseListener;
    if (!listener)
        return;
    int x, y;
    PixelPosition(event->position(), x, y);
    const int flags = FlagsOf(event->modifiers());
    const unsigned int time = EventTime(event->timestamp());
    event->accept();
    if (press)
        ListenerCall(this, "OnButtonDown", [&] { listener->OnButtonDown(button, x, y, flags, time); });
    else if (releaseOfDoubleClick)
        ListenerCall(this, "OnDoubleClick", [&] { listener->OnDoubleClick(button, x, y, flags, time); });
    else
        ListenerCall(this, "OnButtonUp", [&] { listener->OnButtonUp(button, x, y, flags, time); });
}

void GLView::mousePressEvent(QMouseEvent* event)
{
    ButtonEvent(event, true, false);
}

void GLView::mouseDoubleClickEvent(QMouseEvent* event)
{
    ButtonEvent(event, true, true);
}

void GLView::mouseReleaseEvent(QMouseEvent* event)
{
    ButtonEvent(event, false, false);
}

void GLView::mouseMoveEvent(QMouseEvent* event)
{
    UpdateCursor(event->position());
    MouseListener* const listener = m_mouseListener;
    if (!listener)
        return;
    const Qt::MouseButtons buttons = event->buttons();
    const bool dragging = (buttons & kReportedButtons) != 0;
    // A drag with only other buttons held is no event; a hover only when asked for.
    if (!dragging && (buttons != Qt::NoButton || !m_sendMouseMoved))
        return;
    int x, y;
    PixelPosition(event->position(), x, y);
    const int flags = FlagsOf(event->modifiers());
    const unsigned int time = EventTime(event->timestamp());
    ListenerCall(this, "OnMouseMove", [&] { listener->OnMouseMove(x, y, flags, time); });
}

void GLView::wheelEvent(QWheelEvent* event)
{
    MouseListener* const listener = m_mouseListener;
    if (!listener)
        return;
    int x, y;
    PixelPosition(event->position(), x, y);
    const int flags = FlagsOf(event->modifiers());
    const int delta = static_cast<int>(event->angleDelta().y() / 120.0 * 100.0);
    const unsigned int time = EventTime(event->timestamp());
    event->accept();
    ListenerCall(this, "OnMouseWheel", [&] { listener->OnMouseWheel(x, y, flags, delta, time); });
}

void GLView::keyPressEvent(QKeyEvent* event)
{
    KeyListener* const listener = m_keyListener;
    if (!listener)
    {
        QOpenGLWidget::keyPressEvent(event);
        return;
    }
    const int flags = FlagsOf(event->modifiers());
    const int special = SpecialKeyOf(event->key());
    const QString text = event->text();
    if (!special && text.isEmpty())
    {
        QOpenGLWidget::keyPressEvent(event);
        return;
    }
    const unsigned int time = EventTime(event->timestamp());
    event->accept();
    if (special)
        ListenerCall(this, "OnSpecialKeyDown", [&] { listener->OnSpecialKeyDown(special, flags, time); });
    else
    {
        const unsigned int unit = text.at(0).unicode();
        ListenerCall(this, "OnKeyDown", [&] { listener->OnKeyDown(unit, flags, time); });
    }
}

void GLView::enterEvent(QEnterEvent* event)
{
    viewUnderPointer = this;
    UpdateCursor(event->position());
    MouseListener* const listener = m_mouseListener;
    if (!listener)
        return;
    int x, y;
    PixelPosition(event->position(), x, y);
    const int flags = FlagsOf(QGuiApplication::keyboardModifiers());
    const unsigned int time = ClockTime();
    ListenerCall(this, "OnMouseMove", [&] { listener->OnMouseMove(x, y, flags, time); });
}

void GLView::leaveEvent(QEvent*)
{
    MouseListener* const listener = m_mouseListener;
    if (!listener)
        return;
    const unsigned int time = ClockTime();
    ListenerCall(this, "OnMouseLeave", [&] { listener->OnMouseLeave(time); });
}

bool GLView::focusNextPrevChild(bool)
{
    return false;
}

void GLView::AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor)
{
    m_cursorRects.push_back(CursorRect{x, this->height() - y - height, width, height, cursor});
}

void GLView::InvalidateCursorRects()
{
    if (m_resettingCursorRects)
        return;
    m_cursorRectsValid = false;
    if (underMouse())
        UpdateCursor(mapFromGlobal(QCursor::pos()));
}

void GLView::ResetCursorRects()
{
    m_resettingCursorRects = true;
    m_cursorRects.clear();
    if (GLRenderer* const renderer = m_renderer)
        ListenerCall(this, "ResetCursorRects", [&] { renderer->ResetCursorRects(); });
    m_resettingCursorRects = false;
    m_cursorRectsValid = true;
}

Cursors::Cursor GLView::CursorAt(int x, int y)
{
    if (!m_cursorRectsValid && !m_resettingCursorRects)
        ResetCursorRects();
    for (auto rect = m_cursorRects.rbegin(); rect != m_cursorRects.rend(); ++rect)
    {
        if (x >= rect->x && x < rect->x + rect->width && y >= rect->top && y < rect->top + rect->height)
            return rect->cursor;
    }
    return Cursors::kArrowCursor;
}

void GLView::UpdateCursor(const QPointF& position)
{
    int x, y;
    PixelPosition(position, x, y);
    if (const QCursor* shape = Cursors::GetCursor(CursorAt(x, y)))
    {
        const QCursor current = cursor();
        if (current.shape() != shape->shape() || shape->shape() == Qt::BitmapCursor)
            setCursor(*shape);
    }
}

QImage GLView::GetImageData()
{
    QImage frame = grabFramebuffer();
    if (frame.isNull())
        return QImage();
    // The frame's bytes are what was drawn; "premultiplied" is only Qt's label for them.
    if (frame.format() == QImage::Format_RGBA8888_Premultiplied)
        frame.reinterpretAsFormat(QImage::Format_RGBA8888);
    else if (frame.format() == QImage::Format_ARGB32_Premultiplied)
        frame.reinterpretAsFormat(QImage::Format_ARGB32);
    QImage image = frame.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < image.height(); ++y)
    {
        uchar* pixel = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x, pixel += 4)
            pixel[3] = 255;
    }
    return image;
}

bool GLView::CopyToPasteboard()
{
    const QImage image = GetImageData();
    if (image.isNull())
        return false;
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

bool GLView::SaveImage(const std::string& path)
{
    const QImage image = GetImageData();
    if (image.isNull())
        return false;
    QImageWriter writer(QString::fromStdString(path), "tiff");
    if (writer.write(image))
        return true;
    std::cerr << "The image could not be saved to " << path << ": " << writer.errorString().toStdString() << std::endl;
    return false;
}
