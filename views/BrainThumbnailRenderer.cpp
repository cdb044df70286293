#include "views/BrainThumbnailRenderer.h"

#include <GL/glew.h>

#include "atlas/Atlas.h"
#include "core/MemoryStream.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/ModelChangeCode.h"
#include "expression/PagedGeneList.h"
#include "gl/DevicePixels.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/IconTextures.h"
#include "gl/KeyListener.h"
#include "gl/TabControlRenderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace
{
constexpr int kHeaderHeight = 26;
constexpr int kHeaderBand = 24;
constexpr int kStripHeight = 27;
constexpr int kButtonPitch = 18;
constexpr int kPauseButton = 5;
constexpr int kShiftPages = 5;
// What a column holds right of its cloud, and how far its progress bar reaches into the next column.
constexpr int kTextColumn = 170;
constexpr int kColumnOverhang = 4;
// The least side of a thumbnail's square, and the room of the scroll bar right of a single column.
constexpr int kLeastThumbnail = 64;
constexpr int kScrollBar = 6;
// The download strip's progress bar at its full length, and the gaps before it and between the buttons.
constexpr int kBarLength = 200;
constexpr int kBarGap = 10;
constexpr int kBarToButton = 20;
constexpr int kButtonGap = 10;

BrainThumbnailRenderer::StripLayout LayOutStrip(const BrainThumbnailRenderer::PageMetrics& m)
{
    BrainThumbnailRenderer::StripLayout strip;
    const int buttons = kBarToButton + m.cancelWidth + kButtonGap + m.cancelAllWidth;
    const bool oneLine = m.downloadBoxWidth + kBarGap + kBarLength + buttons + 5 <= m.width;
    // The buttons and the bar are placed for the next download; the text alone takes the lower line.
    const bool textAbove = m.downloadRunning && !oneLine;
    if (m.downloadRunning || m.downloadText)
        strip.height = textAbove ? kStripHeight + kHeaderHeight : kStripHeight;
    strip.textX = 5;
    strip.textY = (kHeaderHeight - m.downloadLineHeight) / 2 + (textAbove ? kHeaderHeight : 0);
    strip.buttonY = (kHeaderHeight - m.downloadLineHeight) / 2 - 3;
    strip.barX = oneLine ? m.downloadBoxWidth + kBarGap : 5;
    strip.barLength = std::max(0, std::min(kBarLength, m.width - 5 - buttons - strip.barX));
    strip.cancelX = strip.barX + strip.barLength + kBarToButton;
    strip.cancelAllX = strip.cancelX + m.cancelWidth + kButtonGap;
    return strip;
}
} // namespace

BrainThumbnailRenderer::BrainThumbnailRenderer(GLDisplay* display, PagedGeneList* list, BrainExpressionModel* model,
                                               TabControlRenderer* tabBar, SearchController* searchController)
    : m_list(list)
    , m_model(model)
    , m_display(display)
    , m_tabBar(tabBar)
{
    m_display->MakeCurrent();
    for (ExpressionThumbnailRenderer& cell : m_cells)
    {
        cell.SetSceneRenderer(this);
        cell.SetSearchController(searchController);
    }
    m_statusBox.reset(m_display->CreateTextBox(500, 1, false, GLTextBox::kAlignLeft));
    m_downloadTextBox.reset(m_display->CreateTextBox(250, 1, false, GLTextBox::kAlignLeft));
    // Placed by the layout, which each reshape makes again.
    m_cancelButton = std::make_unique<GLTextureButton>(m_display, "Cancel");
    m_cancelAllButton = std::make_unique<GLTextureButton>(m_display, "Cancel All");
    MakeDisplayIcon(*m_headerButtons[0].GetIconTexture(), m_display, MakeStartArrow);
    MakeDisplayIcon(*m_headerButtons[1].GetIconTexture(), m_display, MakePrevArrow);
    MakeDisplayIcon(*m_headerButtons[2].GetIconTexture(), m_display, MakeNextArrow);
    MakeDisplayIcon(*m_headerButtons[3].GetIconTexture(), m_display, MakeEndArrow);
    MakeDisplayIcon(*m_headerButtons[kPauseButton].GetIconTexture(), m_display, MakePauseIcon);
    for (GLTextureButton& button : m_headerButtons)
        button.SetEnabled(false);
    if (m_list)
        m_list->AddListener(this);
    if (m_model)
        m_model->AddListener(this);
    LayOut();
}

