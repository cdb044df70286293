// Real views on the X server (Xvfb in the tests): events from QTest and, where only the window system
// makes them (double clicks), from xdotool; frames read back through Qt and captured with ImageMagick.

#include "PatternRenderer.h"

#include "core/UserPreferences.h"
#include "gl/Cursors.h"
#include "gl/GLView.h"
#include "gl/GLViewWrapper.h"
#include "gl/SharedContext.h"
#include "gl/support/GLTestContext.h"
#include "gl/support/XWindow.h"
#include "platform/EventLoopSupport.h"

#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{

constexpr int kWidth = 200;
constexpr int kHeight = 150;

// Standard output of a shell command (fails the test when it does not run).
std::string Output(const std::string& command)
{
    int status = 0;
    const std::string output = CommandOutput(command, &status);
    EXPECT_EQ(status, 0) << command;
    return output;
}

void Shell(const std::string& command)
{
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// Everything written to std::cerr while it lives.
class CapturedErrors
{
public:
    CapturedErrors()
        : m_previous(std::cerr.rdbuf(m_text.rdbuf()))
    {
    }
    ~CapturedErrors() { std::cerr.rdbuf(m_previous); }
    std::string Text() const { return m_text.str(); }

private:
    std::ostringstream m_text;
    std::streambuf* m_previous;
};

void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers, QPoint position, quint64 timestamp)
{
    QMouseEvent event(type, QPointF(position), QPointF(widget->mapToGlobal(position)), button, buttons, modifiers);
    event.setTimestamp(timestamp);
    QApplication::sendEvent(widget, &event);
}

class CountingTimer : public TimerListener
{
public:
    int ticks = 0;
    std::function<void()> onTick;
    void TimerElapsed() override
    {
        ++ticks;
        if (onTick)
            onTick();
    }
};

class GLViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GLTestContext::Instance(); // the application object
        // A pointer left over the new window would add enter and hover events of its own.
        Shell("xdotool mousemove 2 1020");
        view = std::make_unique<GLView>();
        view->resize(kWidth, kHeight);
        view->move(1000, 800);
        wrapper = std::make_unique<GLViewWrapper>(view.get());
        renderer.display = wrapper.get();
        wrapper->SetRenderer(&renderer);
        wrapper->SetMouseListener(&renderer);
        wrapper->SetKeyListener(&renderer);
    }

    void TearDown() override
    {
        wrapper.reset();
        view.reset();
    }

    void Show()
    {
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        RunEventsFor(20);
        renderer.log.clear();
    }

    PatternRenderer renderer;
    std::unique_ptr<GLView> view;
    std::unique_ptr<GLViewWrapper> wrapper;
};

