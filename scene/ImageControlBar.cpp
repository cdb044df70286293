#include "scene/ImageControlBar.h"

#include <GL/glew.h>

#include "atlas/AtlasSpace.h"
#include "atlas/ImageSeries.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/GLBegin.h"
#include "gl/IconTextures.h"
#include "scene/BrainSceneRenderer.h"

ImageControlBar::ImageControlBar() = default;

ImageControlBar::~ImageControlBar() = default;

void ImageControlBar::Create(BrainSceneRenderer* renderer, int x, int y, int width, int height)
{
    m_renderer = renderer;
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    GLDisplay* const display = renderer ? renderer->GetContext() : nullptr;
    MakeDisplayIcon(m_cellIcons[0], display, MakeCoronalPlaneIcon);
    MakeDisplayIcon(m_cellIcons[1], display, MakeSagittalPlaneIcon);
    MakeDisplayIcon(m_cellIcons[2], display, MakeISHImageIcon);
    m_closeButton.Create(x + 2, static_cast<int>(height * 0.5f + y - 8 + 1), 16, 16);
    MakeDisplayIcon(*m_closeButton.GetIconTexture(), display, MakeCloseTabIcon);
    MakeDisplayIcon(*m_closeButton.GetActiveIconTexture(), display, MakeActiveCloseTabIcon);
    m_browserButton.Create(x + width - 18, y + 2, 16, 16);
    MakeDisplayIcon(*m_browserButton.GetIconTexture(), display, MakeShowBrowserImageIcon);
    MakeDisplayIcon(*m_browserButton.GetActiveIconTexture(), display, MakeActiveShowBrowserImageIcon);
}

int ImageControlBar::GetCellWidth() const
{
    return m_cellIcons[0].GetDrawWidth() + 4;
}

void ImageControlBar::CheckImagesAvailable()
{
    for (bool& available : m_imageAvailable)
        available = false;
    if (!m_renderer)
        return;
    BrainExpressionModel* model = m_renderer->GetModel();
    const AtlasSpace* space = nullptr;
    if (const Expressor* expressor = model->GetSelectedExpressor())
    {
        const GeneExpression* gene = model->GetSelectedExpressorsGene();
        m_imageAvailable[2] = gene && gene->GetImageSeries().GetImageSection(expressor->section) != nullptr;
        space = model->GetSelectedExpressorsSpace();
    }
    else
        space = model->GetProbeAtlasSpace();
    if (space)
    {
        m_imageAvailable[0] = space->CoronalImagesAvailable();
        m_imageAvailable[1] = space->SagittalImagesAvailable();
    }
    // The data set's own section is offered only beside an atlas plate.
    if (!m_imageAvailable[0] && !m_imageAvailable[1])
        m_imageAvailable[2] = false;
}

void ImageControlBar::Draw()
{
    const int c = GetCellWidth();
    const int b = m_closeButton.GetWidth();
    CheckImagesAvailable();
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glPushMatrix();
    glTranslatef(0.375f, 0.375f, 0.0f);
    glColor4f(0.3f, 0.3f, 0.3f, 1.0f);
    glRecti(m_x, m_y, m_x + m_width, m_y + m_height);
    const int mode = m_renderer ? static_cast<int>(m_renderer->GetModel()->GetImageDisplayMode()) : -1;
    glColor4f(0.45f, 0.45f, 0.45f, 1.0f);
    if (IsImageAvailable(mode))
        glRecti(m_x + b + 10 + mode * c, m_y, m_x + b + 10 + (mode + 1) * c, m_y + m_height);
    {
        GLBegin edges(GL_LINE_STRIP);
        glVertex2i(m_x, m_y);
        glVertex2i(m_x, m_y + m_height);
        glVertex2i(m_x + m_width, m_y + m_height);
        glVertex2i(m_x + m_width, m_y);
    }
    glPopMatrix();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    m_closeButton.Draw();
    if (m_renderer && m_renderer->CanShowImageInBrowser())
        m_browserButton.Draw();
    for (int k = 0; k < CELLS; ++k)
        if (m_imageAvailable[k])
            m_cellIcons[k].Draw(m_x + b + 12 + k * c, m_y + 2);
    if (m_pressedLook && m_pressedCell >= 0)
    {
        glColor4f(0.15f, 0.15f, 0.15f, 0.75f);
        glRecti(m_x + b + 10 + m_pressedCell * c, m_y + 1, m_x + b + 10 + (m_pressedCell + 1) * c, m_y + m_height - 1);
    }
    glPopAttrib();
}

int ImageControlBar::ToOverlayY(int y) const
{
    return (m_renderer ? m_renderer->GetHeight() : 0) - y - 1;
}

bool ImageControlBar::Inside(int x, int y) const
{
    return x >= m_x && x < m_x + m_width && y >= m_y && y < m_y + m_height;
}

int ImageControlBar::CellAt(int x, int y) const
{
    const int c = GetCellWidth();
    if (!Inside(x, y) || c <= 0)
        return -1;
    // Truncation toward zero: a press less than a cell left of the first cell counts as the first.
    return (x - 10 - m_x - m_closeButton.GetWidth()) / c;
}

bool ImageControlBar::OnButtonDown(int button, int x, int y, int, unsigned int)
{
    y = ToOverlayY(y);
    CheckImagesAvailable();
    for (GLTextureButton* candidate : {&m_closeButton, &m_browserButton})
        if (candidate->AcceptsClick(x, y))
        {
            m_capturedButton = candidate;
            candidate->SetHighlighted(true);
            return true;
        }
    if (button != kLeftButton || !Inside(x, y))
        return false;
    const int cell = CellAt(x, y);
    if (cell < 0 || cell >= CELLS)
    {
        m_pressedCell = -1;
        return false;
    }
    if (!m_imageAvailable[cell])
        return false;
    m_pressedCell = cell;
    m_pressedLook = true;
    return true;
}

bool ImageControlBar::OnMouseMove(int x, int y, int, unsigned int)
{
    y = ToOverlayY(y);
    if (m_capturedButton)
        return !m_capturedButton->SetHighlighted(m_capturedButton->PointInside(x, y));
    const bool look = m_pressedCell >= 0 && CellAt(x, y) == m_pressedCell;
    const bool changed = look != m_pressedLook;
    m_pressedLook = look;
    return changed;
}

bool ImageControlBar::OnButtonUp(int, int x, int y, int, unsigned int)
{
    y = ToOverlayY(y);
    if (m_capturedButton)
    {
        GLTextureButton* button = m_capturedButton;
        m_capturedButton = nullptr;
        button->SetHighlighted(false);
        if (button->PointInside(x, y) && m_renderer)
        {
            if (button == &m_browserButton)
                m_renderer->ShowImageInBrowser();
            else
                m_renderer->HideImage();
        }
        return true;
    }
    if (m_pressedCell >= 0 && CellAt(x, y) == m_pressedCell && m_renderer)
        m_renderer->GetModel()->SetImageDisplayMode(static_cast<BrainExpressionModel::ImageDisplayMode>(m_pressedCell),
                                                    true);
    m_pressedCell = -1;
    m_pressedLook = false;
    return true;
}
