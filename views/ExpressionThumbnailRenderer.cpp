#include "views/ExpressionThumbnailRenderer.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/MemoryStream.h"
#include "core/MemoryStreamRef.h"
#include "core/NetFile.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/GeneQuery.h"
#include "expression/MemoryGeneExpressionCache.h"
#include "expression/PagedGeneList.h"
#include "expression/SearchController.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/GLTexture.h"
#include "gl/GLTextureButton.h"
#include "gl/IconTextures.h"
#include "views/BrainThumbnailRenderer.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>
#include <stdexcept>

const char* const NOT_AVAILABLE_STRING = "3D not available";

namespace
{
// Thumbnails of every cell of the process.
MemoryGeneExpressionCache gGeneExpressionCache;
GeneExpressionCache* gThumbnailCache = &gGeneExpressionCache;
// Paces the cache's clean-ups: one after every 11th thumbnail added.
int numGenesAdded = 0;

constexpr int kIconSize = 16;

// The cache key of a gene: its image-series id, else its gene id; 0 when it has neither.
unsigned int CacheKey(const GeneExpression& gene, GeneIdType& type)
{
    type = IMAGE_SERIES_ID;
    if (gene.GetImageSeriesId() != 0)
        return static_cast<unsigned int>(gene.GetImageSeriesId());
    type = GENE_ID;
    return static_cast<unsigned int>(gene.GetGeneId());
}
} // namespace

ExpressionThumbnailRenderer::ExpressionThumbnailRenderer() = default;

ExpressionThumbnailRenderer::~ExpressionThumbnailRenderer()
{
    Reset();
}

GeneExpressionCache& ExpressionThumbnailRenderer::GetThumbnailCache()
{
    return *gThumbnailCache;
}

void ExpressionThumbnailRenderer::SetThumbnailCache(GeneExpressionCache* cache)
{
    gThumbnailCache = cache ? cache : &gGeneExpressionCache;
}

int ExpressionThumbnailRenderer::GetNumGenesAdded()
{
    return numGenesAdded;
}

void ExpressionThumbnailRenderer::SetOrigin(int x, int y)
{
    m_originX = x;
    m_originY = y;
}

void ExpressionThumbnailRenderer::SetSceneRenderer(BrainThumbnailRenderer* browser)
{
    if (m_browser || !browser)
        return;
    m_browser = browser;
    GLDisplay* display = browser->GetDisplay();
    m_geneTextBox.reset(display->CreateTextBox(160, 3, false, GLTextBox::kAlignLeft));
    m_downloadButton = std::make_unique<GLTextureButton>(display, "Download");
    m_findMoreButton = std::make_unique<GLTextureButton>(0, 0, kIconSize, kIconSize);
    MakeDisplayIcon(*m_findMoreButton->GetIconTexture(), display, MakeFindMoreIcon);
    m_findSimilarButton = std::make_unique<GLTextureButton>(0, 0, kIconSize, kIconSize);
    MakeDisplayIcon(*m_findSimilarButton->GetIconTexture(), display, MakeFindSimilarIcon);
    m_statusBox.reset(display->CreateTextBox(100, 1, false, GLTextBox::kAlignLeft));
}

void ExpressionThumbnailRenderer::SetSearchController(SearchController* controller)
{
    m_searchController = controller;
}

void ExpressionThumbnailRenderer::Invalidate()
{
    if (m_browser)
        m_browser->GetDisplay()->Invalidate();
}

void ExpressionThumbnailRenderer::ShowNotAvailable()
{
    if (m_statusBox)
        m_statusBox->SetText(NOT_AVAILABLE_STRING);
}

void ExpressionThumbnailRenderer::SetGene(GeneExpression* gene)
{
    Reset();
    if (!gene)
        return;
    m_gene = gene;
    m_active = true;
    UpdateGeneText();
    if (m_gene->IsLoaded())
        return;
    if (!m_gene->IsDownloadable())
    {
        // A result without thumbnail still says so, whatever the cell showed before.
        ShowNotAvailable();
        return;
    }
    try
    {
        StartThumbnail();
    }
    catch (...)
    {
        m_startFailed = true;
        ShowNotAvailable();
    }
}

