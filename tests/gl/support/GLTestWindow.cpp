#include "GLTestWindow.h"

#include "platform/EventLoopSupport.h"

#include <QTest>

bool GLTestWindow::Open(int width, int height, int x, int y)
{
    view = std::make_unique<MovingView>();
    view->resize(width, height);
    view->move(x, y);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return false;
    wrapper = std::make_unique<GLViewWrapper>(view.get());
    return wrapper->MakeCurrent();
}

void GLTestWindow::Detach()
{
    if (!wrapper)
        return;
    wrapper->SetRenderer(nullptr);
    wrapper->MakeCurrent();
}

void GLTestWindow::Close()
{
    wrapper.reset();
    view.reset();
}

QImage GLTestWindow::Capture(int settleMs)
{
    view->update();
    RunEventsFor(settleMs);
    return view->GetImageData();
}