BrainThumbnailRenderer::~BrainThumbnailRenderer()
{
    if (m_list)
        m_list->RemoveListener(this);
    if (m_model)
        m_model->RemoveListener(this);
    // The cells' display lists and the buttons' textures go with the display's context current.
    m_display->MakeCurrent();
}

int BrainThumbnailRenderer::VisibleTabHeight() const
{
    return m_tabBar && m_tabBar->IsVisible() ? m_tabBar->GetHeight() : 0;
}

void BrainThumbnailRenderer::Initialize()
{
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1.0f};
    const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT1, GL_SPECULAR, white);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);
}

void BrainThumbnailRenderer::PositionLights()
{
    const GLfloat first[] = {1.0f, 1.0f, -1.0f, 0.0f};
    const GLfloat second[] = {-1.0f, -1.0f, 1.0f, 0.0f};
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, first);
    glLightfv(GL_LIGHT1, GL_POSITION, second);
}

BrainThumbnailRenderer::PageLayout BrainThumbnailRenderer::LayOutPage(const PageMetrics& m)
{
    PageLayout page;
    constexpr int kUnlimited = std::numeric_limits<int>::max();
    const int gridWidth =
        m.grid ? static_cast<int>(std::sqrt(double(m.grid[0]) * m.grid[0] + double(m.grid[2]) * m.grid[2]))
               : kUnlimited;
    const int gridHeight = m.grid ? static_cast<int>(m.grid[1]) : kUnlimited;
    // A thumbnail smaller than this shows nothing of its data set, unless the grid itself is smaller.
    const int leastWidth = std::min(kLeastThumbnail, gridWidth);
    const int leastHeight = std::min(kLeastThumbnail, gridHeight);
    // Half the view for each column, and no more than lets the second column's text, buttons and progress
    // bar (the column pitch, and 4 pixels past it) end inside the view.
    const int twoColumns = std::min(
        std::max(std::min(m.width / 2 - 150, (m.width - 5 - kColumnOverhang) / 2 - kTextColumn), 0), gridWidth);
    page.columns = twoColumns >= leastWidth ? 2 : 1;
    page.cellWidth =
        page.columns == 2
            ? twoColumns
            : std::max(leastWidth, std::min(gridWidth, m.width - 5 - kTextColumn - kColumnOverhang - kScrollBar));
    page.cellHeight = std::min(std::max((m.height - m.tabHeight) / 5 - 5, leastHeight), gridHeight);
    page.columnPitch = page.cellWidth + kTextColumn;
    page.rowPitch = std::max(page.cellHeight + 5, 85);
    const int top = m.height - m.visibleTabHeight;
    if (page.columns == 2)
    {
        page.headerHeight = kHeaderHeight;
        page.statusX = 136;
        page.statusY = top - 24 + static_cast<int>((kHeaderHeight - m.statusLineHeight) * 0.5 + 0.5);
    }
    else
    {
        // The status line goes under the paging buttons, where it has the view's width.
        page.headerHeight = kHeaderHeight + m.statusLineHeight + 2;
        page.statusX = 5;
        page.statusY = top - page.headerHeight + 5;
    }
    const int rowsPerColumn = page.columns == 2 ? kCellsPerColumn : kNumCells;
    const int firstY = top - page.headerHeight - page.rowPitch;
    for (int i = 0; i < kNumCells; ++i)
        page.origins[static_cast<std::size_t>(i)] = {5 + (i / rowsPerColumn) * page.columnPitch,
                                                     firstY - (i % rowsPerColumn) * page.rowPitch};
    // The last row's buttons may reach below its origin; the page scrolls until they clear the strip.
    const int rows = std::min(std::max(m.numCells, 0), rowsPerColumn);
    const int depth = std::max(
        0, m.buttonHeight + 6 - ExpressionThumbnailRenderer::TextTop(page.rowPitch, m.textHeight, m.buttonHeight));
    page.strip = LayOutStrip(m);
    if (rows > 0)
        page.maxScroll = std::max(0, page.strip.height + depth - (firstY - (rows - 1) * page.rowPitch));
    return page;
}

