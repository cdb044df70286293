#pragma once

#include <string>

// Only GLDisplay::CreateTextBox makes text boxes; the caller owns them.
class GLTextBox
{
public:
    enum Alignment
    {
        kAlignLeft = 0,
        kAlignCenter = 1,
        kAlignRight = 2
    };

    virtual ~GLTextBox() {}
    virtual void SetText(const std::string& text) = 0; // UTF-8
    // (x, y) is the lower-left corner of the box in GL pixel coordinates (y upwards).
    virtual void Draw(int x, int y) = 0;
    virtual void ShowBackground(bool show) = 0;
    virtual int GetLineHeight() = 0;
    virtual int GetTextWidth() = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
};
