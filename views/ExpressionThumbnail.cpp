#include "views/ExpressionThumbnail.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/MemoryStream.h"
#include "core/MemoryStreamRef.h"
#include "core/NetFile.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/MemoryGeneExpressionCache.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"

#include <GL/glew.h>
#include <boost/format.hpp>

#include <algorithm>
#include <cmath>

namespace
{

const char* const NOT_AVAILABLE = "3D not available";

// The graph view's own thumbnail cache, apart from the browser's.
MemoryGeneExpressionCache& Cache()
{
    static MemoryGeneExpressionCache cache;
    return cache;
}

// Clean the cache after every 11th thumbnail added.
void CountAddition()
{
    static int numGenesAdded = 0;
    if (numGenesAdded++ == 10)
    {
        numGenesAdded = 0;
        Cache().CleanCache();
    }
}

float AlphaOf(float value)
{
    return value > 0.3f ? 1.0f : std::min(1.0f, (value - 0.1f) / 0.3f * 8.5f);
}

} // namespace

ExpressionThumbnail::ExpressionThumbnail(GLDisplay* display, BrainExpressionModel* model,
                                         std::unique_ptr<GeneExpression> dataSet)
    : m_display(display)
    , m_model(model)
    , m_statusBox(display->CreateTextBox(160, 1, false, GLTextBox::Alignment(0)))
{
    SetGene(std::move(dataSet));
}

ExpressionThumbnail::~ExpressionThumbnail()
{
    AbortTransfer();
}

void ExpressionThumbnail::AbortTransfer()
{
    if (m_transfer)
        m_transfer->Abort();
    m_transfer = nullptr;
    m_expectedBytes = m_receivedBytes = 0;
}

void ExpressionThumbnail::Fail()
{
    m_status = NOT_AVAILABLE;
    m_statusBox->SetText(m_status);
}

unsigned int ExpressionThumbnail::CacheKey(int& type) const
{
    type = IMAGE_SERIES_ID;
    if (m_gene->GetImageSeriesId() != 0)
        return static_cast<unsigned int>(m_gene->GetImageSeriesId());
    type = GENE_ID;
    return static_cast<unsigned int>(m_gene->GetGeneId());
}

void ExpressionThumbnail::SetGene(std::unique_ptr<GeneExpression> dataSet)
{
    if (!dataSet)
        return;
    AbortTransfer();
    m_lists.Reset();
    m_loaded = false;
    m_gene = std::move(dataSet);
    if (!m_gene->IsDownloadable() || m_gene->IsLoaded())
        return;
    try
    {
        int type = 0;
        const unsigned int key = CacheKey(type);
        MemoryStream cached(0);
        if (key != 0 && Cache().GetGene(key, 0, GeneIdType(type), cached))
        {
            cached.Seek(0);
            LoadGene(cached);
            return;
        }
        const std::string url = GetGeneUrl(0);
        if (url.empty())
            throw std::runtime_error("no thumbnail URL");
        m_transfer = NetFile::Create(url, this, true);
    }
    catch (...)
    {
        m_transfer = nullptr;
        Fail();
    }
}

std::string ExpressionThumbnail::GetGeneUrl(int)
{
    const Atlas* atlas = m_model ? m_model->GetAtlas() : nullptr;
    if (!atlas || m_gene->GetImageSeriesId() == 0)
        return "";
    boost::format url(atlas->GetGridDownloadUrl(m_gene->GetProjectCode().c_str()));
    url.exceptions(boost::io::no_error_bits);
    return (url % m_gene->GetImageSeriesId() % "thumbnail").str();
}

void ExpressionThumbnail::LoadGene(IOStream& stream)
{
    if (m_loaded)
        return;
    try
    {
        const Atlas* atlas = m_model ? m_model->GetAtlas() : nullptr;
        if (!atlas || atlas->GetNumSpaces() == 0)
            throw std::runtime_error("no atlas");
        if (m_gene->GetNumAtlasSpaces() == 0)
            m_gene->AddAtlasSpace(atlas->GetSpace(0u));
        m_gene->LoadAtlasSpace(stream, true, atlas);
        m_loaded = true;
        m_display->Invalidate();
    }
    catch (...)
    {
        m_gene->SetDownloadable(false);
        Fail();
    }
}