void BrainThumbnailRenderer::LayOut()
{
    PageMetrics metrics;
    metrics.width = m_width;
    metrics.height = m_height;
    // The cells are sized as if the bar were shown: its height counts even while it is hidden.
    metrics.tabHeight = m_tabBar ? m_tabBar->GetHeight() : 0;
    metrics.visibleTabHeight = VisibleTabHeight();
    const Atlas* atlas = m_model ? m_model->GetAtlas() : nullptr;
    metrics.grid = atlas ? atlas->GetViewSizeGrid() : nullptr;
    metrics.statusLineHeight = m_statusBox->GetLineHeight();
    ExpressionThumbnailRenderer& first = m_cells[0];
    metrics.textHeight = first.GetGeneTextBox() ? first.GetGeneTextBox()->GetHeight() : 0;
    metrics.buttonHeight = first.GetDownloadButton() ? first.GetDownloadButton()->GetHeight() : 0;
    metrics.numCells = m_nextCell;
    metrics.downloadBoxWidth = m_downloadTextBox->GetWidth();
    metrics.downloadLineHeight = m_downloadTextBox->GetLineHeight();
    metrics.cancelWidth = m_cancelButton->GetWidth();
    metrics.cancelAllWidth = m_cancelAllButton->GetWidth();
    metrics.downloadRunning = m_fetcher.IsActive();
    metrics.downloadText = m_downloadTextBox->GetTextWidth() > 0;
    m_layout = LayOutPage(metrics);
    const StripLayout& strip = m_layout.strip;
    m_cancelButton->MoveButton(strip.cancelX, strip.buttonY);
    m_cancelAllButton->MoveButton(strip.cancelAllX, strip.buttonY);
    SetScroll(m_scroll);
}

void BrainThumbnailRenderer::SetScroll(int scroll)
{
    m_scroll = std::max(0, std::min(scroll, m_layout.maxScroll));
    PlaceCells();
}

void BrainThumbnailRenderer::PlaceCells()
{
    for (std::size_t i = 0; i < m_cells.size(); ++i)
        m_cells[i].SetOrigin(m_layout.origins[i][0], m_layout.origins[i][1] + m_scroll);
}

void BrainThumbnailRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
    LayOut();
    DevicePixels(m_display).Viewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -width, width);
    glMatrixMode(GL_MODELVIEW);
}

