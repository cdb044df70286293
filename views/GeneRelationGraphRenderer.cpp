#include "views/GeneRelationGraphRenderer.h"

#include "core/OSUtils.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/ModelChangeCode.h"
#include "expression/SearchController.h"
#include "gl/DevicePixels.h"
#include "gl/GLDisplay.h"
#include "gl/GLSphere.h"
#include "gl/GLTextBox.h"
#include "gl/TabControlRenderer.h"
#include "views/ExpressionThumbnail.h"
#include "views/QuellarGraphBuilder.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace
{

const char* const ARRANGING = "Arranging layout";
const unsigned int SPACE_KEY = 32;
const unsigned int SPIN_INTERVAL_MS = 50;
// Nodes at least this share of the average size show their data set.
const float THUMBNAIL_SHARE = 0.8f;
const float THUMBNAIL_SCALE = 1.25f;
const float NODE_DEPTH = -500.0f;

std::unique_ptr<GLTextBox> MakeTextBox(GLDisplay* display, int width)
{
    return std::unique_ptr<GLTextBox>(display->CreateTextBox(width, 1, false, GLTextBox::kAlignLeft));
}

} // namespace

GeneRelationGraphRenderer::Node::Node(GLDisplay* display, BrainExpressionModel* model,
                                      const GeneRelation::GraphNode* node, bool withThumbnail)
    : graphNode(node)
    , label(MakeTextBox(display, 250))
{
    label->SetText(node->GetSymbol());
    if (withThumbnail)
        thumbnail = std::make_unique<ExpressionThumbnail>(
            display, model,
            std::make_unique<GeneExpression>(node->GetName().c_str(), node->GetName().c_str(), "",
                                             node->GetImageSeriesId(), 0, 0.0f));
}

GeneRelationGraphRenderer::Node::~Node() = default;

GeneRelationGraphRenderer::GeneRelationGraphRenderer(GLDisplay* display, BrainExpressionModel* model,
                                                     TabControlRenderer* tabBar, SearchController* searchController)
    : m_model(model)
    , m_searchController(searchController)
    , m_display(display)
    , m_statusBox(MakeTextBox(display, 400))
    , m_tabBar(tabBar)
{
    if (m_model)
        m_model->AddListener(this);
}

GeneRelationGraphRenderer::~GeneRelationGraphRenderer()
{
    if (m_animating)
        m_display->StopTimer();
    DeleteNodes();
    m_builder.reset();
    m_failedBuilder.reset();
    if (m_model)
        m_model->RemoveListener(this);
}

void GeneRelationGraphRenderer::Initialize()
{
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1.0f};
    const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat position[] = {-0.7f, 0.7f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // The tabs share one context: the scene and the thumbnails leave their second light on, and the nodes
    // would be shaded by whichever view was shown last.
    glDisable(GL_LIGHT1);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);
}

void GeneRelationGraphRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
    DevicePixels(m_display).Viewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The lines and the thumbnails' spheres lie at a fixed depth, which a view narrower than it would clip.
    const double depth = std::max(double(width), 2.0 * -NODE_DEPTH);
    glOrtho(0, width, 0, height, -depth, depth);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The layout's square is centred along the longer side. The drawing moves with that centre, by both
    // offsets, so a pan drag keeps its offset and the graph comes back to its place when the size does.
    const float centreX = width >= height ? std::trunc((width - height) * 0.5f + 0.5f) : 0.0f;
    const float centreY = width >= height ? 0.0f : std::trunc((height - width) * 0.5f + 0.5f);
    m_panX += centreX - m_centreX;
    m_panY += centreY - m_centreY;
    m_centreX = centreX;
    m_centreY = centreY;
}

void GeneRelationGraphRenderer::SetActive(bool active)
{
    Animate(active && !m_userStopped);
}

void GeneRelationGraphRenderer::Animate(bool animate)
{
    if (animate == m_animating)
        return;
    m_animating = animate;
    if (animate)
        m_display->StartTimer(SPIN_INTERVAL_MS, this);
    else
        m_display->StopTimer();
}

void GeneRelationGraphRenderer::TimerElapsed()
{
    m_failedBuilder.reset();
    if (!m_animating)
        return;
    m_angle -= 1.0f;
    if (m_angle < 0.0f)
        m_angle = 359.0f;
    m_display->Invalidate();
}

