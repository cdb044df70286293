#include "views/GeneRelationGraphRenderer.h"

#include <GL/glew.h>

#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/TabControlRenderer.h"

GeneRelationGraphRenderer::GeneRelationGraphRenderer(GLDisplay* display, BrainExpressionModel*,
                                                     TabControlRenderer* tabs, SearchController*)
    : m_display(display)
    , m_tabs(tabs)
{
}

GeneRelationGraphRenderer::~GeneRelationGraphRenderer() = default;

void GeneRelationGraphRenderer::Initialize()
{
    m_titleBox.reset(m_display->CreateTextBox(600, 1, false, GLTextBox::kAlignLeft));
    m_titleBox->SetText(m_title);
}

void GeneRelationGraphRenderer::SetTitle(const std::string& title)
{
    m_title = title;
    if (m_titleBox && m_display->MakeCurrent())
        m_titleBox->SetText(m_title);
    if (m_active)
        m_display->Invalidate();
}

void GeneRelationGraphRenderer::LoadQuellar(const char* title, const char*, int, int, int)
{
    SetTitle(title ? title : "");
}

void GeneRelationGraphRenderer::LoadFile(const char* path)
{
    SetTitle(path ? path : "");
}

void GeneRelationGraphRenderer::Display()
{
    glClearColor(0.93f, 0.93f, 0.93f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, m_width, m_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, m_width, 0, m_height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    const int tabHeight = m_tabs && m_tabs->IsVisible() ? m_tabs->GetHeight() : 0;
    if (m_tabs && m_tabs->IsVisible())
        m_tabs->Display(m_width);
    if (m_titleBox)
        m_titleBox->Draw(10, m_height - tabHeight - 10 - m_titleBox->GetHeight());
    glDisable(GL_BLEND);
}

void GeneRelationGraphRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
}

bool GeneRelationGraphRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    m_capture = nullptr;
    if (m_tabs && m_tabs->IsVisible() && y <= m_tabs->GetHeight() && m_tabs->OnButtonDown(button, x, y, flags, time))
    {
        m_capture = m_tabs;
        return true;
    }
    return false;
}

bool GeneRelationGraphRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    MouseListener* capture = m_capture;
    m_capture = nullptr;
    return capture ? capture->OnButtonUp(button, x, y, flags, time) : false;
}

bool GeneRelationGraphRenderer::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    return m_capture ? m_capture->OnMouseMove(x, y, flags, time) : false;
}