void BrainThumbnailRenderer::Overlays()
{
    glDisable(GL_LIGHTING);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void BrainThumbnailRenderer::Display()
{
    // Other renderers of the display change the projection: ours is set again for every frame.
    DevicePixels(m_display).Viewport(0, 0, m_width, m_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, m_width, 0, m_height, -m_width, m_width);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    PositionLights();
    DrawHeader();
    DrawExpression();
    DrawDownloadStatus();
    if (m_tabBar && m_tabBar->IsVisible())
    {
        Overlays();
        m_tabBar->Display(m_width);
    }
}

void BrainThumbnailRenderer::DrawHeader()
{
    Overlays();
    const int buttons = m_height - kHeaderHeight - VisibleTabHeight();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (int i = 0; i < static_cast<int>(m_headerButtons.size()); ++i)
        m_headerButtons[static_cast<std::size_t>(i)].Draw(i == m_pressedIndex && m_pressedInside, 5 + kButtonPitch * i,
                                                          buttons + 7);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    m_statusBox->Draw(m_layout.statusX, m_layout.statusY);
    const int base = m_height - m_layout.headerHeight - VisibleTabHeight();
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    GLBegin line(GL_LINES);
    glVertex2f(5.375f, static_cast<float>(base + 3) + 0.375f);
    glVertex2f(static_cast<float>(m_width - 5) + 0.375f, static_cast<float>(base + 3) + 0.375f);
}

void BrainThumbnailRenderer::DrawExpression()
{
    // A page that scrolls keeps its rows between the header and the download strip.
    const bool scrolls = m_layout.maxScroll > 0;
    if (scrolls)
    {
        DevicePixels(m_display).Scissor(0, m_layout.strip.height, m_width, PageBottom() - m_layout.strip.height);
        glEnable(GL_SCISSOR_TEST);
    }
    for (ExpressionThumbnailRenderer& cell : m_cells)
    {
        if (!cell.IsActive())
            break;
        cell.Display();
    }
    if (!scrolls)
        return;
    glDisable(GL_SCISSOR_TEST);
    DrawScrollBar();
}

int BrainThumbnailRenderer::PageBottom() const
{
    return m_height - VisibleTabHeight() - m_layout.headerHeight;
}

void BrainThumbnailRenderer::DrawScrollBar()
{
    Overlays();
    const float track = static_cast<float>(PageBottom() - m_layout.strip.height);
    const float length = track * track / (track + static_cast<float>(m_layout.maxScroll));
    const float top = static_cast<float>(PageBottom()) -
                      (track - length) * static_cast<float>(m_scroll) / static_cast<float>(m_layout.maxScroll);
    const float right = static_cast<float>(m_width - 1);
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    glRectf(right - 3.0f, top - length, right, top);
}

void BrainThumbnailRenderer::DrawDownloadStatus()
{
    Overlays();
    const StripLayout& strip = m_layout.strip;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    m_downloadTextBox->Draw(strip.textX, strip.textY);
    if (!m_fetcher.IsActive())
        return;
    m_cancelButton->Draw(m_capturedButton == m_cancelButton.get() && m_pressedInside);
    m_cancelAllButton->Draw(m_capturedButton == m_cancelAllButton.get() && m_pressedInside);
    const float left = static_cast<float>(strip.barX) + 0.375f;
    const float length = static_cast<float>(strip.barLength);
    const float filled = static_cast<float>(static_cast<int>(m_fetcher.GetProgress() * length));
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    glRectf(left, 9.375f, left + filled, 16.375f);
    glColor4f(0.75f, 0.75f, 0.75f, 1.0f);
    GLBegin frame(GL_LINE_LOOP);
    glVertex2f(left, 9.375f);
    glVertex2f(left + length, 9.375f);
    glVertex2f(left + length, 16.375f);
    glVertex2f(left, 16.375f);
}

void BrainThumbnailRenderer::Animate(bool on)
{
    if (on == m_animating)
        return;
    m_animating = on;
    if (on)
        m_display->StartTimer(kSpinInterval, this);
    else
        m_display->StopTimer();
}

void BrainThumbnailRenderer::TimerElapsed()
{
    if (!m_animating)
        return;
    m_angle -= 1.0f;
    if (m_angle < 0.0f)
        m_angle = 359.0f;
    m_display->Invalidate();
}

void BrainThumbnailRenderer::SetActive(bool active)
{
    m_active = active;
    if (!active)
        Animate(false);
    else if (m_nextCell > 0 && !m_userStopped)
        Animate(true);
}

void BrainThumbnailRenderer::AddGene(GeneExpression* gene)
{
    if (m_nextCell < kNumCells)
        m_cells[static_cast<std::size_t>(m_nextCell++)].SetGene(gene);
    LayOut();
    m_display->Invalidate();
    // The display has one timer: a browser that is not shown leaves it to the renderer that is.
    if (!m_userStopped && m_active)
        Animate(true);
}

void BrainThumbnailRenderer::ResetCells(bool slimDown)
{
    for (ExpressionThumbnailRenderer& cell : m_cells)
    {
        GeneExpression* former = cell.GetGene();
        cell.Reset();
        if (slimDown && former)
            former->SlimDown();
    }
    m_nextCell = 0;
    m_scroll = 0;
    LayOut();
}

void BrainThumbnailRenderer::SetDownloadText(const std::string& text)
{
    m_downloadTextBox->SetText(text);
    // The strip shows or hides with its text, and changes lines as a download starts or ends.
    LayOut();
}

void BrainThumbnailRenderer::PagedGeneListChanged(int code, PagedGeneList* list, int index)
{
    switch (code)
    {
    case LIST_GENE_ADDED:
        if (GeneExpression* gene = list ? list->GetGene(index) : nullptr)
            AddGene(gene);
        break;
    case LIST_CLEARED:
        ResetCells(false);
        m_statusBox->SetText("");
        SetDownloadText("");
        m_display->Invalidate();
        Animate(false);
        break;
    case LIST_STATUS_CHANGED:
    case LIST_QUERY_COMPLETE:
    case LIST_QUERY_FAILED:
        RefreshStatusText();
        break;
    case LIST_CLEARED_FOR_SEARCH:
        m_pagingEnabled = false;
        UpdatePagingButtons();
        ResetCells(false);
        RefreshStatusText();
        SetDownloadText("");
        m_display->Invalidate();
        Animate(false);
        break;
    case LIST_SIZE_KNOWN:
        m_pagingEnabled = true;
        UpdatePagingButtons();
        RefreshStatusText();
        break;
    case LIST_PAGE_CHANGED:
        ResetCells(true);
        UpdatePagingButtons();
        SetDownloadText("");
        RefreshStatusText();
        break;
    default:
        break;
    }
}

void BrainThumbnailRenderer::RefreshStatusText()
{
    std::string status;
    if (m_list)
        m_list->GetStatusString(status);
    m_statusBox->SetText(status);
    m_display->Invalidate();
}

void BrainThumbnailRenderer::UpdatePagingButtons()
{
    for (GLTextureButton& button : m_headerButtons)
        button.SetEnabled(false);
    if (!m_pagingEnabled || !m_list)
        return;
    for (const int i : {0, 1, 2, 3, kPauseButton})
        m_headerButtons[static_cast<std::size_t>(i)].SetEnabled(true);
    const int page = m_list->GetCurrentPage();
    if (page == 0)
    {
        m_headerButtons[0].SetEnabled(false);
        m_headerButtons[1].SetEnabled(false);
    }
    // A list without results has no last page: its first page is the last one.
    if (page >= m_list->GetNumPages() - 1)
    {
        m_headerButtons[2].SetEnabled(false);
        m_headerButtons[3].SetEnabled(false);
    }
}

void BrainThumbnailRenderer::ModelChanged(int code, BrainExpressionModel*, int)
{
    if (code == EXPRESSION_SELECTOR_CHANGED)
        m_display->Invalidate();
}

int BrainThumbnailRenderer::HeaderIndex(int x)
{
    // x from 77 to 94 is the empty slot.
    if (x < -12 || x > 112 || (x >= 77 && x <= 94))
        return -1;
    return (x - 5) / kButtonPitch;
}

bool BrainThumbnailRenderer::InHeader(int y) const
{
    const int tabHeight = VisibleTabHeight();
    return y >= tabHeight && y < tabHeight + kHeaderBand;
}

bool BrainThumbnailRenderer::PressHeader(int x, int)
{
    const int index = HeaderIndex(x);
    if (index >= 0 && m_headerButtons[static_cast<std::size_t>(index)].IsEnabled())
    {
        m_pressedIndex = index;
        m_pressedInside = true;
        m_display->Invalidate();
    }
    // Not taken, so no capture starts; the release still acts.
    return false;
}

bool BrainThumbnailRenderer::PressCell(int x, int y, int flags, unsigned int time)
{
    if (m_layout.rowPitch <= 0)
        return false;
    // Rows scrolled up under the header are hidden there, and take no click.
    const int below = y - m_layout.headerHeight - VisibleTabHeight();
    if (below < 0)
        return false;
    const int column = m_layout.columns == 1 ? 0 : x / (m_layout.columnPitch + 5);
    const int index = column * kCellsPerColumn + (below + m_scroll) / m_layout.rowPitch;
    if (index < 0 || index >= m_nextCell)
        return false;
    ExpressionThumbnailRenderer& cell = m_cells[static_cast<std::size_t>(index)];
    if (!cell.OnButtonDown(kLeftButton, x, m_height - y - 1, flags, time))
        return false;
    m_capturedListener = &cell;
    return true;
}

bool BrainThumbnailRenderer::PressStrip(int x, int y)
{
    if (!m_fetcher.IsActive())
        return false;
    const int flipped = m_height - y - 1;
    for (GLTextureButton* button : {m_cancelButton.get(), m_cancelAllButton.get()})
        if (button->PointInside(x, flipped))
        {
            m_capturedButton = button;
            m_pressedInside = true;
            return true;
        }
    return false;
}

bool BrainThumbnailRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    if (button != kLeftButton)
        return false;
    if (m_tabBar && m_tabBar->IsVisible() && y < m_tabBar->GetHeight())
    {
        if (m_tabBar->OnButtonDown(button, x, y, flags, time))
        {
            m_capturedListener = m_tabBar;
            m_display->Invalidate();
        }
        return true;
    }
    if (InHeader(y))
        return PressHeader(x, y);
    const bool taken = m_height - y > m_layout.strip.height ? PressCell(x, y, flags, time) : PressStrip(x, y);
    if (taken)
        m_display->Invalidate();
    return taken;
}

