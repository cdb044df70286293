#pragma once

#include <memory>

class GLDisplay;
class GLTextBox;
class GLTexture;

// A push button of the GL views: an icon (with an optional active icon for the highlighted state) or a
// single-line text on a grey plate. It draws itself and answers hit tests in GL pixel coordinates (y
// upwards); owners route the mouse to it. Drawing and icon textures need a current GL context.
class GLTextureButton
{
public:
    GLTextureButton();
    GLTextureButton(int x, int y, int width, int height);
    // A text button; text is UTF-8.
    GLTextureButton(GLDisplay* display, const char* text);
    GLTextureButton(GLDisplay* display, const char* text, int x, int y);
    virtual ~GLTextureButton();

    // Becomes an icon button of that rectangle with an empty BGRA icon of its size for the owner to fill.
    virtual void Create(int x, int y, int width, int height);
    virtual void Draw();
    virtual void Draw(bool highlighted);
    virtual void Draw(bool highlighted, int x, int y);
    virtual void DrawWithBorder(bool highlighted, bool selected, int x, int y);
    virtual bool PointInside(int x, int y);
    virtual bool PointInside(int x, int y, int buttonX, int buttonY);
    // False while disabled.
    virtual bool AcceptsClick(int x, int y);
    // Drawn size: a text button's plate, else the stored size (0 for a button with neither icon nor text).
    virtual int GetWidth();
    virtual int GetHeight();
    virtual int GetTextBaseline();
    virtual void MoveButton(int x, int y);
    virtual void SetEnabled(bool enabled);
    virtual bool IsEnabled() const { return m_enabled; }
    // Returns true when the state already was `highlighted` (nothing changed).
    virtual bool SetHighlighted(bool highlighted);
    // Make the button an icon button (a text button loses its label) and return the texture to fill.
    virtual GLTexture* GetIconTexture();
    virtual GLTexture* GetActiveIconTexture();
    virtual int GetOriginX() const { return m_originX; }
    virtual int GetOriginY() const { return m_originY; }
    // The stored size.
    virtual int GetWidth() const { return m_width; }
    virtual int GetHeight() const { return m_height; }

    bool IsHighlighted() const { return m_highlighted; }

private:
    void MakeTextBox(GLDisplay* display, const char* text);
    void DrawText(bool highlighted, int x, int y);
    // The rectangle one pixel around the icon.
    void FillIconFrame(int x, int y) const;

    std::shared_ptr<GLTexture> m_icon;
    std::shared_ptr<GLTexture> m_activeIcon;
    std::shared_ptr<GLTextBox> m_textBox;
    int m_originX = 0;
    int m_originY = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_enabled = true;
    bool m_highlighted = false;
};