void GeneRelationGraphRenderer::SetStatus(const std::string& text)
{
    m_status = text;
    m_statusBox->SetText(text);
}

void GeneRelationGraphRenderer::RedrawNow()
{
    if (m_display->MakeCurrent())
        m_display->Display();
}

void GeneRelationGraphRenderer::BeginLoad()
{
    m_builder.reset();
    m_failedBuilder.reset();
    // The drawn nodes go with the graph's: none may outlive the node it shows.
    DeleteNodes();
    m_graph.DeleteNodes();
    m_ready = false;
}

void GeneRelationGraphRenderer::LoadQuellar(const char* title, const char* symbol, int seriesId, int domainId,
                                            int planeRestriction)
{
    BeginLoad();
    if (m_tabBar)
        m_tabBar->SetTabName(m_tabBar->GetActiveTab(), title ? title : "");
    m_builder = std::make_unique<GeneRelation::QuellarGraphBuilder>(&m_graph, this);
    m_builder->Quellar(m_model ? m_model->GetAtlas() : nullptr, symbol ? symbol : "", seriesId, domainId,
                       planeRestriction);
}

std::unique_ptr<GeneRelation::RelationGraph> GeneRelationGraphRenderer::ReadFile(const char* path)
{
    const std::string file = path ? path : "";
    auto graph = std::make_unique<GeneRelation::RelationGraph>();
    graph->ImportFile(file.c_str());
    if (graph->GetNumNodes() == 0)
        throw std::runtime_error(
            "No gene relation could be read from \"" + file +
            "\": no line of it holds, separated by commas, five fields (data-set id, gene symbol, data-set id, gene "
            "symbol, weight) or nine (data-set id, gene id, gene symbol, gene name, the same four of the second "
            "data set, weight), with data-set ids other than 0 and a weight of 0 or more.");
    return graph;
}

void GeneRelationGraphRenderer::LoadFile(const char* path)
{
    ShowFile(path, *ReadFile(path));
}

void GeneRelationGraphRenderer::ShowFile(const char* path, GeneRelation::RelationGraph& graph)
{
    BeginLoad();
    const std::string file = path ? path : "";
    if (m_tabBar)
        m_tabBar->SetTabName(m_tabBar->GetActiveTab(),
                             file.substr(file.find_last_of(OSUtils::DirectorySeparator()) + 1).c_str());
    m_graph.Swap(graph);
    InitializeNodes();
    m_display->Invalidate();
    m_ready = true;
}

void GeneRelationGraphRenderer::GraphBuildUpdate(const char* text)
{
    SetStatus(text ? text : "");
    RedrawNow();
}

void GeneRelationGraphRenderer::GraphBuildComplete(GeneRelation::QuellarGraphBuilder* builder)
{
    if (builder != m_builder.get())
        return;
    SetStatus(ARRANGING);
    RedrawNow();
    m_graph.ComputeLayout();
    InitializeNodes();
    SetStatus("");
    m_ready = true;
    m_display->Invalidate();
}

void GeneRelationGraphRenderer::GraphBuildError(GeneRelation::QuellarGraphBuilder* builder, const char*)
{
    if (builder != m_builder.get())
        return;
    // The list that reports the error is still on the stack: the builder may only go once this returns.
    m_failedBuilder = std::move(m_builder);
    DeleteNodes();
    m_ready = true;
    m_display->Invalidate();
}

void GeneRelationGraphRenderer::ModelChanged(int code, BrainExpressionModel*, int)
{
    if (code == EXPRESSION_SELECTOR_CHANGED)
        m_display->Invalidate();
}

void GeneRelationGraphRenderer::DeleteNodes()
{
    // Thumbnails free their display lists in the display's context.
    if (!m_nodes.empty())
        m_display->MakeCurrent();
    m_nodes.clear();
}

void GeneRelationGraphRenderer::InitializeNodes()
{
    DeleteNodes();
    const float average = m_graph.GetAverageSize();
    for (auto it = m_graph.Begin(); it != m_graph.End(); ++it)
    {
        const GeneRelation::GraphNode* node = it->second.get();
        const bool withThumbnail = node->GetSize() >= THUMBNAIL_SHARE * average;
        m_nodes.push_back(std::make_unique<Node>(m_display, m_model, node, withThumbnail));
    }
    m_zoom = 1.0f;
    m_panX = m_centreX;
    m_panY = m_centreY;
    // A click on the graph before marks nothing in this one.
    m_hasClickedPoint = false;
}