bool BrainThumbnailRenderer::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    if (m_capturedListener && m_capturedListener != m_tabBar)
        return m_capturedListener->OnMouseMove(x, m_height - y - 1, flags, time);
    if (m_capturedListener)
        m_capturedListener->OnMouseMove(x, y, flags, time);
    else if (m_capturedButton)
        m_pressedInside = m_capturedButton->PointInside(x, m_height - y - 1);
    else if (m_pressedIndex >= 0)
        m_pressedInside = InHeader(y) && HeaderIndex(x) == m_pressedIndex;
    else
        return false;
    m_display->Invalidate();
    return true;
}

bool BrainThumbnailRenderer::OnMouseWheel(int, int, int, int delta, unsigned int)
{
    if (m_layout.maxScroll == 0)
        return false;
    // A notch of the wheel (100) moves half a row.
    SetScroll(m_scroll - delta * m_layout.rowPitch / 200);
    m_display->Invalidate();
    return true;
}

void BrainThumbnailRenderer::ReleaseHeader(int x, int y, int flags)
{
    const int pressed = m_pressedIndex;
    m_pressedIndex = -1;
    m_pressedInside = false;
    m_display->Invalidate();
    if (!InHeader(y) || HeaderIndex(x) != pressed || !m_list)
        return;
    const int current = m_list->GetCurrentPage();
    const int step = flags & kShiftKey ? kShiftPages : 1;
    int target = current;
    switch (pressed)
    {
    case 0:
        target = 0;
        break;
    case 1:
        target = current - step;
        break;
    case 2:
        target = current + step;
        break;
    case 3:
        target = m_list->GetNumPages() - 1;
        break;
    case kPauseButton:
        Animate(!m_animating);
        if (!m_animating)
            m_userStopped = true;
        break;
    default:
        break;
    }
    if (target != current)
        m_list->ChangePage(target);
}

