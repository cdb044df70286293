#pragma once

#include "gl/GLTextBox.h"
#include "gl/GLTexture.h"

#include <functional>
#include <string>
#include <vector>

// The desktop text box: UTF-8 text in "DejaVu Sans" (11 pixels, 9 when small), white at alpha 0.9, laid
// out from the top of a box of fixed size, wrapped at word boundaries into its lines, and drawn as one
// premultiplied RGBA texture. Text beyond the box's last line is cut there with an ellipsis. Sizes and the layout
// are logical pixels, the same at every scale; the bitmap holds the device pixels of the box (logical x the
// pixel ratio), so that text is as sharp as the window system's own, and it is rendered again when the
// ratio has changed by the next Draw. Made only by GLDisplay::CreateTextBox. SetText needs no GL context
// (the bitmap is uploaded by the next Draw); Draw needs one. Main thread only.
class CocoaGLTextBox : public GLTextBox
{
public:
    using PixelRatio = std::function<double()>;

    // Without a pixel ratio the box renders at 1.
    CocoaGLTextBox(int width, int lines, bool small, GLTextBox::Alignment alignment, PixelRatio ratio = {});

    void SetText(const std::string& text) override;
    // Draws nothing for an empty text or a box without pixels.
    void Draw(int x, int y) override;
    void ShowBackground(bool show) override { m_showBackground = show; }
    int GetLineHeight() override { return m_lineHeight; }
    int GetTextWidth() override { return m_textWidth; }
    int GetWidth() override { return m_width; }
    int GetHeight() override { return m_height; }

    int GetTextHeight() const { return m_textHeight; }
    // The text as the box shows it, wrapped into its lines and cut with an ellipsis.
    const std::string& GetShownText() const { return m_shownText; }
    // The rendered text, premultiplied RGBA, rows top first, device pixels; empty for an empty text.
    const std::vector<unsigned char>& GetBitmap() const { return m_bitmap; }
    int GetBitmapWidth() const { return m_bitmapWidth; }
    int GetBitmapHeight() const { return m_bitmapHeight; }
    // The ratio the bitmap was rendered at.
    double GetBitmapRatio() const { return m_bitmapRatio; }

    // The font's pixel size for normal and small text.
    static constexpr int kFontSize = 11;
    static constexpr int kSmallFontSize = 9;

private:
    void Render();
    double CurrentRatio() const;
    void Upload();

    bool m_showBackground = false;
    int m_lineHeight = 0;
    int m_lines = 1;
    std::string m_shownText;
    int m_textWidth = 0;
    int m_textHeight = 0;
    int m_width = 0;
    int m_height = 0;
    int m_bitmapWidth = 0;
    int m_bitmapHeight = 0;
    GLTextBox::Alignment m_alignment;
    GLTexture m_texture;
    bool m_small;
    std::string m_text;
    std::vector<unsigned char> m_bitmap;
    PixelRatio m_ratio;
    double m_bitmapRatio = 1.0;
    bool m_bitmapChanged = false;
};
