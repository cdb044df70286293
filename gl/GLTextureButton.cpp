#include "gl/GLTextureButton.h"

#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/GLTexture.h"

#include <GL/glew.h>

#include <cstring>

GLTextureButton::GLTextureButton() = default;

GLTextureButton::GLTextureButton(int x, int y, int width, int height)
{
    Create(x, y, width, height);
}

GLTextureButton::GLTextureButton(GLDisplay* display, const char* text)
{
    MakeTextBox(display, text);
}

GLTextureButton::GLTextureButton(GLDisplay* display, const char* text, int x, int y)
    : m_originX(x)
    , m_originY(y)
{
    MakeTextBox(display, text);
}

GLTextureButton::~GLTextureButton() = default;

void GLTextureButton::MakeTextBox(GLDisplay* display, const char* text)
{
    const char* const label = text ? text : "";
    const int width = 15 * static_cast<int>(std::strlen(label));
    m_textBox.reset(display->CreateTextBox(width, 1, false, GLTextBox::kAlignLeft));
    m_textBox->SetText(label);
    m_width = m_textBox->GetTextWidth();
    m_height = m_textBox->GetLineHeight();
}

void GLTextureButton::Create(int x, int y, int width, int height)
{
    m_icon.reset();
    m_activeIcon.reset();
    m_textBox.reset();
    m_originX = x;
    m_originY = y;
    m_width = width;
    m_height = height;
    m_icon = std::make_shared<GLTexture>(width, height, GL_BGRA, GL_LINEAR);
}

void GLTextureButton::Draw()
{
    Draw(m_highlighted, m_originX, m_originY);
}

void GLTextureButton::Draw(bool highlighted)
{
    Draw(highlighted, m_originX, m_originY);
}

void GLTextureButton::DrawText(bool highlighted, int x, int y)
{
    const float grey = highlighted ? 0.5f : 0.25f;
    glColor4f(grey, grey, grey, 1.0f);
    glRecti(x, y, x + m_textBox->GetTextWidth() + 12, y + m_textBox->GetHeight() + 6);
    m_textBox->Draw(x + 6, y + 3);
}

void GLTextureButton::FillIconFrame(int x, int y) const
{
    glRecti(x - 1, y - 1, x + 1 + m_icon->GetDrawWidth(), y + 1 + m_icon->GetDrawHeight());
}

void GLTextureButton::Draw(bool highlighted, int x, int y)
{
    if (m_textBox)
    {
        DrawText(highlighted, x, y);
        return;
    }
    if (!m_icon)
        return;
    const bool showActive = highlighted && m_activeIcon;
    if (!showActive)
        m_icon->Draw(x, y);
    if (!m_enabled)
    {
        glColor4f(0.0f, 0.0f, 0.0f, 0.75f);
        FillIconFrame(x, y);
    }
    if (!highlighted)
        return;
    if (m_activeIcon)
    {
        m_activeIcon->Draw(x, y);
        return;
    }
    glEnable(GL_COLOR_LOGIC_OP);
    glLogicOp(GL_INVERT);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    FillIconFrame(x, y);
    glLogicOp(GL_COPY);
    glDisable(GL_COLOR_LOGIC_OP);
}

void GLTextureButton::DrawWithBorder(bool highlighted, bool selected, int x, int y)
{
    if (!m_icon)
    {
        Draw(highlighted, x, y);
        return;
    }
    m_icon->Draw(x, y);
    if (highlighted)
    {
        if (m_activeIcon)
        {
            m_activeIcon->Draw(x, y);
        }
        else
        {
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
            glColor4f(0.25f, 0.25f, 0.25f, 0.5f);
            FillIconFrame(x, y);
        }
    }
    if (selected)
    {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(0.15f, 0.15f, 0.75f, 0.5f);
        FillIconFrame(x, y);
    }
    const int right = x + 1 + m_icon->GetDrawWidth();
    const int top = y + 1 + m_icon->GetDrawHeight();
    glColor4f(0.25f, 0.25f, 0.25f, 1.0f);
    GLBegin loop(GL_LINE_LOOP);
    glVertex2i(x - 1, y - 1);
    glVertex2i(right, y - 1);
    glVertex2i(right, top);
    glVertex2i(x - 1, top);
}

bool GLTextureButton::PointInside(int x, int y)
{
    return PointInside(x, y, m_originX, m_originY);
}

bool GLTextureButton::PointInside(int px, int py, int bx, int by)
{
    if (m_textBox)
        return bx <= px && px <= bx + m_textBox->GetTextWidth() + 12 && by - 1 <= py &&
               py <= by + m_textBox->GetHeight() + 6;
    if (m_icon)
        return bx <= px && px <= bx + m_icon->GetDrawWidth() + 2 && by - 1 <= py && py <= by + m_icon->GetDrawHeight();
    return false;
}

bool GLTextureButton::AcceptsClick(int x, int y)
{
    return m_enabled && PointInside(x, y);
}

int GLTextureButton::GetWidth()
{
    if (m_textBox)
        return m_textBox->GetTextWidth() + 12;
    return m_icon ? m_width : 0;
}

int GLTextureButton::GetHeight()
{
    if (m_textBox)
        return m_textBox->GetHeight() + 6;
    return m_icon ? m_height : 0;
}

int GLTextureButton::GetTextBaseline()
{
    return m_originY + 3;
}

void GLTextureButton::MoveButton(int x, int y)
{
    m_originX = x;
    m_originY = y;
}

void GLTextureButton::SetEnabled(bool enabled)
{
    m_enabled = enabled;
}

bool GLTextureButton::SetHighlighted(bool highlighted)
{
    const bool unchanged = m_highlighted == highlighted;
    m_highlighted = highlighted;
    return unchanged;
}

GLTexture* GLTextureButton::GetIconTexture()
{
    m_textBox.reset();
    if (!m_icon)
        m_icon = std::make_shared<GLTexture>();
    return m_icon.get();
}

GLTexture* GLTextureButton::GetActiveIconTexture()
{
    m_textBox.reset();
    if (!m_activeIcon)
        m_activeIcon = std::make_shared<GLTexture>();
    return m_activeIcon.get();
}
