#include "gl/GLViewWrapper.h"

#include "core/UserPreferences.h"
#include "gl/CocoaGLTextBox.h"
#include "gl/GLRenderer.h"
#include "gl/GLView.h"
#include "gl/TimerListener.h"

#include <QTimer>

#include <exception>
#include <iostream>

GLViewWrapper::GLViewWrapper(GLView* view)
    : m_view(view)
    , m_timer(std::make_unique<QTimer>())
{
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] { TimerElapsed(); });
    UserPreferences::GetPreferences()->AddListener(this);
}

GLViewWrapper::~GLViewWrapper()
{
    *m_alive = false;
    StopTimer();
    UserPreferences::GetPreferences()->RemoveListener(this);
    if (m_inTick)
    {
        // Deleted from its own timer's tick: the timer goes once its signal has returned.
        m_timer->disconnect();
        m_timer.release()->deleteLater();
    }
}

GLView* GLViewWrapper::GetView() const
{
    return m_view.data();
}

void GLViewWrapper::Display()
{
    if (m_view)
        m_view->repaint();
}

void GLViewWrapper::Invalidate()
{
    if (m_view)
        m_view->update();
}

void GLViewWrapper::SwapBuffers()
{
    if (m_view)
        m_view->FlushContext();
}

bool GLViewWrapper::MakeCurrent()
{
    return m_view && m_view->MakeViewCurrent();
}

void GLViewWrapper::SetVSync(bool on)
{
    if (m_view)
        m_view->SetVSync(on);
}

void GLViewWrapper::SetSendMouseMoved(bool send)
{
    if (m_view)
        m_view->SetSendMouseMoved(send);
}

int GLViewWrapper::GetWidth()
{
    return m_view ? m_view->width() : 0;
}

int GLViewWrapper::GetHeight()
{
    return m_view ? m_view->height() : 0;
}

void GLViewWrapper::StartTimer(unsigned int milliseconds, TimerListener* listener)
{
    StopTimer();
    m_timerListener = listener;
    // A 0 ms timer would run on every idle turn of the event loop.
    m_timer->start(static_cast<int>(milliseconds == 0 ? 1 : milliseconds));
}

void GLViewWrapper::StopTimer()
{
    m_timer->stop();
    m_timerListener = nullptr;
}

bool GLViewWrapper::IsTimerRunning() const
{
    return m_timer && m_timer->isActive();
}

int GLViewWrapper::GetTimerInterval() const
{
    return IsTimerRunning() ? m_timer->interval() : 0;
}

void GLViewWrapper::TimerElapsed()
{
    TimerListener* const listener = m_timerListener;
    if (!listener)
        return;
    m_inTick = true;
    const std::shared_ptr<bool> alive = m_alive;
    MakeCurrent();
    try
    {
        listener->TimerElapsed();
    }
    catch (const std::exception& error)
    {
        std::cerr << "TimerElapsed: " << error.what() << std::endl;
    }
    catch (...)
    {
        std::cerr << "TimerElapsed: unknown exception" << std::endl;
    }
    // The listener may have deleted this wrapper (its destructor then handed the timer to deleteLater).
    if (*alive)
        m_inTick = false;
}

double GLViewWrapper::GetPixelRatio()
{
    return m_view ? m_view->GetPixelRatio() : 1.0;
}

GLTextBox* GLViewWrapper::CreateTextBox(int width, int lines, bool small, GLTextBox::Alignment alignment)
{
    // The box asks at each draw, so that its text follows the window to a screen of another scale.
    return new CocoaGLTextBox(width, lines, small, alignment,
                              [view = m_view] { return view ? view->GetPixelRatio() : 1.0; });
}

void GLViewWrapper::AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor)
{
    if (m_view)
        m_view->AddCursorRect(x, y, width, height, cursor);
}

void GLViewWrapper::InvalidateCursorRects()
{
    if (m_view)
        m_view->InvalidateCursorRects();
}

unsigned int GLViewWrapper::GetDefaultFramebuffer()
{
    return m_view ? m_view->defaultFramebufferObject() : 0;
}

void GLViewWrapper::SetRenderer(GLRenderer* renderer)
{
    StopTimer();
    if (!m_view)
        return;
    m_view->SetRenderer(renderer);
    m_view->InvalidateCursorRects();
    if (!renderer)
        return;
    MakeCurrent();
    renderer->Initialize();
    renderer->Reshape(GetWidth(), GetHeight());
    m_view->update();
}

void GLViewWrapper::SetMouseListener(MouseListener* listener)
{
    if (m_view)
        m_view->SetMouseListener(listener);
}

void GLViewWrapper::SetKeyListener(KeyListener* listener)
{
    if (m_view)
        m_view->SetKeyListener(listener);
}

void GLViewWrapper::PreferenceChanged(int code)
{
    if (code == PREF_VSYNC)
        SetVSync(UserPreferences::GetPreferences()->GetVSync());
}