int GeneRelationGraphRenderer::Extent() const
{
    return std::min(m_width, m_height);
}

void GeneRelationGraphRenderer::DrawnCentre(const GeneRelation::GraphNode& node, float& cx, float& cy) const
{
    const float m = float(Extent());
    cx = node.GetPosition()[0] * (m - 100.0f) + 50.0f;
    cy = node.GetPosition()[1] * (m - 100.0f) + 50.0f;
}

float GeneRelationGraphRenderer::NodeSize(const Node& node) const
{
    return node.graphNode->GetSize() * float(Extent());
}

void GeneRelationGraphRenderer::Display()
{
    m_failedBuilder.reset();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    if (!m_ready)
    {
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        m_statusBox->Draw(int(m_width / 2.0f - m_statusBox->GetTextWidth() / 2.0f), m_height / 2);
    }
    else
    {
        m_statusBox->Draw(4, 4);
        glPushMatrix();
        glTranslatef(m_panX, m_panY, 0.0f);
        glScalef(m_zoom, m_zoom, 1.0f);
        if (m_hasClickedPoint)
        {
            glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
            glRectf(m_clickedX - 3.0f, m_clickedY - 3.0f, m_clickedX + 3.0f, m_clickedY + 3.0f);
        }
        DrawEdges();
        DrawNodes();
        glPopMatrix();
        glDisable(GL_LIGHTING);
        glDisable(GL_LINE_SMOOTH);
        glDisable(GL_DEPTH_TEST);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        DrawLabels();
    }
    glPopAttrib();
    if (m_tabBar && m_tabBar->IsVisible())
        m_tabBar->Display(m_width);
}

void GeneRelationGraphRenderer::DrawEdges() const
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.75f, 0.75f, 0.75f, 0.4f);
    glBegin(GL_LINES);
    for (const auto& drawn : m_nodes)
    {
        const GeneRelation::GraphNode& node = *drawn->graphNode;
        float x1, y1;
        DrawnCentre(node, x1, y1);
        for (auto edge = node.EdgeBegin(); edge != node.EdgeEnd(); ++edge)
        {
            float x2, y2;
            DrawnCentre(*edge->first, x2, y2);
            glVertex3f(x1, y1, NODE_DEPTH);
            glVertex3f(x2, y2, NODE_DEPTH);
        }
    }
    glEnd();
}

void GeneRelationGraphRenderer::DrawNodes()
{
    if (!m_sphere)
        m_sphere = std::make_unique<GLSphere>(25, 25);
    const float m = float(Extent());
    for (const auto& drawn : m_nodes)
    {
        float cx, cy;
        DrawnCentre(*drawn->graphNode, cx, cy);
        const float size = drawn->graphNode->GetSize();
        glEnable(GL_LIGHTING);
        glColor4f(0.15f, 0.4f, 0.15f, 1.0f);
        if (drawn->thumbnail)
        {
            m_sphere->DrawAt(cx, cy, NODE_DEPTH, 2.5f);
            drawn->thumbnail->DrawAt(int(cx), int(cy), size * m * THUMBNAIL_SCALE, m_angle);
        }
        else
            m_sphere->DrawAt(cx, cy, 0.0f, size * m * 0.5f);
    }
}

bool GeneRelationGraphRenderer::IsLabelHidden(const Node& drawn) const
{
    const GeneRelation::GraphNode& node = *drawn.graphNode;
    const GeneRelation::GraphNode* nearest = node.GetClosestNeighbor();
    return nearest && nearest->GetSize() > node.GetSize() &&
           node.GetClosestNeighborDistance() * float(Extent()) < 10.0f * float(node.GetSymbol().size());
}

void GeneRelationGraphRenderer::DrawLabels()
{
    const float m = float(Extent());
    for (const auto& drawn : m_nodes)
    {
        if (IsLabelHidden(*drawn))
            continue;
        float cx, cy;
        DrawnCentre(*drawn->graphNode, cx, cy);
        const float size = drawn->graphNode->GetSize() * m;
        const float h = drawn->thumbnail ? float(drawn->thumbnail->GetHeight(size * THUMBNAIL_SCALE)) : size;
        GLTextBox& label = *drawn->label;
        label.Draw(int(cx * m_zoom + m_panX - label.GetTextWidth() / 2.0f),
                   int((cy - h / 2.0f) * m_zoom + m_panY - float(label.GetLineHeight())));
    }
}