bool BrainThumbnailRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    if (m_capturedListener)
    {
        // The tab bar may close this tab, and a cell may start a search: nothing of ours is touched after.
        MouseListener* listener = m_capturedListener;
        m_capturedListener = nullptr;
        const bool cell = listener != m_tabBar;
        listener->OnButtonUp(button, x, cell ? m_height - y - 1 : y, flags, time);
        return true;
    }
    GLTextureButton* captured = m_capturedButton;
    if (captured && captured->PointInside(x, m_height - y - 1))
    {
        m_capturedButton = nullptr;
        m_pressedInside = false;
        m_display->Invalidate();
        if (captured == m_cancelButton.get())
            CancelGeneDownload();
        else
            CancelAllGeneDownloads();
        return true;
    }
    if (!captured && m_pressedIndex >= 0)
    {
        ReleaseHeader(x, y, flags);
        return true;
    }
    m_pressedIndex = -1;
    m_capturedButton = nullptr;
    m_pressedInside = false;
    m_display->Invalidate();
    return true;
}

bool BrainThumbnailRenderer::OnDoubleClick(int button, int x, int y, int flags, unsigned int time)
{
    return OnButtonUp(button, x, y, flags, time);
}

bool BrainThumbnailRenderer::OnKeyDown(unsigned int key, int, unsigned int)
{
    if (key != ' ')
        return false;
    Animate(!m_animating);
    if (!m_animating)
        m_userStopped = true;
    return true;
}