TEST_F(GLViewTest, ButtonsAndModifiersInLogicalPixelsFromTheTop)
{
    Show();
    struct Case
    {
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        QPoint at;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {Qt::LeftButton, Qt::NoModifier, {0, 0}, {"Down 0 0,0 f0", "Up 0 0,0 f0"}},
        {Qt::RightButton, Qt::ShiftModifier, {kWidth - 1, kHeight - 1}, {"Down 2 199,149 f1", "Up 2 199,149 f1"}},
        {Qt::MiddleButton, Qt::ControlModifier | Qt::AltModifier, {10, 20}, {"Down 1 10,20 f6", "Up 1 10,20 f6"}},
        {Qt::BackButton, Qt::NoModifier, {5, 5}, {}},
    };
    for (const Case& c : cases)
    {
        renderer.log.clear();
        // QTest would take the point (0, 0) for the middle of the view.
        SendMouse(view.get(), QEvent::MouseButtonPress, c.button, c.button, c.modifiers, c.at, 10);
        SendMouse(view.get(), QEvent::MouseButtonRelease, c.button, Qt::NoButton, c.modifiers, c.at, 20);
        std::vector<std::string> got = renderer.Entries("Down");
        for (const auto& up : renderer.Entries("Up"))
            got.push_back(up);
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(GLViewTest, RealDoubleClickThenAThirdClick)
{
    Show();
    const QPoint global = view->mapToGlobal(QPoint(50, 40));
    const std::string at = std::to_string(global.x()) + " " + std::to_string(global.y());
    Shell("xdotool mousemove --sync " + at);
    ASSERT_TRUE(RunEventsUntil([&] { return GLView::GetViewUnderPointer() == view.get(); }, 2000));
    Shell("xdotool click --repeat 3 --delay 80 1");
    const auto clicks = [&] {
        std::vector<std::string> got;
        for (const auto& entry : renderer.log)
            if (entry.rfind("Down", 0) == 0 || entry.rfind("Up", 0) == 0 || entry.rfind("DoubleClick", 0) == 0)
                got.push_back(entry.substr(0, entry.rfind(" t")));
        return got;
    };
    RunEventsUntil([&] { return clicks().size() >= 6; }, 3000);
    const std::vector<std::string> expected = {"Down 0 50,40 f0",        "Up 0 50,40 f0",   "Down 0 50,40 f0",
                                               "DoubleClick 0 50,40 f0", "Down 0 50,40 f0", "Up 0 50,40 f0"};
    EXPECT_EQ(clicks(), expected);
    Shell("xdotool mousemove 2 1020");
    ASSERT_TRUE(RunEventsUntil([&] { return !renderer.Entries("Leave").empty(); }, 2000));
}

TEST_F(GLViewTest, MovesHoverAndTimes)
{
    Show();
    // Drags always arrive; with only another button held nothing does.
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, Qt::NoModifier, {20, 30}, 5000);
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier, {21, 31}, 5037);
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::BackButton, Qt::NoModifier, {22, 32}, 5040);
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, Qt::NoModifier, {23, 33}, 5050);
    wrapper->SetSendMouseMoved(true);
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, Qt::NoModifier, {24, 34}, 5100);
    const std::vector<std::string> expected = {"Move 20,30 f0", "Move 21,31 f1", "Move 24,34 f0"};
    EXPECT_EQ(renderer.Entries("Move"), expected);
    const auto times = renderer.Times("Move");
    ASSERT_EQ(times.size(), 3u);
    EXPECT_EQ(times[1] - times[0], 37u);
    EXPECT_EQ(times[2] - times[0], 100u);

    QEnterEvent enter(QPointF(7, 8), QPointF(7, 8), QPointF(view->mapToGlobal(QPoint(7, 8))));
    QApplication::sendEvent(view.get(), &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.get(), &leave);
    EXPECT_EQ(renderer.Entries("Move").back(), "Move 7,8 f0");
    EXPECT_EQ(renderer.Entries("Leave"), std::vector<std::string>{"Leave"});
}

TEST_F(GLViewTest, WheelDeltaIsHundredthsOfANotch)
{
    Show();
    struct Case
    {
        int angle;
        Qt::KeyboardModifiers modifiers;
        std::string expected;
    };
    const Case cases[] = {{120, Qt::NoModifier, "Wheel 30,40 f0 d100"},
                          {-240, Qt::NoModifier, "Wheel 30,40 f0 d-200"},
                          {60, Qt::ShiftModifier, "Wheel 30,40 f1 d50"},
                          {1, Qt::NoModifier, "Wheel 30,40 f0 d0"},
                          {-119, Qt::NoModifier, "Wheel 30,40 f0 d-99"}};
    for (const Case& c : cases)
    {
        renderer.log.clear();
        QWheelEvent wheel(QPointF(30, 40), QPointF(view->mapToGlobal(QPoint(30, 40))), QPoint(), QPoint(0, c.angle),
                          Qt::NoButton, c.modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.get(), &wheel);
        EXPECT_EQ(renderer.Entries("Wheel"), std::vector<std::string>{c.expected}) << c.angle;
    }
}

TEST_F(GLViewTest, KeysAndSpecialKeys)
{
    Show();
    struct Case
    {
        Qt::Key key;
        QString text;
        Qt::KeyboardModifiers modifiers;
        std::string expected; // empty: no call
    };
    const Case cases[] = {
        {Qt::Key_Up, "", Qt::NoModifier, "Special 1 f0"},
        {Qt::Key_Down, "", Qt::NoModifier, "Special 2 f0"},
        {Qt::Key_Left, "", Qt::ShiftModifier, "Special 3 f1"},
        {Qt::Key_Right, "", Qt::NoModifier, "Special 4 f0"},
        {Qt::Key_PageUp, "", Qt::NoModifier, "Special 5 f0"},
        {Qt::Key_PageDown, "", Qt::NoModifier, "Special 6 f0"},
        {Qt::Key_Home, "", Qt::NoModifier, "Special 7 f0"},
        {Qt::Key_End, "", Qt::AltModifier, "Special 8 f4"},
        {Qt::Key_A, "a", Qt::NoModifier, "Key 97 f0"},
        {Qt::Key_A, "A", Qt::ShiftModifier, "Key 65 f1"},
        {Qt::Key_C, "\x03", Qt::ControlModifier, "Key 3 f2"},
        {Qt::Key_Tab, "\t", Qt::NoModifier, "Key 9 f0"},
        {Qt::Key_Eacute, QString::fromUtf8("\xC3\xA9"), Qt::NoModifier, "Key 233 f0"},
        {Qt::Key_Shift, "", Qt::ShiftModifier, ""},
    };
    for (const Case& c : cases)
    {
        renderer.log.clear();
        QTest::sendKeyEvent(QTest::Click, view.get(), c.key, c.text, c.modifiers);
        std::vector<std::string> got = renderer.Entries("Key");
        for (const auto& special : renderer.Entries("Special"))
            got.push_back(special);
        EXPECT_EQ(got, c.expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.expected})
            << c.expected;
    }
}

