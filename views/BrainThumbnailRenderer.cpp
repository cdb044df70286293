#include "views/BrainThumbnailRenderer.h"

#include <GL/glew.h>

#include "expression/GeneExpression.h"
#include "expression/PagedGeneList.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/TabControlRenderer.h"

namespace
{
constexpr int kLineWidth = 600;
// Special keys as the display delivers them.
constexpr int kPageUp = 5;
constexpr int kPageDown = 6;
} // namespace

BrainThumbnailRenderer::BrainThumbnailRenderer(GLDisplay* display, PagedGeneList* list, BrainExpressionModel*,
                                               TabControlRenderer* tabs, SearchController*)
    : m_display(display)
    , m_list(list)
    , m_tabs(tabs)
{
    if (m_list)
        m_list->AddListener(this);
}

BrainThumbnailRenderer::~BrainThumbnailRenderer()
{
    if (m_list)
        m_list->RemoveListener(this);
}

void BrainThumbnailRenderer::Initialize()
{
    UpdateText();
}

std::vector<std::string> BrainThumbnailRenderer::GetLines() const
{
    std::vector<std::string> lines;
    std::string status;
    if (m_list)
        m_list->GetStatusString(status);
    lines.push_back(status);
    for (int i = 0; m_list && i < m_list->GetNumGenes(); ++i)
    {
        const GeneExpression* gene = m_list->GetGene(i);
        if (gene)
            lines.push_back(gene->GetName() + " (" + gene->GetLabel() + ")");
    }
    return lines;
}

void BrainThumbnailRenderer::UpdateText()
{
    const std::vector<std::string> lines = GetLines();
    m_lines.clear();
    for (const std::string& line : lines)
    {
        m_lines.emplace_back(m_display->CreateTextBox(kLineWidth, 1, false, GLTextBox::kAlignLeft));
        m_lines.back()->SetText(line);
    }
}

void BrainThumbnailRenderer::Display()
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
    int top = m_height - tabHeight - 8;
    for (const std::unique_ptr<GLTextBox>& line : m_lines)
    {
        top -= line->GetHeight() + 2;
        line->Draw(10, top);
    }
    glDisable(GL_BLEND);
}

void BrainThumbnailRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
}

bool BrainThumbnailRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    m_capture = nullptr;
    if (m_tabs && m_tabs->IsVisible() && y <= m_tabs->GetHeight() && m_tabs->OnButtonDown(button, x, y, flags, time))
    {
        // The press may have switched away from this tab: the display shows the new renderer.
        m_capture = m_tabs;
        return true;
    }
    return false;
}

bool BrainThumbnailRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    MouseListener* capture = m_capture;
    m_capture = nullptr;
    // Closing this tab from its close box deletes the renderer later, never inside this call.
    return capture ? capture->OnButtonUp(button, x, y, flags, time) : false;
}

bool BrainThumbnailRenderer::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    return m_capture ? m_capture->OnMouseMove(x, y, flags, time) : false;
}

bool BrainThumbnailRenderer::OnSpecialKeyDown(int code, int, unsigned int)
{
    if (!m_list)
        return false;
    const int page = m_list->GetCurrentPage();
    if (code == kPageDown && page + 1 < m_list->GetNumPages())
        m_list->ChangePage(page + 1);
    else if (code == kPageUp && page > 0)
        m_list->ChangePage(page - 1);
    else
        return false;
    return true;
}

void BrainThumbnailRenderer::PagedGeneListChanged(int, PagedGeneList*, int)
{
    if (!m_display->MakeCurrent())
        return;
    UpdateText();
    if (m_active)
        m_display->Invalidate();
}