bool BrainThumbnailRenderer::OnSpecialKeyDown(int key, int, unsigned int)
{
    if (!m_list)
        return false;
    const int current = m_list->GetCurrentPage();
    const int last = m_list->GetNumPages() - 1;
    switch (key)
    {
    case kLeftArrowKey:
        m_list->ChangePage(current - 1);
        return true;
    case kRightArrowKey:
        m_list->ChangePage(current + 1);
        return true;
    case kPageUpKey:
        m_list->ChangePage(current - kShiftPages);
        return true;
    case kPageDownKey:
        m_list->ChangePage(current + kShiftPages);
        return true;
    case kHomeKey:
        if (current != 0)
            m_list->ChangePage(0);
        return true;
    case kEndKey:
        if (current != last)
            m_list->ChangePage(last);
        return true;
    default:
        return false;
    }
}

void BrainThumbnailRenderer::DownloadGene(const std::string& name, const std::string& url)
{
    m_queue.push_back(GeneFetchInfo{name, url});
    DownloadNextInQueue();
}

void BrainThumbnailRenderer::DownloadNextInQueue()
{
    // A request that cannot start is dropped, so that the ones behind it still run.
    while (!m_queue.empty() && !m_fetcher.IsActive())
    {
        const GeneFetchInfo request = m_queue.front();
        m_queue.pop_front();
        try
        {
            if (request.url.empty())
                throw std::runtime_error("No URL.");
            m_fetcher.Load(request.name, request.url, this, nullptr, nullptr);
        }
        catch (const std::exception& error)
        {
            m_fetcher.Reset();
            m_failures.push_back({error.what(), request.name, request.url});
        }
    }
    UpdateDownloadStatusText();
    if (!m_fetcher.IsActive())
        ReportFailures();
}

// Downloads queued together often fail together (the server went away): one alert at the end of the run
// rather than one for each, stacked on the window.
void BrainThumbnailRenderer::ReportFailures()
{
    GeneFetcher::ReportFailures(m_failures);
}

void BrainThumbnailRenderer::UpdateDownloadStatusText()
{
    std::string text;
    if (m_fetcher.IsActive())
    {
        text = std::string("Downloading ") + m_fetcher.GetName();
        if (!m_queue.empty())
            text += " - " + std::to_string(m_queue.size()) + " queued";
    }
    SetDownloadText(text);
    m_display->Invalidate();
}

void BrainThumbnailRenderer::GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long size)
{
    const std::string name = fetcher->GetName();
    const std::string url = fetcher->GetUrl();
    // The model's listeners make GL objects for the new data set.
    m_display->MakeCurrent();
    if (m_tabBar)
        m_tabBar->FlashTab(0);
    try
    {
        if (size > std::numeric_limits<unsigned int>::max() || (!data && size != 0))
            throw std::runtime_error("The data set is too large.");
        MemoryStream stream(static_cast<unsigned int>(size));
        if (size != 0)
            stream.Write(data, static_cast<unsigned int>(size));
        stream.Seek(0);
        auto gene = std::make_shared<GeneExpression>();
        gene->LoadAtlasSpace(stream, false, m_model->GetAtlas());
        m_model->AddGeneExpression(gene, true);
    }
    catch (const std::exception& error)
    {
        m_failures.push_back({std::string("Error reading gene data. ") + error.what(), name, url});
    }
    catch (...)
    {
        m_failures.push_back({"Error reading gene data. ", name, url});
    }
    if (!m_queue.empty())
    {
        DownloadNextInQueue();
        return;
    }
    m_fetcher.Reset();
    SetDownloadText(name + " downloaded");
    m_display->Invalidate();
    ReportFailures();
}

// A failure is told at the end of the run; a cancel resets the fetcher without a call, and stays silent.
void BrainThumbnailRenderer::GeneLoadError(GeneFetcher* fetcher, const std::string& message)
{
    m_failures.push_back({message, fetcher->GetName(), fetcher->GetUrl()});
    m_fetcher.Reset();
    DownloadNextInQueue();
}

void BrainThumbnailRenderer::CancelGeneDownload()
{
    m_fetcher.Reset();
    DownloadNextInQueue();
}

void BrainThumbnailRenderer::CancelAllGeneDownloads()
{
    m_fetcher.Reset();
    m_queue.clear();
    SetDownloadText("");
    m_display->Invalidate();
    ReportFailures();
}
