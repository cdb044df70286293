#include "gl/support/RecordingDisplay.h"

#include "gl/GLRenderer.h"
#include "gl/TimerListener.h"
#include "gl/support/GLTestContext.h"

RecordingDisplay::RecordingDisplay(int width, int height)
    : width(width)
    , height(height)
{
}

void RecordingDisplay::Display()
{
    ++displayCount;
    if (!renderer)
        return;
    // As a view does before drawing: the renderer may count on its context being current.
    GLTestContext::Instance().MakeCurrent();
    renderer->Display();
}

bool RecordingDisplay::MakeCurrent()
{
    ++makeCurrentCount;
    GLTestContext::Instance().MakeCurrent();
    return true;
}

void RecordingDisplay::StartTimer(unsigned int milliseconds, TimerListener* listener)
{
    ++startTimerCount;
    timerListener = listener;
    timerInterval = milliseconds;
}

void RecordingDisplay::StopTimer()
{
    if (!timerListener)
        return;
    ++stopTimerCount;
    timerListener = nullptr;
    timerInterval = 0;
}

GLTextBox* RecordingDisplay::CreateTextBox(int width, int lines, bool small, GLTextBox::Alignment alignment)
{
    auto record = std::make_shared<TextBoxRecord>();
    record->width = width;
    record->lines = lines;
    record->small = small;
    record->alignment = alignment;
    textBoxes.push_back(record);
    return new RecordingTextBox(record);
}

void RecordingDisplay::AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor)
{
    cursorRects.push_back(CursorRect{x, y, width, height, cursor});
}

void RecordingDisplay::SetRenderer(GLRenderer* newRenderer)
{
    StopTimer();
    renderer = newRenderer;
    if (renderer)
    {
        MakeCurrent();
        renderer->Initialize();
        renderer->Reshape(width, height);
    }
}

void RecordingDisplay::FireTimer(int ticks)
{
    for (int k = 0; k < ticks && timerListener; ++k)
        timerListener->TimerElapsed(); // may stop or replace the timer
}

void RecordingDisplay::ResetCursorRects()
{
    cursorRects.clear();
    if (renderer)
        renderer->ResetCursorRects();
}

void RecordingDisplay::Resize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
    if (renderer)
        renderer->Reshape(width, height);
}

const TextBoxRecord* RecordingDisplay::FindTextBox(const std::string& text) const
{
    for (const auto& record : textBoxes)
    {
        if (!record->deleted && record->text == text)
            return record.get();
    }
    return nullptr;
}