bool GeneRelationGraphRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    if (m_tabBar && m_tabBar->IsVisible() && y < m_tabBar->GetHeight())
    {
        if (m_tabBar->OnButtonDown(button, x, y, flags, time))
        {
            m_capturedListener = m_tabBar;
            m_display->Invalidate();
        }
        return true;
    }
    if (!m_ready)
        return false;
    if (button == kMiddleButton)
    {
        m_dragX = x;
        m_dragY = y;
        return true;
    }
    ClickNode(button, x, y);
    return false;
}

bool GeneRelationGraphRenderer::ClickNode(int button, int x, int y)
{
    const int yUp = m_height - y - 1;
    m_clickedX = std::trunc((x - m_panX) / m_zoom);
    m_clickedY = std::trunc((yUp - m_panY) / m_zoom);
    m_hasClickedPoint = true;
    m_display->Invalidate();
    SetStatus("");
    const Node* hit = NodeAt(m_clickedX, m_clickedY);
    if (!hit)
        return false;
    SearchFrom(button, *hit->graphNode);
    return true;
}

const GeneRelationGraphRenderer::Node* GeneRelationGraphRenderer::NodeAt(float x, float y) const
{
    for (const auto& drawn : m_nodes)
    {
        float cx, cy;
        DrawnCentre(*drawn->graphNode, cx, cy);
        const float half = NodeSize(*drawn) * 0.5f;
        if (std::fabs(x - cx) <= half && std::fabs(y - cy) <= half)
            return drawn.get();
    }
    return nullptr;
}

void GeneRelationGraphRenderer::SearchFrom(int button, const GeneRelation::GraphNode& node)
{
    if (button == kRightButton && m_searchController)
        m_searchController->SearchForSimilarGenes(node.GetSymbol().c_str(), "", node.GetImageSeriesId());
    else if (button == kLeftButton && m_searchController && node.GetGeneId() != 0)
        m_searchController->SearchForGeneById(node.GetSymbol().c_str(), "", node.GetGeneId());
    else if (button == kLeftButton && m_searchController)
        m_searchController->SearchForGene(node.GetName().c_str(), "", ("genesym=" + node.GetSymbol()).c_str(), true);
    else if (button != kLeftButton && button != kRightButton)
        SetStatus(node.GetSymbol() + " - " + node.GetName());
}

bool GeneRelationGraphRenderer::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    if (m_dragX >= 0)
    {
        m_panX += float(x - m_dragX);
        m_panY += float(m_dragY - y);
        m_display->Invalidate();
        m_dragX = x;
        m_dragY = y;
        return true;
    }
    if (!m_capturedListener)
        return false;
    m_capturedListener->OnMouseMove(x, y, flags, time);
    m_display->Invalidate();
    return true;
}

bool GeneRelationGraphRenderer::EndPress(int button, int x, int y, int flags, unsigned int time)
{
    m_dragX = m_dragY = -1;
    MouseListener* captured = m_capturedListener;
    if (!captured)
        return false;
    m_capturedListener = nullptr;
    // A release on a close box may close this very tab, and with it this view: nothing of it is touched
    // after the call.
    captured->OnButtonUp(button, x, y, flags, time);
    return true;
}

bool GeneRelationGraphRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    if (!m_ready && !m_capturedListener)
        return false;
    return EndPress(button, x, y, flags, time);
}

bool GeneRelationGraphRenderer::OnDoubleClick(int button, int x, int y, int flags, unsigned int time)
{
    return OnButtonUp(button, x, y, flags, time);
}

bool GeneRelationGraphRenderer::OnMouseWheel(int, int, int, int delta, unsigned int)
{
    if (delta > 0)
        m_zoom = std::min(MAX_ZOOM, m_zoom + ZOOM_STEP);
    else if (delta < 0)
        m_zoom = std::max(MIN_ZOOM, m_zoom - ZOOM_STEP);
    m_display->Invalidate();
    return false;
}

bool GeneRelationGraphRenderer::OnKeyDown(unsigned int key, int, unsigned int)
{
    if (!m_ready || key != SPACE_KEY)
        return false;
    m_userStopped = m_animating;
    Animate(!m_animating);
    return true;
}