TEST_F(GLViewTest, OneTimerAtATime)
{
    CountingTimer first, second;
    wrapper->StartTimer(20, &first);
    wrapper->StartTimer(30, &second);
    EXPECT_EQ(wrapper->GetTimerInterval(), 30);
    EXPECT_EQ(wrapper->GetTimerListener(), &second);
    RunEventsFor(200);
    EXPECT_EQ(first.ticks, 0);
    EXPECT_GE(second.ticks, 2);

    wrapper->StartTimer(0, &first);
    EXPECT_EQ(wrapper->GetTimerInterval(), 1);
    wrapper->SetRenderer(&renderer);
    EXPECT_FALSE(wrapper->IsTimerRunning());
    EXPECT_EQ(wrapper->GetTimerListener(), nullptr);

    // A tick may stop the timer, or delete the wrapper that runs it.
    second.ticks = 0;
    second.onTick = [&] { wrapper->StopTimer(); };
    wrapper->StartTimer(5, &second);
    RunEventsFor(60);
    EXPECT_EQ(second.ticks, 1);
    second.ticks = 0;
    second.onTick = [&] { wrapper.reset(); };
    wrapper->StartTimer(5, &second);
    RunEventsFor(60);
    EXPECT_EQ(second.ticks, 1);
    EXPECT_EQ(wrapper, nullptr);
}

TEST_F(GLViewTest, ExceptionsOfListenersAreLoggedAndTheProgramGoesOn)
{
    Show();
    CapturedErrors errors;
    renderer.throwFromDisplay = true;
    wrapper->Display();
    renderer.throwFromMouse = true;
    QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 4));
    QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 4));
    renderer.throwOtherFromKeys = true;
    QTest::sendKeyEvent(QTest::Click, view.get(), Qt::Key_B, "b", Qt::NoModifier);
    CountingTimer throwing;
    QOpenGLContext* tickContext = nullptr;
    throwing.onTick = [&] {
        tickContext = QOpenGLContext::currentContext();
        throw std::runtime_error("tick failed");
    };
    wrapper->StartTimer(5, &throwing);
    RunEventsFor(50);
    EXPECT_GE(throwing.ticks, 2) << "the timer keeps running";
    EXPECT_EQ(tickContext, view->context());
    const std::string text = errors.Text();
    for (const char* message : {"drawing failed", "mouse handler failed", "unknown exception", "tick failed"})
        EXPECT_NE(text.find(message), std::string::npos) << message << " in: " << text;
    EXPECT_EQ(renderer.Entries("Up"), std::vector<std::string>{"Up 0 3,4 f0"});
    EXPECT_EQ(renderer.Entries("Key"), std::vector<std::string>{"Key 98 f0"});
}