void ExpressionThumbnailRenderer::StartThumbnail()
{
    GeneIdType type = IMAGE_SERIES_ID;
    const unsigned int key = CacheKey(*m_gene, type);
    if (key != 0)
    {
        MemoryStream cached(0);
        if (GetThumbnailCache().GetGene(key, 0, type, cached))
        {
            cached.Seek(0);
            LoadGene(&cached);
            return;
        }
    }
    const std::string url = GetGeneUrl(true);
    if (url.empty())
        throw std::runtime_error("No thumbnail URL.");
    m_transfer = NetFile::Create(url, this, true);
}

void ExpressionThumbnailRenderer::Reset()
{
    NetFile* transfer = m_transfer;
    m_transfer = nullptr;
    if (transfer)
        transfer->Abort(); // deletes itself, without a further callback
    FreeDisplayLists();
    m_active = false;
    m_gene = nullptr;
    m_loaded = false;
    m_downloadOffered = false;
    m_startFailed = false;
    ClearPress();
    m_receivedBytes = 0;
    m_expectedBytes = 0;
    // A cell never shows the former result's texts.
    if (m_statusBox)
        m_statusBox->SetText("");
    if (m_geneTextBox)
        m_geneTextBox->SetText("");
}

void ExpressionThumbnailRenderer::FreeDisplayLists()
{
    if (m_lists.IsEmpty())
        return;
    // Runs outside painting: the lists belong to the display's context.
    if (m_browser)
        m_browser->GetDisplay()->MakeCurrent();
    m_lists.Reset();
}

