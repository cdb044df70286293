#include "views/BrainThumbnailRenderer.h"

#include <GL/glew.h>

#include "atlas/Atlas.h"
#include "core/Alerts.h"
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
    const int stripY = (kHeaderHeight - m_downloadTextBox->GetLineHeight()) / 2 - 3;
    m_cancelButton = std::make_unique<GLTextureButton>(m_display, "Cancel", 480, stripY);
    m_cancelAllButton =
        std::make_unique<GLTextureButton>(m_display, "Cancel All", m_cancelButton->GetWidth() + 490, stripY);
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

void BrainThumbnailRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
    // The cells are sized as if the bar were shown: its height counts even while it is hidden.
    const int tabHeight = m_tabBar ? m_tabBar->GetHeight() : 0;
    // Half the view for each column, and no more than lets the second column's text, buttons and progress
    // bar (the column pitch, and 4 pixels past it) end inside the view.
    m_cellWidth = std::max(std::min(width / 2 - 150, (width - 5 - kColumnOverhang) / 2 - kTextColumn), 0);
    m_cellHeight = (height - tabHeight) / 5 - 5;
    const Atlas* atlas = m_model ? m_model->GetAtlas() : nullptr;
    if (atlas)
    {
        const unsigned int* grid = atlas->GetViewSizeGrid();
        const double dx = grid[0];
        const double dz = grid[2];
        m_cellWidth = std::min(m_cellWidth, static_cast<int>(std::sqrt(dx * dx + dz * dz)));
        m_cellHeight = std::min(m_cellHeight, static_cast<int>(grid[1]));
    }
    m_columnPitch = m_cellWidth + kTextColumn;
    m_rowPitch = std::max(m_cellHeight + 5, 85);
    DevicePixels(m_display).Viewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -width, width);
    glMatrixMode(GL_MODELVIEW);
    const int top = height - kHeaderHeight - m_rowPitch - VisibleTabHeight();
    for (int i = 0; i < kNumCells; ++i)
        m_cells[static_cast<std::size_t>(i)].SetOrigin(5 + (i / kCellsPerColumn) * m_columnPitch,
                                                       top - (i % kCellsPerColumn) * m_rowPitch);
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
    const int base = m_height - kHeaderHeight - VisibleTabHeight();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (int i = 0; i < static_cast<int>(m_headerButtons.size()); ++i)
        m_headerButtons[static_cast<std::size_t>(i)].Draw(i == m_pressedIndex && m_pressedInside, 5 + kButtonPitch * i,
                                                          base + 7);
    const int lineHeight = m_statusBox->GetLineHeight();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    m_statusBox->Draw(136,
                      m_height - 24 - VisibleTabHeight() + static_cast<int>((kHeaderHeight - lineHeight) * 0.5 + 0.5));
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    GLBegin line(GL_LINES);
    glVertex2f(5.375f, static_cast<float>(base + 3) + 0.375f);
    glVertex2f(static_cast<float>(m_width - 5) + 0.375f, static_cast<float>(base + 3) + 0.375f);
}

void BrainThumbnailRenderer::DrawExpression()
{
    for (ExpressionThumbnailRenderer& cell : m_cells)
    {
        if (!cell.IsActive())
            break;
        cell.Display();
    }
}

void BrainThumbnailRenderer::DrawDownloadStatus()
{
    Overlays();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    m_downloadTextBox->Draw(5, (kHeaderHeight - m_downloadTextBox->GetLineHeight()) / 2);
    if (!m_fetcher.IsActive())
        return;
    m_cancelButton->Draw(m_capturedButton == m_cancelButton.get() && m_pressedInside);
    m_cancelAllButton->Draw(m_capturedButton == m_cancelAllButton.get() && m_pressedInside);
    const float left = static_cast<float>(m_downloadTextBox->GetWidth() + 10) + 0.375f;
    const float filled = static_cast<float>(static_cast<int>(m_fetcher.GetProgress() * 200));
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    glRectf(left, 9.375f, left + filled, 16.375f);
    glColor4f(0.75f, 0.75f, 0.75f, 1.0f);
    GLBegin frame(GL_LINE_LOOP);
    glVertex2f(left, 9.375f);
    glVertex2f(left + 200.0f, 9.375f);
    glVertex2f(left + 200.0f, 16.375f);
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
}

void BrainThumbnailRenderer::SetDownloadText(const std::string& text)
{
    m_downloadTextBox->SetText(text);
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
    if (m_columnPitch + 5 <= 0 || m_rowPitch <= 0)
        return false;
    const int index =
        (x / (m_columnPitch + 5)) * kCellsPerColumn + (y - kHeaderHeight - VisibleTabHeight()) / m_rowPitch;
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
    const bool taken = m_height - y > kStripHeight ? PressCell(x, y, flags, time) : PressStrip(x, y);
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
            ShowAlertBox(GeneFetcher::FailureAlert(error.what(), request.name, request.url));
        }
    }
    UpdateDownloadStatusText();
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
        ShowAlertBox(GeneFetcher::FailureAlert(std::string("Error reading gene data. ") + error.what(), name, url));
    }
    catch (...)
    {
        ShowAlertBox(GeneFetcher::FailureAlert("Error reading gene data. ", name, url));
    }
    if (!m_queue.empty())
    {
        DownloadNextInQueue();
        return;
    }
    SetDownloadText(name + " downloaded");
    m_display->Invalidate();
    m_fetcher.Reset();
}

// A failure says so; a cancel resets the fetcher without a call, and stays silent.
void BrainThumbnailRenderer::GeneLoadError(GeneFetcher* fetcher, const std::string& message)
{
    const std::string alert = GeneFetcher::FailureAlert(message, fetcher->GetName(), fetcher->GetUrl());
    m_fetcher.Reset();
    ShowAlertBox(alert);
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
}