TEST_F(GLViewTest, CursorRectanglesComeFromTheBottomAndTheLastWins)
{
    renderer.cursorRects = {{0, 0, 100, kHeight, Cursors::kResizeUpDownCursor},
                            {0, 0, 50, 20, Cursors::kCrosshairCursor},
                            {150, 100, 20, 20, Cursors::kMoveCursor}};
    wrapper->InvalidateCursorRects();
    struct Case
    {
        int x, y;
        Cursors::Cursor expected;
    };
    const Case cases[] = {{10, 10, Cursors::kResizeUpDownCursor},  {10, 140, Cursors::kCrosshairCursor},
                          {49, 149, Cursors::kCrosshairCursor},    {50, 140, Cursors::kResizeUpDownCursor},
                          {10, 129, Cursors::kResizeUpDownCursor}, {150, 140, Cursors::kArrowCursor},
                          {160, 40, Cursors::kMoveCursor},         {160, 50, Cursors::kArrowCursor}};
    for (const Case& c : cases)
        EXPECT_EQ(view->CursorAt(c.x, c.y), c.expected) << c.x << "," << c.y;

    Show();
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, Qt::NoModifier, {10, 140}, 1);
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, Qt::NoModifier, {160, 40}, 2);
    EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(view->cursor().hotSpot(), QPoint(7, 7));
    SendMouse(view.get(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, Qt::NoModifier, {150, 140}, 3);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);

    EXPECT_EQ(Cursors::GetCursor(static_cast<Cursors::Cursor>(7)), nullptr);
    EXPECT_EQ(Cursors::GetCursor(static_cast<Cursors::Cursor>(-1)), nullptr);
    EXPECT_EQ(Cursors::GetCursor(Cursors::kResizeNECursor), Cursors::GetCursor(Cursors::kResizeNECursor));

    CapturedErrors errors;
    renderer.throwFromCursorRects = true;
    wrapper->InvalidateCursorRects();
    EXPECT_EQ(view->CursorAt(10, 140), Cursors::kArrowCursor);
    EXPECT_NE(errors.Text().find("cursor rectangles failed"), std::string::npos);
}

TEST_F(GLViewTest, RendererAttachedBeforeShowIsInitialisedAgainInTheViewsOwnContext)
{
    // Each entry of the log gets the context that was current for it.
    std::vector<QOpenGLContext*> contexts;
    renderer.onInitialize = [&] { contexts.resize(renderer.log.size(), QOpenGLContext::currentContext()); };
    renderer.log.clear();
    wrapper->SetRenderer(&renderer);
    ASSERT_EQ(contexts.size(), 1u);
    EXPECT_EQ(contexts[0], SharedContext::Context());
    EXPECT_EQ(renderer.log, (std::vector<std::string>{"Initialize", "Reshape 200x150"}));
    EXPECT_EQ(wrapper->GetWidth(), kWidth);
    EXPECT_EQ(wrapper->GetHeight(), kHeight);

    // Lights and enables belong to one context: the first frame must find them in the view's own, which
    // only showing the view makes.
    renderer.log.clear();
    contexts.clear();
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    ASSERT_TRUE(RunEventsUntil([&] { return !renderer.Entries("Display").empty(); }, 2000));
    const auto first = [&](const std::string& entry) {
        return std::find(renderer.log.begin(), renderer.log.end(), entry) - renderer.log.begin();
    };
    ASSERT_LT(first("Initialize"), first("Display")) << ::testing::PrintToString(renderer.log);
    EXPECT_EQ(contexts.at(first("Initialize")), view->context());
    EXPECT_LT(first("Initialize"), first("Reshape 200x150"));
    EXPECT_LT(first("Reshape 200x150"), first("Display"));

    contexts.clear();
    renderer.log.clear();
    wrapper->SetRenderer(&renderer);
    ASSERT_EQ(contexts.size(), 1u);
    EXPECT_EQ(contexts[0], view->context());
    EXPECT_NE(wrapper->GetDefaultFramebuffer(), 0u);
    EXPECT_EQ(wrapper->GetDefaultFramebuffer(), view->defaultFramebufferObject());
    renderer.log.clear();
    view->resize(220, 160);
    ASSERT_TRUE(RunEventsUntil([&] { return !renderer.Entries("Reshape").empty(); }, 2000));
    EXPECT_EQ(renderer.Entries("Reshape").front(), "Reshape 220x160");
}

TEST_F(GLViewTest, MultisampleIsLoweredToWhatTheHardwareOffers)
{
    UserPreferences* preferences = UserPreferences::GetPreferences();
    preferences->SetNumSamples(8);
    GLView lowered;
    EXPECT_EQ(preferences->GetMaxNumSamples(), 4) << "llvmpipe";
    EXPECT_EQ(preferences->GetNumSamples(), 4);
    EXPECT_EQ(lowered.format().samples(), 4);
    preferences->SetNumSamples(0);
    GLView plain;
    EXPECT_LE(plain.format().samples(), 0);
}