void ExpressionThumbnail::DownloadComplete(const void* data, unsigned long size)
{
    m_transfer = nullptr;
    m_expectedBytes = m_receivedBytes = 0;
    MemoryStreamRef stream(data, static_cast<unsigned int>(std::min<unsigned long>(size, 0xFFFFFFFFu)));
    LoadGene(stream);
    int type = 0;
    const unsigned int key = CacheKey(type);
    if (m_loaded && key != 0)
    {
        Cache().AddGene(key, 0, GeneIdType(type), static_cast<const unsigned char*>(data), size);
        CountAddition();
    }
}

void ExpressionThumbnail::DownloadFailed(const std::string&)
{
    m_transfer = nullptr;
    m_expectedBytes = m_receivedBytes = 0;
    m_gene->SetDownloadable(false);
    Fail();
    m_display->Invalidate();
}

void ExpressionThumbnail::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    m_expectedBytes = expectedLength;
    m_receivedBytes = 0;
}

void ExpressionThumbnail::DataReceived(const void*, unsigned long size)
{
    m_receivedBytes += size;
}

void ExpressionThumbnail::BuildLists()
{
    const AtlasSpace* space = m_gene->GetAtlasSpace(0);
    const std::vector<BrainFeature>* features = space ? m_gene->GetBrainFeatures(space) : nullptr;
    if (!features || features->empty())
        return;
    m_lists = GLName::GenLists(static_cast<int>(features->size()));
    if (m_lists.IsEmpty())
        return;
    for (std::size_t k = 0; k < features->size(); ++k)
    {
        const BrainFeature& feature = (*features)[k];
        glNewList(m_lists.Get() + static_cast<GLuint>(k), GL_COMPILE);
        if (feature.label && feature.label->annotationValue != 0)
        {
            const float r = feature.label->color[0] / 255.0f * 0.8f, g = feature.label->color[1] / 255.0f * 0.8f,
                        b = feature.label->color[2] / 255.0f * 0.8f;
            glBegin(GL_POINTS);
            for (const Expressor* e : feature.expressors)
                if (e->intensity >= 0.1f)
                {
                    glColor4f(r, g, b, AlphaOf(e->intensity));
                    glVertex3fv(e->position);
                }
            glEnd();
        }
        glEndList();
    }
}

void ExpressionThumbnail::DrawAt(int x, int y, float size, float angle)
{
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    const AtlasSpace* space = m_gene ? m_gene->GetAtlasSpace(0) : nullptr;
    if (m_loaded && space)
    {
        if (m_lists.IsEmpty())
            BuildLists();
        const unsigned int* d = space->GetViewDimensions();
        const float dx = float(d[0]), dy = float(d[1]), dz = float(d[2]);
        const float s = dx > 0.0f ? size / dx : 0.0f;
        glPushMatrix();
        glTranslatef(x - std::trunc(dx * s * 0.5f + 0.5f), y + std::trunc(dy * s * 0.5f + 0.5f), 0.0f);
        glScalef(s, -s, -s);
        glTranslatef(dx / 2, dy / 2, dz / 2);
        glRotatef(angle, 0.0f, 1.0f, 0.0f);
        glTranslatef(-dx / 2, -dy / 2, -dz / 2);
        const std::vector<BrainFeature>* features = m_gene->GetBrainFeatures(space);
        const auto& selector = m_model->GetExpressionSelector();
        for (std::size_t k = 0; features && k < features->size() && int(k) < m_lists.GetCount(); ++k)
        {
            const AnnotationLabel* label = (*features)[k].label;
            if (label && label->selector.Intersects(selector))
                glCallList(m_lists.Get() + static_cast<GLuint>(k));
        }
        glPopMatrix();
    }
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glPopAttrib();
}

int ExpressionThumbnail::GetHeight(float size)
{
    const AtlasSpace* space = m_gene ? m_gene->GetAtlasSpace(0) : nullptr;
    if (!space || space->GetViewDimensions()[0] == 0)
        return 0;
    const unsigned int* d = space->GetViewDimensions();
    return static_cast<int>(std::trunc(d[1] * size / d[0] + 0.5f));
}