std::string ExpressionThumbnailRenderer::GetGeneUrl(bool thumbnail)
{
    if (!m_gene)
        return std::string();
    const AtlasSpace* space = m_gene->GetAtlasSpace(0);
    const Atlas* atlas = space ? space->GetAtlas() : nullptr;
    if (!atlas)
        return std::string();
    const std::string& pattern = atlas->GetGridDownloadUrl(m_gene->GetProjectCode().c_str());
    if (pattern.empty())
        return std::string();
    if (m_gene->GetImageSeriesId() == 0)
        throw std::runtime_error("Not enough information to retrieve the gene thumbnail.");
    boost::format format(pattern);
    format.exceptions(boost::io::all_error_bits ^ (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
    return (format % m_gene->GetImageSeriesId() % (thumbnail ? "thumbnail" : "visualize")).str();
}

void ExpressionThumbnailRenderer::UpdateGeneText()
{
    if (!m_gene || !m_geneTextBox)
        return;
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << m_gene->GetTitle();
    if (m_gene->GetPlaneOfSection() != -1)
        text << " - " << (m_gene->GetPlaneOfSection() == 0 ? "coronal" : "sagittal");
    if (m_gene->GetScore() >= 0.0f)
        text << " - " << std::fixed << std::setprecision(3) << m_gene->GetScore();
    text << "\n" << m_gene->GetName();
    m_geneTextBox->SetText(text.str());
}

void ExpressionThumbnailRenderer::LoadGene(IOStream* stream)
{
    if (m_loaded || !m_gene || !stream)
        return;
    try
    {
        const Atlas* atlas = m_browser && m_browser->GetModel() ? m_browser->GetModel()->GetAtlas() : nullptr;
        m_gene->LoadAtlasSpace(*stream, true, atlas);
        m_loaded = true;
        m_downloadOffered = true;
        UpdateGeneText();
        Invalidate();
    }
    catch (...)
    {
        m_gene->SetDownloadable(false);
        ShowNotAvailable();
    }
}

void ExpressionThumbnailRenderer::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    m_expectedBytes = expectedLength;
    m_receivedBytes = 0;
}

void ExpressionThumbnailRenderer::DataReceived(const void*, unsigned long size)
{
    m_receivedBytes += size;
    Invalidate();
}

void ExpressionThumbnailRenderer::DownloadComplete(const void* data, unsigned long size)
{
    m_transfer = nullptr;
    m_receivedBytes = 0;
    m_expectedBytes = 0;
    if (!m_active)
        return;
    if (size > std::numeric_limits<unsigned int>::max() || (!data && size != 0))
    {
        m_gene->SetDownloadable(false);
        ShowNotAvailable();
        Invalidate();
        return;
    }
    MemoryStreamRef stream(data, static_cast<unsigned int>(size));
    LoadGene(&stream);
    // Only bytes that could be read are kept: bad ones would fail every later cell without a new try.
    if (m_loaded)
        CacheThumbnail(data, size);
    Invalidate();
}

void ExpressionThumbnailRenderer::CacheThumbnail(const void* data, unsigned long size)
{
    GeneIdType type = IMAGE_SERIES_ID;
    const unsigned int key = CacheKey(*m_gene, type);
    if (key == 0)
        return;
    GeneExpressionCache& cache = GetThumbnailCache();
    cache.AddGene(key, 0, type, static_cast<const unsigned char*>(data), size);
    if (numGenesAdded++ == 10)
    {
        numGenesAdded = 0;
        cache.CleanCache();
    }
}

void ExpressionThumbnailRenderer::DownloadFailed(const std::string&)
{
    m_transfer = nullptr;
    ShowNotAvailable();
    if (m_gene)
        m_gene->SetDownloadable(false);
    Invalidate();
}

void ExpressionThumbnailRenderer::GenerateDisplayList()
{
    Atlas* atlas = m_browser->GetModel()->GetAtlas();
    const std::vector<BrainFeature>* features = m_gene->GetBrainFeatures(m_gene->GetAtlasSpace(0));
    if (!atlas || !features)
        return;
    const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
    const int count = ontology ? static_cast<int>(ontology->GetNumLabels()) : 0;
    m_lists = GLName::GenLists(count);
    if (m_lists.IsEmpty())
        return;
    const std::size_t lists = std::min(features->size(), static_cast<std::size_t>(count));
    for (std::size_t k = 0; k < lists; ++k)
    {
        const BrainFeature& feature = (*features)[k];
        if (feature.expressors.empty() || !feature.label)
            continue;
        const float red = feature.label->color[0] / 255.0f * 0.8f;
        const float green = feature.label->color[1] / 255.0f * 0.8f;
        const float blue = feature.label->color[2] / 255.0f * 0.8f;
        glNewList(m_lists.Get() + static_cast<unsigned int>(k), GL_COMPILE);
        {
            GLBegin points(GL_POINTS);
            for (const Expressor* e : feature.expressors)
            {
                if (e->intensity < 0.0f)
                    continue;
                glColor4f(red, green, blue, std::min(1.0f, e->intensity * 0.25f));
                glVertex3f(e->position[0], e->position[1], e->position[2]);
            }
        }
        glEndList();
    }
}

void ExpressionThumbnailRenderer::DrawThumbnail()
{
    if (m_lists.IsEmpty())
        GenerateDisplayList();
    const AtlasSpace* space = m_gene->GetAtlasSpace(0);
    const std::vector<BrainFeature>* features = m_gene->GetBrainFeatures(space);
    if (m_lists.IsEmpty() || !space || !features)
        return;
    const int width = m_browser->GetCellWidth();
    const int height = m_browser->GetCellHeight();
    const int pitch = m_browser->GetRowPitch();
    const unsigned int* dimensions = space->GetViewDimensions();
    const float dx = static_cast<float>(dimensions[0]);
    const float dy = static_cast<float>(dimensions[1]);
    const float dz = static_cast<float>(dimensions[2]);
    float scale = dx > dy ? width / std::trunc(std::sqrt(dx * dx + dz * dz)) : height / dy;
    scale = std::min(1.0f, scale);
    glPushMatrix();
    glTranslatef(static_cast<float>(m_originX + static_cast<int>((width - dx * scale) * 0.5f + 0.5f)),
                 static_cast<float>(m_originY + pitch - static_cast<int>((pitch - height) * 0.5f + 0.5f)), 0.0f);
    glScalef(scale, -scale, -scale);
    glTranslatef(dx / 2, dy / 2, dz / 2);
    glRotatef(m_browser->GetAngle(), 0.0f, 1.0f, 0.0f);
    glTranslatef(-dx / 2, -dy / 2, -dz / 2);
    const auto& selector = m_browser->GetModel()->GetExpressionSelector();
    const std::size_t lists = std::min(features->size(), static_cast<std::size_t>(m_lists.GetCount()));
    for (std::size_t k = 0; k < lists; ++k)
    {
        const BrainFeature& feature = (*features)[k];
        if (!feature.expressors.empty() && feature.label && feature.label->selector.Intersects(selector))
            glCallList(m_lists.Get() + static_cast<unsigned int>(k));
    }
    glPopMatrix();
}

int ExpressionThumbnailRenderer::TextTop(int rowPitch, int textHeight, int buttonHeight)
{
    return rowPitch - (textHeight + buttonHeight + 6) / 2 - textHeight / 2;
}

ExpressionThumbnailRenderer::Layout ExpressionThumbnailRenderer::ComputeLayout() const
{
    Layout layout;
    const int buttonHeight = m_downloadButton->GetHeight();
    const int baseline = m_downloadButton->GetTextBaseline();
    const int top = TextTop(m_browser->GetRowPitch(), m_geneTextBox->GetHeight(), buttonHeight);
    layout.x = m_originX + m_browser->GetCellWidth() + 4;
    layout.textY = m_originY + top;
    layout.buttonY = top + m_originY - 6 - buttonHeight;
    layout.iconY = layout.buttonY + baseline - 1;
    return layout;
}

bool ExpressionThumbnailRenderer::CanFindMore() const
{
    return m_gene && m_browser->GetList() && m_browser->GetList()->CanSearchByGeneId();
}

bool ExpressionThumbnailRenderer::CanFindSimilar() const
{
    return m_gene && GeneQuery::CanQuellar(m_gene);
}

bool ExpressionThumbnailRenderer::CanDownload() const
{
    return m_downloadOffered && !m_transfer;
}

// The icons are hit a few pixels left of where they are drawn; the download button where it is drawn.
bool ExpressionThumbnailRenderer::HitFindMore(int x, int y, const Layout& layout) const
{
    return m_findMoreButton->PointInside(x, y, layout.x - 3, layout.iconY);
}

bool ExpressionThumbnailRenderer::HitFindSimilar(int x, int y, const Layout& layout) const
{
    return m_findSimilarButton->PointInside(x, y, layout.x + 14, layout.iconY);
}

bool ExpressionThumbnailRenderer::HitDownload(int x, int y, const Layout& layout) const
{
    return m_downloadButton->PointInside(x, y, layout.x + 40, layout.buttonY);
}

void ExpressionThumbnailRenderer::DrawTexts()
{
    const int width = m_browser->GetCellWidth();
    const int pitch = m_browser->GetRowPitch();
    const Layout layout = ComputeLayout();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (m_gene && !m_loaded && (!m_gene->IsDownloadable() || m_startFailed))
        m_statusBox->Draw(width / 2 - m_statusBox->GetTextWidth() / 2 + m_originX, pitch / 2 + m_originY);
    if (m_gene && !m_loaded && m_gene->IsDownloadable() && m_receivedBytes != 0 && m_expectedBytes != 0)
    {
        const double share = std::min(1.0, static_cast<double>(m_receivedBytes) / static_cast<double>(m_expectedBytes));
        const double length = (m_browser->GetColumnPitch() - 40 - width) * share;
        const float left = static_cast<float>(layout.x + 40) + 0.375f;
        glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
        glRectf(left, static_cast<float>(m_originY + 15) + 0.375f, left + static_cast<float>(length),
                static_cast<float>(m_originY + 19) + 0.375f);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }
    m_geneTextBox->Draw(layout.x, layout.textY);
    if (CanFindMore())
        m_findMoreButton->Draw(m_findMorePressed, layout.x, layout.iconY);
    if (CanFindSimilar())
        m_findSimilarButton->Draw(m_findSimilarPressed, layout.x + 18, layout.iconY);
    if (CanDownload())
        m_downloadButton->Draw(m_downloadPressed, layout.x + 40, layout.buttonY);
}

void ExpressionThumbnailRenderer::Display()
{
    if (!m_active || !m_browser || !m_gene)
        return;
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    if (m_gene->IsLoaded())
        DrawThumbnail();
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    DrawTexts();
    glPopAttrib();
}

void ExpressionThumbnailRenderer::ClearPress()
{
    m_capturedButton = nullptr;
    m_downloadPressed = false;
    m_findMorePressed = false;
    m_findSimilarPressed = false;
}

bool ExpressionThumbnailRenderer::OnButtonDown(int, int x, int y, int, unsigned int)
{
    if (!m_active || !m_browser)
        return false;
    const Layout layout = ComputeLayout();
    bool* pressed = nullptr;
    GLTextureButton* button = nullptr;
    if (CanFindMore() && HitFindMore(x, y, layout))
    {
        pressed = &m_findMorePressed;
        button = m_findMoreButton.get();
    }
    else if (CanFindSimilar() && HitFindSimilar(x, y, layout))
    {
        pressed = &m_findSimilarPressed;
        button = m_findSimilarButton.get();
    }
    else if (CanDownload() && HitDownload(x, y, layout) &&
             (m_gene->GetImageSeriesId() != 0 || m_gene->GetGeneId() != 0 || !m_gene->GetStorageDirectory().empty()))
    {
        pressed = &m_downloadPressed;
        button = m_downloadButton.get();
    }
    if (!pressed)
        return false;
    *pressed = true;
    m_capturedButton = button;
    Invalidate();
    return true;
}

bool ExpressionThumbnailRenderer::OnMouseMove(int x, int y, int, unsigned int)
{
    if (!m_capturedButton || !m_browser)
        return true;
    const Layout layout = ComputeLayout();
    bool* pressed = &m_downloadPressed;
    bool inside = HitDownload(x, y, layout);
    if (m_capturedButton == m_findMoreButton.get())
    {
        pressed = &m_findMorePressed;
        inside = HitFindMore(x, y, layout);
    }
    else if (m_capturedButton == m_findSimilarButton.get())
    {
        pressed = &m_findSimilarPressed;
        inside = HitFindSimilar(x, y, layout);
    }
    if (*pressed != inside)
    {
        *pressed = inside;
        Invalidate();
    }
    return true;
}

bool ExpressionThumbnailRenderer::OnButtonUp(int, int, int, int, unsigned int)
{
    const bool download = m_downloadPressed && CanDownload();
    const bool findMore = m_findMorePressed;
    const bool findSimilar = m_findSimilarPressed && CanFindSimilar();
    ClearPress();
    if (!m_active || !m_browser)
        return false;
    Invalidate();
    // The calls below may start a search that empties this cell: nothing of it is read afterwards but
    // copies.
    GeneExpression* gene = m_gene;
    const std::string symbol = gene->GetSymbol();
    const std::string projectCode = gene->GetProjectCode();
    if (download)
    {
        try
        {
            m_browser->DownloadGene(symbol, GetGeneUrl(false));
        }
        catch (...)
        {
        }
    }
    else if (findMore && m_searchController)
        m_searchController->SearchForGene(symbol.c_str(), projectCode.c_str(), symbol.c_str(), true);
    else if (findSimilar && m_searchController)
        m_searchController->SearchForSimilarGenes(symbol.c_str(), projectCode.c_str(), gene->GetImageSeriesId());
    return true;
}

bool ExpressionThumbnailRenderer::OnDoubleClick(int button, int x, int y, int flags, unsigned int time)
{
    return OnButtonUp(button, x, y, flags, time);
}