// The window swaps, not the view: what counts is the swap interval of the window's native surface. A change
// warns of nothing, and making a view leaves the process-wide default alone.
TEST_F(GLViewTest, VerticalSyncReachesTheWindowsOpenedAfterTheChange)
{
    UserPreferences* preferences = UserPreferences::GetPreferences();
    const bool before = preferences->GetVSync();
    const QtMessageRecorder qt;
    for (const bool vsync : {!before, before, !before})
    {
        preferences->SetVSync(vsync);
        GLView opened;
        opened.resize(40, 30);
        opened.move(900, 700);
        opened.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&opened));
        ASSERT_NE(nullptr, opened.windowHandle());
        EXPECT_EQ(vsync ? 1 : 0, opened.windowHandle()->format().swapInterval()) << vsync;
    }
    preferences->SetVSync(before);
    EXPECT_EQ(std::vector<std::string>{}, qt.Containing("default format"));

    preferences->RemoveListener(wrapper.get());
    preferences->SetVSync(!before);
    const QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    const GLView made;
    EXPECT_EQ(format, QSurfaceFormat::defaultFormat());
    preferences->SetVSync(before);
    preferences->AddListener(wrapper.get());
}

// Rows of RGBA bytes, top row first, as ImageMagick writes raw "rgba:".
std::string Bytes(const QImage& image)
{
    std::string bytes;
    for (int y = 0; y < image.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(y)),
                     static_cast<std::size_t>(image.width()) * 4);
    return bytes;
}

std::array<int, 4> PixelOf(const std::string& rgba, int width, int x, int y)
{
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4;
    return {static_cast<unsigned char>(rgba[at]), static_cast<unsigned char>(rgba[at + 1]),
            static_cast<unsigned char>(rgba[at + 2]), static_cast<unsigned char>(rgba[at + 3])};
}

TEST_F(GLViewTest, CapturedFrameIsUprightOpaqueAndSavedAsTIFF)
{
    Show();
    const QImage image = view->GetImageData();
    ASSERT_EQ(image.width(), kWidth);
    ASSERT_EQ(image.height(), kHeight);
    const std::string frame = Bytes(image);
    struct Case
    {
        const char* what;
        int x, y;
        std::array<int, 4> rgba;
    };
    const Case cases[] = {{"top row", 100, 0, {255, 0, 0, 255}},
                          {"bottom row", 100, kHeight - 1, {0, 255, 0, 255}},
                          {"top-left block", 5, 5, {255, 255, 0, 255}},
                          {"inside, drawn at alpha 0.5", 100, 75, {0, 0, 255, 255}}};
    for (const Case& c : cases)
        EXPECT_EQ(PixelOf(frame, kWidth, c.x, c.y), c.rgba) << c.what;

    TempDir folder;
    const std::string path = folder.File("frame.tiff");
    ASSERT_TRUE(view->SaveImage(path));
    EXPECT_EQ(Output("identify -format '%m %w %h' '" + path + "'"), "TIFF 200 150");
    const std::string saved = Output("convert '" + path + "' -depth 8 rgba:-");
    EXPECT_TRUE(saved == frame) << "the file differs from the frame";

    ASSERT_TRUE(view->CopyToPasteboard());
    const QImage pasted = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGBA8888);
    EXPECT_TRUE(Bytes(pasted) == frame);

    EXPECT_FALSE(view->SaveImage(folder.File("no such folder/frame.tiff")));
}

TEST_F(GLViewTest, TheWindowShowsTheFrameUpright)
{
    Show();
    // Read once it has drawn.
    QImage screen;
    RunEventsUntil(
        [&] {
            screen = CaptureWindow(std::to_string(view->windowHandle()->winId()), 0);
            return !screen.isNull() && screen.pixel(100, 0) == qRgb(255, 0, 0);
        },
        20000);
    ASSERT_EQ(screen.size(), QSize(kWidth, kHeight));
    struct Case
    {
        const char* what;
        QPoint at;
        QRgb colour;
    };
    for (const Case& c : {Case{"top", {100, 0}, qRgb(255, 0, 0)}, Case{"bottom", {100, kHeight - 1}, qRgb(0, 255, 0)},
                          Case{"top left", {9, 9}, qRgb(255, 255, 0)}, Case{"opaque", {100, 75}, qRgb(0, 0, 255)}})
        EXPECT_EQ(screen.pixel(c.at) & 0xffffff, c.colour & 0xffffff) << c.what;
    EXPECT_EQ(qRed(screen.pixel(10, 10)), 0);
}

} // namespace
