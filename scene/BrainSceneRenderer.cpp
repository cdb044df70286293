#include "scene/BrainSceneRenderer.h"

#include <GL/glew.h>

#include <GL/glu.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "atlas/GLTriangleMesh.h"
#include "atlas/GeneColorModes.h"
#include "core/Alerts.h"
#include "core/GeometryUtils.h"
#include "core/Image3dPlane.h"
#include "core/OSUtils.h"
#include "core/UserPreferences.h"
#include "expression/Bookmark.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/ModelChangeCode.h"
#include "gl/DevicePixels.h"
#include "gl/GLCube.h"
#include "gl/GLDisplay.h"
#include "gl/GLSphere.h"
#include "gl/GLTextBox.h"
#include "gl/TabControlRenderer.h"
#include "scene/BookmarkInterpolator.h"
#include "scene/BrainSceneView.h"
#include "scene/ExpressionLevelThresholdControl.h"
#include "scene/ExpressionThresholdControl.h"
#include "scene/TiledImage.h"
#include "scene/VolumeThresholdControl.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>

namespace
{

// The selection's box holds this many lines where the scene has room for it.
constexpr int kInfoBoxLines = 9;

// The lines of a text of lines this wide, wrapped at `width`. Words do not fill their lines: a wrapped line
// is counted as holding four fifths of the width, so that the box keeps every line the wrapping makes.
int WrappedLines(const std::vector<int>& lineWidths, int width)
{
    int lines = 0;
    for (const int line : lineWidths)
        lines += line <= width || width <= 0 ? 1 : (line * 5 + width * 4 - 1) / (width * 4);
    return lines;
}

bool VolumeRenderingActive()
{
    return UserPreferences::GetPreferences()->GetVolumeRenderingActive();
}

// The frame-rate clock is one for the process, as every scene shares the one screen.
struct FrameRateClock
{
    double lastTime = 0.0;
    int frames = 0;
    double total = 0.0;
    double ring[10] = {};
    int index = 0;
};

FrameRateClock& Clock()
{
    static FrameRateClock clock;
    return clock;
}

void SetLight(GLenum light, float ambient, float diffuse)
{
    const GLfloat a[4] = {ambient, ambient, ambient, 1.0f};
    const GLfloat d[4] = {diffuse, diffuse, diffuse, 1.0f};
    const GLfloat s[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    glLightfv(light, GL_AMBIENT, a);
    glLightfv(light, GL_DIFFUSE, d);
    glLightfv(light, GL_SPECULAR, s);
}

} // namespace

BrainSceneRenderer::BrainSceneRenderer(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs,
                                       SearchController* searchController)
    : m_model(model)
    , m_display(display)
    , m_tabs(tabs)
    , m_searchController(searchController)
    , m_trackball(this)
{
    for (int i = 0; i < model->GetNumGenes(); ++i)
        if (const std::shared_ptr<GeneExpression> gene = model->GetGene(i))
            AddGene(gene.get());
    m_infoBox.reset(
        display->CreateTextBox(OverlayLayout::kSelectionWidth, kInfoBoxLines, false, GLTextBox::kAlignLeft));
    m_frameRateBox.reset(display->CreateTextBox(40, 1, false, GLTextBox::kAlignLeft));
    m_sizeBox.reset(display->CreateTextBox(100, 1, false, GLTextBox::kAlignLeft));
    m_attributionBox.reset(display->CreateTextBox(OverlayLayout::kAttributionWidth, 1, false, GLTextBox::kAlignLeft));
    m_infoBox->ShowBackground(true);
    m_attributionBox->SetText(model->GetAtlas()->GetAttribution());
    m_panTool.SetParent(this);
    m_movePlaneTool.SetParent(this);
    m_trackball.SetParent(this);
    m_imageControlBar.Create(this, 0, OverlayLayout::kImageSide, OverlayLayout::kImageSide,
                             OverlayLayout::kImageBarHeight);
    m_sectionImage = std::make_shared<TiledImage>(OverlayLayout::kImageSide, OverlayLayout::kImageSide, this);
    Atlas* atlas = model->GetAtlas();
    for (unsigned int i = 0; i < atlas->GetNumSpaces(); ++i)
        m_views.push_back(std::make_shared<BrainSceneView>(this, atlas->GetSpace(i)));
    for (const auto& view : m_views)
        view->SetVisible(true);
    m_focusedView = m_views.empty() ? nullptr : m_views.front().get();
    m_measureBox.reset(display->CreateTextBox(0, 1, false, GLTextBox::kAlignLeft));
    m_attributionWidth = MeasureText(model->GetAtlas()->GetAttribution());
    m_characterWidth = std::max(MeasureText("0123456789") / 10, 1);
    model->AddListener(this);
    UserPreferences::GetPreferences()->AddListener(this);
    display->SetSendMouseMoved(true);
    m_volumeControl = std::make_shared<VolumeThresholdControl>(this, nullptr);
    ResetView();
}

BrainSceneRenderer::~BrainSceneRenderer()
{
    if (m_compassList != 0)
        glDeleteLists(m_compassList, 1);
    if (m_bookmarkAnimation)
        m_bookmarkAnimation->Drop();
    m_model->RemoveListener(this);
    UserPreferences::GetPreferences()->RemoveListener(this);
}

void BrainSceneRenderer::Initialize()
{
    SetLight(GL_LIGHT0, 0.1f, 0.7f);
    SetLight(GL_LIGHT1, 0.1f, 0.5f);
    const GLfloat specular[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 4.0f);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glShadeModel(GL_SMOOTH);
    // The display's other renderers share this context and end their frames blending their overlays: opaque
    // meshes drawn with blending on show through each other.
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
}

void BrainSceneRenderer::PositionLights()
{
    const GLfloat light0[4] = {-0.2f, 0.2f, 0.8f, 0.0f};
    const GLfloat light1[4] = {-0.2f, 0.2f, -0.8f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light0);
    glLightfv(GL_LIGHT1, GL_POSITION, light1);
}

// --- Layout ---

BrainSceneRenderer::Grid BrainSceneRenderer::LayoutGrid(int views, int width, int height)
{
    Grid grid;
    float best = std::numeric_limits<float>::max();
    for (int rows = 1; rows <= views; ++rows)
    {
        const int columns = (views + rows - 1) / rows;
        const int cellWidth = width / columns;
        const int cellHeight = height / rows;
        // Cells without height have no shape to compare (the score would be infinite or not a number).
        if (cellHeight < 1)
            continue;
        const float score = std::fabs(1.0f - static_cast<float>(cellWidth) / static_cast<float>(cellHeight));
        if (score < best)
        {
            best = score;
            grid = Grid{rows, columns, cellWidth, cellHeight};
        }
    }
    return grid;
}

void BrainSceneRenderer::LayoutSubViews()
{
    const int count = GetNumVisibleAtlasSpaces();
    if (m_width < 1 || m_height < 1 || count == 0)
        return;
    const int height = m_height - TabHeight();
    if (height < 1)
        return;
    const Grid grid = LayoutGrid(count, m_width, height);
    if (grid.rows == 0)
        return;
    if (m_model->GetCompassLocation() == BrainExpressionModel::COMPASS_IN_CORNER)
        m_compassSize = std::clamp(0.33f * static_cast<float>(grid.cellWidth), 90.0f, 180.0f);
    int k = 0;
    for (const auto& view : m_views)
    {
        if (!view->IsVisible())
            continue;
        const int row = k / grid.columns;
        const int column = k % grid.columns;
        view->Reshape(column * grid.cellWidth, (grid.rows - 1 - row) * grid.cellHeight, grid.cellWidth,
                      grid.cellHeight);
        ++k;
    }
    UpdateLayout();
}

void BrainSceneRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
    LayoutSubViews();
}

int BrainSceneRenderer::GetNumVisibleAtlasSpaces() const
{
    return static_cast<int>(
        std::count_if(m_views.begin(), m_views.end(), [](const auto& view) { return view->IsVisible(); }));
}

bool BrainSceneRenderer::AllSpacesVisible() const
{
    return GetNumVisibleAtlasSpaces() == static_cast<int>(m_model->GetAtlas()->GetNumSpaces());
}

AtlasSpace* BrainSceneRenderer::GetVisibleAtlasSpace(int index) const
{
    int k = 0;
    for (const auto& view : m_views)
        if (view->IsVisible() && k++ == index)
            return view->GetAtlasSpace();
    return nullptr;
}

BrainSceneView* BrainSceneRenderer::FindSubView(int x, int y)
{
    const int row = m_height - y;
    for (const auto& view : m_views)
    {
        if (!view->IsVisible())
            continue;
        if (view->GetOriginX() <= x && x < view->GetOriginX() + view->GetWidth() && view->GetOriginY() < row &&
            row <= view->GetOriginY() + view->GetHeight())
            return view.get();
    }
    return nullptr;
}

void BrainSceneRenderer::RemoveSubViewFocus()
{
    for (const auto& view : m_views)
        view->OnMouseLeave(0);
}

void BrainSceneRenderer::ZoomToSubview(BrainSceneView* shown)
{
    for (const auto& view : m_views)
        view->SetVisible(!shown || view.get() == shown);
    LayoutSubViews();
    Invalidate();
}

void BrainSceneRenderer::TranslateOrigin(int dx, int dy)
{
    BrainSceneView* view = m_focusedView ? m_focusedView : (m_views.empty() ? nullptr : m_views.front().get());
    if (view)
        view->TranslateOrigin(dx, dy);
}

void BrainSceneRenderer::Invalidate()
{
    m_display->Invalidate();
}

void BrainSceneRenderer::SetActive(bool active)
{
    if (!active)
        Animate(false);
}

void BrainSceneRenderer::ResetCursorRects()
{
    if (ExpressionThresholdControl* control = GetActiveThresholdControl())
        control->ResetCursorRects();
    if (ExpressionLevelThresholdControl* control = GetActiveLevelThresholdControl())
        control->ResetCursorRects();
    if (VolumeThresholdControl* control = GetActiveVolumeThresholdControl())
        control->ResetCursorRects();
}

void BrainSceneRenderer::SetModelRotation(const float* quaternion)
{
    m_model->SetRotation(quaternion, false);
}

// --- Drawing ---

void BrainSceneRenderer::Display()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    UpdateLayout();
    for (const auto& view : m_views)
        view->Display();
    if (m_model->GetCompassLocation() == BrainExpressionModel::COMPASS_IN_CORNER)
    {
        DevicePixels(m_display).Viewport(0, 0, m_width, m_height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        PositionLights();
        DrawCompass();
    }
    DevicePixels(m_display).Viewport(0, 0, m_width, m_height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawText();
    m_tick = false;
    if (m_saveEveryFrame)
        SaveFrameImage();
}

void BrainSceneRenderer::CompileCompass()
{
    // The mesh is read before the list opens: a file that does not load must not leave a list half
    // recorded (every later frame would fail), it gives the axes instead.
    std::unique_ptr<GLTriangleMesh> mesh;
    const std::string path = m_model->GetAtlas()->GetPath() + "/compass.msh";
    if (OSUtils::FileExists(path.c_str()))
    {
        mesh = std::make_unique<GLTriangleMesh>();
        try
        {
            mesh->Load(path.c_str(), false);
        }
        catch (const std::exception& error)
        {
            std::cerr << error.what() << std::endl;
            mesh.reset();
        }
    }
    const GLuint list = glGenLists(1);
    if (list == 0)
        throw std::runtime_error("OpenGL error: could not generate display lists for compass.");
    AtlasSpace* space = GetVisibleAtlasSpace(0);
    if (!space)
        space = m_model->GetAtlas()->GetSpace(0u);
    glNewList(list, GL_COMPILE);
    glMultMatrixf(space->GetTransform());
    glPushMatrix();
    if (mesh)
    {
        glColor4f(0.75f, 0.75f, 0.75f, 1.0f);
        glMultMatrixf(space->GetMNITransform());
        mesh->Draw();
    }
    else
        DrawCompassAxes();
    glPopMatrix();
    // The sphere's axes: y and z exchanged.
    const GLfloat swap[16] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    glMultMatrixf(swap);
    glColor4f(0.75f, 0.75f, 0.95f, 0.5f);
    GLSphere(12, 12).DrawWireFrame(0.0f, 0.0f, 0.0f, 72.0f);
    glEndList();
    m_compassList = list;
}

void BrainSceneRenderer::DrawCompassAxes()
{
    static const GLCube cube;
    GLUquadric* quadric = gluNewQuadric();
    const auto cone = [quadric](float x, float y, float z, float angle, float sz) {
        if (!quadric)
            return;
        glPushMatrix();
        glTranslatef(x, y, z);
        if (angle != 0.0f)
            glRotatef(angle, 1.0f, 0.0f, 0.0f);
        glScalef(0.25f, 0.25f, sz);
        gluCylinder(quadric, 1.0, 0.0, 1.0, 10, 2);
        glPopMatrix();
    };
    glScalef(40.0f, 40.0f, 40.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    cube.DrawAt(2.0f, 0.15f, 0.15f);
    cube.DrawAt(1.4f, 0.0f, 0.0f, 0.4f, 0.1f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.4f, 0.1f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.1f, 0.4f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.1f, 0.1f, 0.4f);
    glColor3f(0.0f, 1.0f, 0.0f);
    cube.DrawAt(0.15f, 2.0f, 0.15f);
    cone(0.0f, -1.0f, 0.0f, 90.0f, 0.25f);
    glColor3f(1.0f, 1.0f, 0.0f);
    cube.DrawAt(0.15f, 0.15f, 2.0f);
    cone(0.0f, 0.0f, 1.0f, 0.0f, 0.25f);
    cone(0.0f, 0.0f, -1.0f, 0.0f, -0.25f);
    if (quadric)
        gluDeleteQuadric(quadric);
}

void BrainSceneRenderer::DrawCompass()
{
    const OverlayRect square = m_layout.GetCompass();
    if (square.IsEmpty())
        return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, m_width, 0, m_height, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    try
    {
        if (m_compassList == 0)
            CompileCompass();
    }
    catch (...)
    {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        throw;
    }
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    const float s = static_cast<float>(square.right - square.left);
    glTranslatef(static_cast<float>(square.left) + s / 2, static_cast<float>(square.bottom) + s / 2, 700.0f);
    const float alpha = m_compassHover ? 0.3f : 0.2f;
    glDisable(GL_LIGHTING);
    glColor4f(0.5f, 0.5f, 0.5f, alpha);
    glRectf(-s / 2, -s / 2, s / 2, s / 2);
    glColor4f(0.8f, 0.8f, 0.8f, alpha);
    glBegin(GL_LINE_LOOP);
    glVertex2f(-s / 2, -s / 2);
    glVertex2f(s / 2, -s / 2);
    glVertex2f(s / 2, s / 2);
    glVertex2f(-s / 2, s / 2);
    glEnd();
    glEnable(GL_LIGHTING);
    glTranslatef(0.0f, 0.0f, 200.0f);
    m_trackball.MultiplyMatrix();
    glScalef(s / 180.0f, s / 180.0f, s / 180.0f);
    glDepthMask(GL_TRUE);
    glCallList(m_compassList);
    glPopAttrib();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void BrainSceneRenderer::ResetFrameRateClock()
{
    Clock() = FrameRateClock();
}

void BrainSceneRenderer::DrawFrameRate()
{
    FrameRateClock& clock = Clock();
    const double now = OSUtils::GetTime();
    if (now - clock.lastTime <= 0.0)
        ++clock.frames;
    else
    {
        const double fps = clock.frames / (now - clock.lastTime);
        clock.total += fps - clock.ring[clock.index];
        if (clock.index == 0)
        {
            std::ostringstream text;
            text << std::fixed << std::setprecision(1) << clock.total / 10.0;
            m_frameRateBox->SetText(text.str());
        }
        clock.ring[clock.index] = fps;
        clock.lastTime = now;
        clock.index = (clock.index + 1) % 10;
        clock.frames = 1;
    }
    m_frameRateBox->Draw(m_width - 35, 0);
}

int BrainSceneRenderer::MeasureText(const std::string& text)
{
    m_measureBox->SetText(text);
    return m_measureBox->GetTextWidth();
}

int BrainSceneRenderer::GetLayoutIndex(const BrainSceneView* view) const
{
    int index = 0;
    for (const auto& shown : m_views)
    {
        if (!shown->IsVisible())
            continue;
        if (shown.get() == view)
            return index;
        ++index;
    }
    return -1;
}

int BrainSceneRenderer::ChartTitleWidth(const std::string& title)
{
    if (title != m_chartTitle.first)
        m_chartTitle = {title, MeasureText(title)};
    return m_chartTitle.second;
}

OverlayLayout::Shown BrainSceneRenderer::WhatIsShown()
{
    OverlayLayout::Shown shown;
    shown.tabHeight = TabHeight();
    shown.lineHeight = m_attributionBox->GetLineHeight();
    shown.characterWidth = m_characterWidth;
    if (m_model->GetCompassLocation() == BrainExpressionModel::COMPASS_IN_CORNER)
        shown.compassSide = static_cast<int>(std::ceil(m_compassSize));
    shown.names = m_model->GetAtlas()->GetNumSpaces() > 1;
    for (const auto& view : m_views)
    {
        if (!view->IsVisible())
            continue;
        const OverlayRect cell{view->GetOriginX(), view->GetOriginY(), view->GetOriginX() + view->GetWidth(),
                               view->GetOriginY() + view->GetHeight()};
        shown.views.push_back({cell, view->GetNameLabel()->GetTextWidth(), view->HasChart()});
        if (view->HasChart())
            shown.chartTitleWidth = std::max(shown.chartTitleWidth, ChartTitleWidth(view->GetChartTitle()));
    }
    OverlayRect control;
    if (ExpressionThresholdControl* plot = GetActiveThresholdControl())
        control = plot->GetOverlayRect();
    else if (ExpressionLevelThresholdControl* level = GetActiveLevelThresholdControl())
        control = level->GetOverlayRect();
    else if (VolumeThresholdControl* volume = GetActiveVolumeThresholdControl())
        control = volume->GetOverlayRect();
    if (!control.IsEmpty())
    {
        shown.controlWidth = m_width - control.left;
        shown.controlBottom = std::max(control.bottom, 0);
        shown.controlTop = control.top;
    }
    shown.sectionImage = m_sectionImage->IsVisible();
    if (m_sectionImage->IsRegionReady())
    {
        shown.insetWidth = m_sectionImage->GetInsetWidth();
        shown.insetHeight = m_sectionImage->GetInsetHeight();
    }
    shown.attributionWidth = m_attributionWidth;
    if (!m_infoText.empty())
    {
        shown.selectionWidth = *std::max_element(m_infoLineWidths.begin(), m_infoLineWidths.end());
        shown.selectionLines = [this](int width) { return WrappedLines(m_infoLineWidths, width); };
    }
    return shown;
}

void BrainSceneRenderer::UpdateLayout()
{
    const DevicePixels pixels(m_display);
    m_layout = OverlayLayout(pixels.ToDevice(m_width), pixels.ToDevice(m_height), pixels.GetRatio(), WhatIsShown());
    m_sectionImage->ShowInset(!m_layout.GetInset().IsEmpty());
    for (const auto& view : m_views)
        view->PlaceOverlays();
}

void BrainSceneRenderer::DrawAttribution()
{
    const OverlayRect line = m_layout.GetAttribution();
    if (line.IsEmpty())
        return;
    const int width = line.right - line.left;
    if (width != m_attributionBox->GetWidth())
    {
        m_attributionBox.reset(m_display->CreateTextBox(width, 1, false, GLTextBox::kAlignLeft));
        m_attributionBox->SetText(m_model->GetAtlas()->GetAttribution());
    }
    m_attributionBox->Draw(line.left, line.bottom);
}

int BrainSceneRenderer::TabHeight() const
{
    return m_tabs && m_tabs->IsVisible() ? m_tabs->GetHeight() : 0;
}

bool BrainSceneRenderer::OverCompass(int x, int y)
{
    return m_layout.At(x, m_height - 1 - y).piece == OverlayLayout::Piece::kCompass;
}

void BrainSceneRenderer::SetInfoText(const std::string& text)
{
    m_infoText = text;
    m_infoBox->SetText(text);
    m_narrowInfoBox.reset();
    m_infoLineWidths.clear();
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        m_infoLineWidths.push_back(MeasureText(line));
    if (m_infoLineWidths.empty())
        m_infoLineWidths.push_back(0);
}

void BrainSceneRenderer::DrawInfoBox()
{
    const OverlayRect text = m_layout.GetSelectionText();
    if (text.IsEmpty())
        return;
    const int width = text.right - text.left;
    const int lines = m_layout.GetSelectionLines();
    const int wide =
        std::min(m_infoBox->GetWidth(), *std::max_element(m_infoLineWidths.begin(), m_infoLineWidths.end()));
    // The box of the whole text where the layout leaves it all; a box of the room left otherwise.
    if (width >= wide && lines == WrappedLines(m_infoLineWidths, m_infoBox->GetWidth()) && lines <= kInfoBoxLines)
    {
        m_narrowInfoBox.reset();
        m_infoBox->Draw(text.left, text.top - m_infoBox->GetHeight());
        return;
    }
    if (!m_narrowInfoBox || m_narrowInfoBox->GetWidth() != width ||
        m_narrowInfoBox->GetHeight() != text.top - text.bottom)
    {
        m_narrowInfoBox.reset(m_display->CreateTextBox(width, lines, false, GLTextBox::kAlignLeft));
        m_narrowInfoBox->ShowBackground(true);
        m_narrowInfoBox->SetText(m_infoText);
    }
    m_narrowInfoBox->Draw(text.left, text.bottom);
}

void BrainSceneRenderer::DrawThresholdControl()
{
    if (ExpressionThresholdControl* control = GetActiveThresholdControl())
        control->Display();
    else if (ExpressionLevelThresholdControl* level = GetActiveLevelThresholdControl())
        level->Display();
    else if (VolumeThresholdControl* volume = GetActiveVolumeThresholdControl())
        volume->Display();
}

void BrainSceneRenderer::DrawText()
{
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, m_width, 0, m_height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    if (m_tabs && m_tabs->IsVisible())
        m_tabs->Display(m_width);
    DrawInfoBox();
    if (!m_layout.GetImage().IsEmpty())
    {
        m_imageControlBar.Draw();
        m_sectionImage->Display(m_model->GetImageAlpha());
    }
    if (m_showFrameRate)
        DrawFrameRate();
    if (m_showWindowSize)
    {
        m_sizeBox->SetText(std::to_string(m_width) + " x " + std::to_string(m_height));
        m_sizeBox->Draw(5, 5);
    }
    DrawAttribution();
    if (!m_layout.GetControl().IsEmpty())
        DrawThresholdControl();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void BrainSceneRenderer::SaveFrameImage() {}

void BrainSceneRenderer::PreferenceChanged(int) {}

// --- Timer ---

void BrainSceneRenderer::Animate(bool on)
{
    if (!on)
        DropBookmarkAnimation();
    // Without a bookmark to fly to only the trackball spins, and only when the user wants it. The flag
    // follows the timer, or a later fling would never start the spin again.
    if (!m_bookmarkAnimation && !UserPreferences::GetPreferences()->GetAutoRotate())
        on = false;
    if (on == m_animating)
        return;
    if (on)
        m_display->StartTimer(40, this);
    else
        m_display->StopTimer();
    m_animating = on;
}

void BrainSceneRenderer::DropBookmarkAnimation()
{
    const std::shared_ptr<BookmarkInterpolator> animation = std::move(m_bookmarkAnimation);
    // Glyphs drawn the quick way while the thresholds moved are drawn in full again.
    if (animation && animation->Drop())
    {
        RegenerateExpressionDisplays();
        Invalidate();
    }
}

void BrainSceneRenderer::TimerElapsed()
{
    if (m_bookmarkAnimation)
    {
        // A listener of the model that the step notifies may drop the animation, or start another.
        const std::shared_ptr<BookmarkInterpolator> animation = m_bookmarkAnimation;
        if (!animation->Step() && m_bookmarkAnimation == animation)
            Animate(false);
    }
    else if (m_animating)
    {
        m_trackball.Animate();
        Invalidate();
    }
    m_tick = true;
}

void BrainSceneRenderer::StopBookmarkAnimation()
{
    if (m_bookmarkAnimation)
        Animate(false);
}

// --- Model events ---

void BrainSceneRenderer::ModelChanged(int code, BrainExpressionModel*, int argument)
{
    if (code < EXPRESSION_SELECTOR_CHANGED || code > IMAGE_DISPLAY_MODE_CHANGED)
        return;
    const bool colocated = m_model->GetAtlas()->HasColocatedSamples();
    const auto each = [this](void (BrainSceneView::*call)()) {
        for (const auto& view : m_views)
            (view.get()->*call)();
    };
    switch (code)
    {
    case EXPRESSION_SELECTOR_CHANGED:
        RegenerateExpressionDisplays();
        break;
    case STRUCTURE_SELECTOR_CHANGED:
    case MPR_SLICE_LOCATION_CHANGED:
        UpdateProbe();
        RegenerateExpressionDisplays();
        break;
    case GENE_ADDED:
        if (const std::shared_ptr<GeneExpression> gene = m_model->GetGene(argument))
            AddGene(gene.get());
        return;
    case GENE_REMOVING:
        if (const std::shared_ptr<GeneExpression> gene = m_model->GetGene(argument))
            RemoveGene(gene.get());
        return;
    case GENE_COLOR_MODE_CHANGED:
        each(&BrainSceneView::ExpressionColorModeChanged);
        m_refreshThresholdControl = m_refreshLevelControl = true;
        UpdateExpressionThresholdControls();
        CheckSelectionVisibility();
        break;
    case COMPASS_LOCATION_CHANGED:
        LayoutSubViews();
        break;
    case ROTATION_CHANGED:
        m_trackball.SetQuaternion(m_model->GetRotation());
        break;
    case CUTTING_PLANE_LOCATION_CHANGED:
        RegenerateExpressionDisplays();
        Invalidate();
        each(&BrainSceneView::ReloadMPR);
        UpdateVolumeRenderThresholdControl();
        UpdateSelection();
        break;
    case PROBE_CHANGED:
        UpdateProbe();
        return;
    case GENE_COLOR_CHANGED:
        each(&BrainSceneView::GeneColorChanged);
        break;
    case GENE_VISIBILITY_CHANGED:
    {
        const std::shared_ptr<GeneExpression> gene = m_model->GetGene(argument);
        if (!gene)
            return;
        if (!gene->IsVisible())
        {
            for (const auto& view : m_views)
                view->HideGene(gene.get());
        }
        else
        {
            if (colocated)
                HideOtherGenes(gene.get(), false);
            for (const auto& view : m_views)
                view->ShowGene(gene.get());
        }
        CheckSelectionVisibility();
        if (colocated)
            UpdateSelection();
        break;
    }
    case SELECTED_EXPRESSOR_CHANGED:
        UpdateSelection();
        break;
    case SELECTED_GENE_CHANGED:
        m_refreshThresholdControl = m_refreshLevelControl = true;
        // With the selection cleared no data set was chosen, so none is hidden.
        if (colocated && m_model->GetSelectedGene())
            HideOtherGenes(m_model->GetSelectedGene(), true);
        UpdateVolumeRenderThresholdControl();
        if (!m_model->ThresholdControlsVisible())
            return;
        break;
    case SELECTED_STRUCTURE_CHANGED:
        each(&BrainSceneView::ReloadMPR);
        UpdateVolumeRenderThresholdControl();
        UpdateSelection();
        break;
    case VIEW_RESET:
        ResetView();
        UpdateProbe();
        return;
    case STOP_ANIMATIONS:
        Animate(false);
        return;
    case IMAGE_ALPHA_CHANGED:
        if (!m_sectionImage->IsVisible())
            return;
        break;
    case ANNOTATION_ALPHA_CHANGED:
        each(&BrainSceneView::ReloadMPR);
        break;
    case VISIBILITY_THRESHOLD_CHANGED:
    case EXPRESSION_WINDOW_CHANGED:
        each(&BrainSceneView::ExpressionColorModeChanged);
        RegenerateExpressionDisplays();
        CheckSelectionVisibility();
        if (!m_model->GetLiveUpdate() && m_model->ThresholdControlsVisible())
            m_display->InvalidateCursorRects();
        break;
    case THRESHOLD_CONTROLS_VISIBILITY_CHANGED:
        m_display->InvalidateCursorRects();
        break;
    case MIP_WINDOW_CHANGED:
    {
        const Range window = m_model->GetMIPWindow();
        for (const auto& view : m_views)
            view->SetMIPWindow(window.min, window.max);
        break;
    }
    case VOLUME_RENDER_WINDOW_CHANGED:
    {
        const Range window = m_model->GetVolumeRenderWindow();
        for (const auto& view : m_views)
            view->SetVolumeRenderWindow(window.min, window.max);
        break;
    }
    case IMAGE_DISPLAY_MODE_CHANGED:
        if (m_model->GetImageDisplayMode() == BrainExpressionModel::SECTION_IMAGE)
            UpdateSelection();
        else
            ShowAtlasImage();
        break;
    default:
        break;
    }
    Invalidate();
}

// --- Data sets and threshold controls ---

bool BrainSceneRenderer::HasVolumeGrid(const GeneExpression* gene) const
{
    return gene && !gene->GetGridValues().empty();
}

void BrainSceneRenderer::AddGene(GeneExpression* gene)
{
    bool accepted = false;
    for (const auto& view : m_views)
        if (view->AddGene(gene))
        {
            view->SetVisible(true);
            accepted = true;
        }
    if (accepted)
        LayoutSubViews();
    if (!(VolumeRenderingActive() && HasVolumeGrid(gene)))
    {
        if (m_model->GetAtlas()->GetAtlasId() == 351)
        {
            auto control = std::make_shared<ExpressionLevelThresholdControl>(this, gene->GetDisplayRange(),
                                                                             m_model->GetGeneColormap());
            control->SetSymmetric(m_model->ZScoresVisible());
            m_levelControls[gene] = control;
        }
        else
            m_thresholdControls[gene] = std::make_shared<ExpressionThresholdControl>(this, gene);
        // The gene may be the selected one already: the active control is looked up again.
        m_refreshThresholdControl = m_refreshLevelControl = true;
    }
    Invalidate();
}

void BrainSceneRenderer::RemoveGene(GeneExpression* gene)
{
    for (const auto& view : m_views)
        view->RemoveGene(gene);
    const auto control = m_thresholdControls.find(gene);
    if (control != m_thresholdControls.end())
    {
        if (m_activeThresholdControl == control->second.get())
            m_activeThresholdControl = nullptr;
        m_thresholdControls.erase(control);
    }
    const auto level = m_levelControls.find(gene);
    if (level != m_levelControls.end())
    {
        if (m_activeLevelControl == level->second.get())
            m_activeLevelControl = nullptr;
        m_levelControls.erase(level);
    }
}

void BrainSceneRenderer::HideOtherGenes(GeneExpression* gene, bool show)
{
    for (int i = 0; i < m_model->GetNumGenes(); ++i)
    {
        const std::shared_ptr<GeneExpression> other = m_model->GetGene(i);
        if (other.get() != gene)
            m_model->SetGeneVisible(i, false);
        else if (show)
            m_model->SetGeneVisible(i, true);
    }
}

ExpressionThresholdControl* BrainSceneRenderer::GetActiveThresholdControl()
{
    if (!m_model->ThresholdControlsVisible())
        return nullptr;
    if (m_refreshThresholdControl)
    {
        const auto control = m_thresholdControls.find(m_model->GetSelectedGene());
        m_activeThresholdControl = control != m_thresholdControls.end() ? control->second.get() : nullptr;
        m_display->InvalidateCursorRects();
        m_refreshThresholdControl = false;
    }
    return m_activeThresholdControl;
}

ExpressionLevelThresholdControl* BrainSceneRenderer::GetActiveLevelThresholdControl()
{
    if (!m_model->ThresholdControlsVisible())
        return nullptr;
    if (m_refreshLevelControl)
    {
        const auto control = m_levelControls.find(m_model->GetSelectedGene());
        m_activeLevelControl = control != m_levelControls.end() ? control->second.get() : nullptr;
        m_display->InvalidateCursorRects();
        m_refreshLevelControl = false;
    }
    return m_model->GetGeneColormap() ? m_activeLevelControl : nullptr;
}

bool BrainSceneRenderer::StructureHasDatabaseId(const AnnotationLabel* label, unsigned long id) const
{
    return label && label->index != 0 && label->databaseId == id;
}

VolumeThresholdControl* BrainSceneRenderer::GetActiveVolumeThresholdControl()
{
    if (!VolumeRenderingActive() || !m_model->ThresholdControlsVisible())
        return nullptr;
    const AnnotationLabel* selected = m_model->GetSelectedStructure();
    const AnnotationLabel* root = m_model->GetAtlas()->GetOntology()->GetAnnotationLabelByIndex(1);
    if (StructureHasDatabaseId(selected, BrainSceneView::CORRELATION_STRUCTURE_ID) ||
        (selected && selected->index != 0 && selected->index == root->index))
        return m_volumeControl.get();
    return nullptr;
}

void BrainSceneRenderer::UpdateExpressionThresholdControls()
{
    GetActiveThresholdControl();
    for (const auto& entry : m_levelControls)
    {
        const Range range = entry.first->GetDisplayRange();
        entry.second->SetXRange(range.min, range.max);
        entry.second->SetColormap(m_model->GetGeneColormap());
        entry.second->SetSymmetric(m_model->ZScoresVisible());
    }
}

void BrainSceneRenderer::UpdateVolumeRenderThresholdControl()
{
    const bool jet = m_model->GetSelectedGene() ||
                     StructureHasDatabaseId(m_model->GetSelectedStructure(), BrainSceneView::CORRELATION_STRUCTURE_ID);
    m_volumeControl->SetColormap(jet ? m_model->GetAtlas()->GetGeneColorModes().GetJetColormap() : nullptr);
}

// --- Broadcasts ---

void BrainSceneRenderer::RegenerateExpressionDisplays()
{
    for (const auto& view : m_views)
        view->RegenerateExpressionDisplays();
}

void BrainSceneRenderer::CheckSelectionVisibility()
{
    for (const auto& view : m_views)
        view->CheckSelectionVisibility();
}

void BrainSceneRenderer::UpdateProbe()
{
    for (const auto& view : m_views)
        view->UpdateProbe();
}

void BrainSceneRenderer::ExportPOVRay(const char* prefix)
{
    for (const auto& view : m_views)
        view->ExportPOVRay(prefix);
}

void BrainSceneRenderer::ResetView()
{
    Animate(false);
    m_trackball.SetQuaternion(m_model->GetRotation());
    Invalidate();
}

void BrainSceneRenderer::DeselectAll()
{
    if (m_sectionImage->IsVisible())
    {
        ShowImage(nullptr, 0, nullptr, 0, 0, ImageSeries::NoPlane, 0.0f, "", "", "");
        Invalidate();
    }
    m_model->SelectStructure(nullptr, true);
    m_model->SelectExpressor(nullptr, nullptr, nullptr, true);
}

bool BrainSceneRenderer::ProbeVisible()
{
    const GeneExpression* gene = m_model->GetSelectedGene();
    if (gene && m_sectionImage->IsVisible() && HasVolumeGrid(gene))
        return true;
    const std::shared_ptr<BrainOntology> ontology = m_model->GetAtlas()->GetOntology();
    for (unsigned long id : {BrainSceneView::CORRELATION_STRUCTURE_ID, BrainSceneView::PROJECTION_STRUCTURE_ID})
    {
        const AnnotationLabel* label = ontology->GetAnnotationLabelByDatabaseId(id);
        if (label->index != 0 && label->selector.Intersects(m_model->GetStructureSelector()))
            return true;
    }
    return false;
}

// --- Selection and the section image ---

void BrainSceneRenderer::ShowStructureAncestry(const AnnotationLabel* label)
{
    std::vector<const AnnotationLabel*> chain;
    for (const AnnotationLabel* l = label; l && chain.size() <= BrainOntology::MAX_ROWS; l = l->parent)
        chain.push_back(l);
    std::string text;
    for (std::size_t depth = 0; depth < chain.size(); ++depth)
    {
        const AnnotationLabel* l = chain[chain.size() - 1 - depth];
        if (depth > 0)
            text += "\n";
        text += std::string(2 * depth, ' ') + l->name + " (" + l->abbreviation + ")";
    }
    SetInfoText(text);
}

void BrainSceneRenderer::UpdateSelection()
{
    m_display->MakeCurrent();
    const Expressor* expressor = m_model->GetSelectedExpressor();
    GeneExpression* gene = m_model->GetSelectedExpressorsGene();
    AtlasSpace* space = m_model->GetSelectedExpressorsSpace();
    const AnnotationLabel* structure = m_model->GetSelectedStructure();
    if (expressor)
    {
        if (m_model->GetImageDisplayMode() == BrainExpressionModel::SECTION_IMAGE)
        {
            const ImageSeries::ImageInfo* info =
                gene ? gene->GetImageSeries().GetImageSection(expressor->section) : nullptr;
            if (info)
            {
                const std::string mask = gene->GetImageMaskFilterParams();
                ShowImage(info, static_cast<unsigned int>(gene->GetExperimentId()), space, expressor->imageX,
                          expressor->imageY, static_cast<ImageSeries::PlaneOfSection>(gene->GetPlaneOfSection()),
                          gene->GetImageSeries().GetDisplayParameter(),
                          gene->GetImageSeries().GetIntensityRange().c_str(), mask.c_str(),
                          gene->GetProjectCode().c_str());
            }
            else
                ShowImage(nullptr, 0, nullptr, 0, 0, ImageSeries::NoPlane, 0.0f, "", "", "");
        }
        else
            ShowAtlasImage();
        std::stringstream info;
        info.precision(4);
        if (gene)
            gene->PrintSelectionInfo(info, expressor, space);
        SetInfoText(gene ? info.str() : std::string());
    }
    else if (structure && structure->index != 0)
    {
        ShowStructureAncestry(structure);
        HideImage();
    }
    else
    {
        SetInfoText("");
        HideImage();
    }
}

void BrainSceneRenderer::ShowImage(const ImageSeries::ImageInfo* info, unsigned int id, const AtlasSpace* space, int x,
                                   int y, ImageSeries::PlaneOfSection plane, float scale, const char* a, const char* b,
                                   const char* c)
{
    if (!info)
        m_sectionImage->Hide();
    else if (!info->imagePath.empty())
        m_sectionImage->LoadImage(info, id, x, y, plane, scale, 0.0f, space, a, b, c);
}

void BrainSceneRenderer::HideImage()
{
    if (!m_sectionImage->IsVisible())
        return;
    m_sectionImage->Hide();
    Invalidate();
}

bool BrainSceneRenderer::CanShowImageInBrowser()
{
    return m_sectionImage->CanShowImageInBrowser() || m_model->GetSelectedExpressor();
}

void BrainSceneRenderer::ShowImageInBrowser()
{
    if (!CanShowImageInBrowser() || m_sectionImage->ShowImageInBrowser())
        return;
    std::string url;
    if (m_model->GetSelectedExpressorImageUrl(url))
        OSUtils::OpenBrowser(url);
}

void BrainSceneRenderer::ShowAtlasImage()
{
    try
    {
        Atlas* atlas = m_model->GetAtlas();
        if (atlas->GetAtlasId() == 50000)
        {
            const float* probe = m_model->GetProbeLocation();
            AtlasSpace* first = atlas->GetSpace(0u);
            const unsigned int* d = first->GetViewDimensions();
            int a = 0, b = 0, c = 0;
            if (first->KestCoordinates(probe[0] * d[0], probe[1] * d[1], probe[2] * d[2], a, b, c))
                OSUtils::OpenBrowser(UserPreferences::GetPreferences()->GetHostName() +
                                     "/kest/all_coronal?correlation&seedPoint=" + std::to_string(a) + "," +
                                     std::to_string(b) + "," + std::to_string(c));
            return;
        }
        const Expressor* expressor = m_model->GetSelectedExpressor();
        AtlasSpace* space = expressor ? m_model->GetSelectedExpressorsSpace() : m_model->GetProbeAtlasSpace();
        if (!space)
            return;
        const float* resolution = space->GetViewResolution();
        const unsigned int* dimensions = space->GetViewDimensions();
        float point[3];
        for (int axis = 0; axis < 3; ++axis)
            point[axis] = expressor ? expressor->position[axis] * resolution[axis]
                                    : m_model->GetMPRSliceLocation(static_cast<Image3dPlane::Plane>(axis)) *
                                          dimensions[axis] * resolution[axis];
        unsigned int index = 0;
        float u = 0.0f, v = 0.0f;
        const ImageSeries::ImageInfo* section = nullptr;
        ImageSeries::PlaneOfSection plane = ImageSeries::Sagittal;
        if (m_model->GetImageDisplayMode() == BrainExpressionModel::CORONAL_PLATE && space->CoronalImagesAvailable())
        {
            const GeneExpression* gene = m_model->GetSelectedExpressorsGene();
            if ((atlas->GetAtlasId() == 310 || atlas->GetAtlasId() == 378) && expressor && gene &&
                gene->GetPlaneOfSection() == 1)
                point[2] = dimensions[2] * resolution[2] - point[2] - resolution[2];
            section = space->ClosestCoronalAtlasSection(point[0], point[1], point[2], index, u, v);
            plane = ImageSeries::Coronal;
        }
        else
        {
            if (m_model->GetImageDisplayMode() == BrainExpressionModel::CORONAL_PLATE)
                m_model->SetImageDisplayMode(BrainExpressionModel::SAGITTAL_PLATE, false);
            section = space->ClosestSagittalAtlasSection(point[0], point[1], point[2], index, u, v);
        }
        if (!section)
            m_sectionImage->ShowBlank();
        else
            m_sectionImage->LoadImage(section, index, static_cast<int>(u + 0.5f) + section->left,
                                      static_cast<int>(v + 0.5f) + section->top, plane, 1.0f, 16.0f, space, "", "", "");
    }
    catch (const std::exception& error)
    {
        ShowAlertBox(error.what());
    }
    catch (...)
    {
        ShowAlertBox("There was an unexpected error while trying to read reference atlas coordinate information. "
                     "This application may be damaged.");
    }
}

// --- Bookmarks ---

bool BrainSceneRenderer::WantsAnimation(const Bookmark& target, bool immediate) const
{
    // Shorter than one timer tick is no animation.
    return UserPreferences::GetPreferences()->GetBookmarkAnimationSpeed() > 0.04f && !immediate &&
           BookmarkInterpolator::CanInterpolate(target);
}

void BrainSceneRenderer::StartBookmarkAnimation(const Bookmark& target, float duration)
{
    const Bookmark start("Temp", target.GetFlags(), m_model);
    m_bookmarkAnimation = std::make_shared<BookmarkInterpolator>(start, target, m_model, duration, m_animationClock);
    Animate(true);
}

void BrainSceneRenderer::GoToBookmark(const Bookmark& bookmark, bool immediate)
{
    Animate(false);
    if (WantsAnimation(bookmark, immediate))
        StartBookmarkAnimation(bookmark, UserPreferences::GetPreferences()->GetBookmarkAnimationSpeed());
    else
        bookmark.Restore(m_model);
}

void BrainSceneRenderer::CenterViewAt(const float* point, bool immediate, AtlasSpace* space)
{
    if (!space)
        space = m_model->GetAtlas()->GetSpace(0u);
    // The camera takes a voxel p to T (u, 1) + origin, u being p - d / 2 with y and z flipped and T the
    // space's (column-major) transform. The origin that brings p to the centre is -T (u, 1) = T (-u, -1):
    // T itself, not its transpose, and the w of -1 takes back T's translation too.
    const unsigned int* d = space->GetViewDimensions();
    const float shifted[4] = {-(point[0] - d[0] / 2.0f), point[1] - d[1] / 2.0f, point[2] - d[2] / 2.0f, -1.0f};
    float origin[4];
    multiplyMatrixVectorT(space->GetTransform(), shifted, origin);
    Bookmark target("Origin Shift", Bookmark::VIEW_ANGLE);
    target.SetRotation(m_model->GetRotation());
    target.SetOrigin(origin);
    Animate(false);
    if (WantsAnimation(target, immediate))
        StartBookmarkAnimation(target, 0.5f);
    else
        m_model->SetOrigin(origin, true);
}

void BrainSceneRenderer::CenterViewAt(const AnnotationLabel* label, bool immediate, AtlasSpace* space)
{
    if (!space)
        space = m_focusedView ? m_focusedView->GetAtlasSpace() : m_views.front()->GetAtlasSpace();
    const float* centre = space->GetBrainMeshes()->GetCentroid(label);
    if (centre && centre[0] > 0.0f && centre[1] > 0.0f && centre[2] > 0.0f)
        CenterViewAt(centre, immediate, space);
}

// --- Input ---

void BrainSceneRenderer::ForwardInViewSpace(const std::function<bool()>& call, bool& result)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (m_focusedView)
    {
        m_focusedView->SetupViewPort();
        m_focusedView->DoViewTransforms();
    }
    try
    {
        result = call();
    }
    catch (...)
    {
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        throw;
    }
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

MouseListener* BrainSceneRenderer::ChooseTool(int button, int flags)
{
    enum Tool
    {
        kRotate,
        kPan,
        kPick
    };
    const int mode = m_model->GetToolMode();
    Tool tool = mode == BrainExpressionModel::PAN_TOOL    ? kPan
                : mode == BrainExpressionModel::PICK_TOOL ? kPick
                                                          : kRotate;
    if (button == kRightButton)
        tool = mode == BrainExpressionModel::PICK_TOOL ? kRotate : kPick;
    else if (button == kMiddleButton || (button == kLeftButton && (flags & kShiftKey)))
        tool = kPan;
    else if (flags & kOptionKey)
        tool = mode == BrainExpressionModel::PICK_TOOL ? kRotate : kPick;
    if (tool == kPan)
        return &m_panTool;
    if (tool == kRotate)
    {
        if (m_focusedView)
            m_trackball.SetSize(m_focusedView->GetOriginX(), m_focusedView->GetOriginY(), m_focusedView->GetWidth(),
                                m_focusedView->GetHeight(), 2.0f);
        else
            m_trackball.SetSize(0, 0, m_width, m_height, 2.0f);
        return &m_trackball;
    }
    return nullptr;
}

bool BrainSceneRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    StopBookmarkAnimation();
    // What shows may have changed since the last frame: the press goes to what the next one draws.
    UpdateLayout();
    if (m_mouseCapture)
    {
        bool taken = false;
        MouseListener* capture = m_mouseCapture;
        ForwardInViewSpace([&] { return capture->OnButtonDown(button, x, y, flags, time); }, taken);
        if (!taken)
            m_mouseCapture = nullptr;
        m_display->Display();
        return true;
    }
    const int tabHeight = TabHeight();
    if (m_tabs && m_tabs->IsVisible() && y <= tabHeight)
    {
        if (m_tabs->OnButtonDown(button, x, y, flags, time))
        {
            m_mouseCapture = m_tabs;
            m_display->Display();
        }
        return true;
    }
    const OverlayLayout::Piece piece = m_layout.At(x, m_height - 1 - y).piece;
    if (piece == OverlayLayout::Piece::kCompass)
    {
        const OverlayRect square = m_layout.GetCompass();
        const int side = square.right - square.left;
        m_trackball.SetSize(square.left, square.bottom - 1, side, side, 1.0f);
        m_mouseCapture = &m_trackball;
        m_trackball.OnButtonDown(button, x, y, flags, time);
        return true;
    }
    if (!m_layout.GetImage().IsEmpty())
    {
        if (m_imageControlBar.OnButtonDown(button, x, y, flags, time))
        {
            m_mouseCapture = &m_imageControlBar;
            m_display->Display();
            return true;
        }
        if (m_sectionImage->OnButtonDown(button, x, m_height - 1 - y, flags, time))
        {
            m_mouseCapture = m_sectionImage.get();
            return true;
        }
    }
    if (piece == OverlayLayout::Piece::kControl)
    {
        MouseListener* controls[] = {GetActiveThresholdControl(), GetActiveLevelThresholdControl(),
                                     GetActiveVolumeThresholdControl()};
        for (MouseListener* control : controls)
            if (control && control->OnButtonDown(button, x, y, flags, time))
            {
                m_mouseCapture = control;
                return true;
            }
    }
    if (m_animating)
        Animate(false);
    MouseListener* tool = ChooseTool(button, flags);
    const bool pick = tool == nullptr;
    m_focusedView = FindSubView(x, y);
    if (m_focusedView && m_focusedView->OnButtonDown(button, x, y, flags, time))
    {
        m_mouseCapture = m_focusedView;
        return true;
    }
    if (pick)
    {
        m_mouseCapture = nullptr;
        if (!m_focusedView)
        {
            DeselectAll();
            return true;
        }
        m_mouseCapture = m_focusedView->PickObject(x, y, (flags & kCommandKey) != 0, &m_movePlaneTool);
        if (!m_mouseCapture)
            return true;
    }
    else
    {
        // The trackball's area follows the view under the press.
        m_mouseCapture = ChooseTool(button, flags);
    }
    bool taken = false;
    MouseListener* capture = m_mouseCapture;
    ForwardInViewSpace([&] { return capture->OnButtonDown(button, x, y, flags, time); }, taken);
    if (!taken)
        m_mouseCapture = nullptr;
    m_display->Display();
    return true;
}

bool BrainSceneRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    MouseListener* capture = m_mouseCapture;
    m_mouseCapture = nullptr;
    if (capture)
    {
        bool redraw = false;
        ForwardInViewSpace([&] { return capture->OnButtonUp(button, x, y, flags, time); }, redraw);
        if (redraw)
            Invalidate();
    }
    return true;
}

bool BrainSceneRenderer::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    if (m_mouseCapture)
    {
        bool draw = false;
        MouseListener* capture = m_mouseCapture;
        ForwardInViewSpace([&] { return capture->OnMouseMove(x, y, flags, time); }, draw);
        if (draw)
            m_display->Display();
        return true;
    }
    UpdateLayout();
    const bool hovering = OverCompass(x, y);
    if (hovering != m_compassHover)
    {
        m_compassHover = hovering;
        Invalidate();
        return true;
    }
    if (hovering)
        return true;
    MouseListener* controls[] = {GetActiveThresholdControl(), GetActiveLevelThresholdControl(),
                                 GetActiveVolumeThresholdControl()};
    for (MouseListener* control : controls)
        if (control && !m_layout.GetControl().IsEmpty() && control->OnMouseMove(x, y, flags, time))
            return true;
    BrainSceneView* view = FindSubView(x, y);
    if (m_focusedView && m_focusedView != view)
        m_focusedView->OnMouseLeave(time);
    if (view && view->OnMouseMove(x, y, flags, time))
        m_focusedView = view;
    return true;
}

bool BrainSceneRenderer::OnMouseWheel(int, int, int, int delta, unsigned int)
{
    StopBookmarkAnimation();
    if (delta < 0)
        m_model->SetZoom(m_model->GetZoom() - 10.0f, true);
    else if (delta > 0)
        m_model->SetZoom(m_model->GetZoom() + 10.0f, true);
    return true;
}

bool BrainSceneRenderer::OnDoubleClick(int button, int x, int y, int flags, unsigned int time)
{
    if (m_sectionImage->IsVisible() && m_sectionImage->OnDoubleClick(button, x, m_height - 1 - y, flags, time))
        return true;
    // The double click stands in for the second release, which the press before it waits for: without
    // it a drag (a cutting plane in live update, say) would stay captured.
    OnButtonUp(button, x, y, flags, time);
    return false;
}

bool BrainSceneRenderer::OnKeyDown(unsigned int key, int, unsigned int)
{
    StopBookmarkAnimation();
    const int views = static_cast<int>(m_views.size());
    const auto moveSlice = [this](int plane, float direction) {
        const auto p = static_cast<Image3dPlane::Plane>(plane);
        if (!m_model->GetMPRPlaneVisible(p) || m_views.empty())
            return false;
        const float step = 1.0f / m_views.front()->GetAtlasSpace()->GetViewResolution()[plane];
        m_model->SetMPRSliceLocation(p, m_model->GetMPRSliceLocation(p) + direction * step, true);
        return true;
    };
    if (key >= '1' && static_cast<int>(key - '1') < views)
    {
        BrainSceneView& view = *m_views[key - '1'];
        view.SetVisible(!view.IsVisible());
        if (GetNumVisibleAtlasSpaces() == 0)
            ZoomToSubview(nullptr);
        else
        {
            LayoutSubViews();
            Invalidate();
        }
    }
    else if (key >= 'A' && static_cast<int>(key - 'A') < views)
        ZoomToSubview(m_views[key - 'A'].get());
    else
        switch (key)
        {
        case '[':
            return moveSlice(0, -1.0f);
        case ']':
            return moveSlice(0, 1.0f);
        case '\'':
            return moveSlice(1, -1.0f);
        case '/':
            return moveSlice(1, 1.0f);
        case '-':
            return moveSlice(2, -1.0f);
        case '=':
            return moveSlice(2, 1.0f);
        case 'R':
        case 'r':
            m_showFrameRate = !m_showFrameRate;
            return true;
        case 'W':
        case 'w':
            m_showWindowSize = !m_showWindowSize;
            return true;
        case 'S':
            SaveFrameImage();
            return true;
        case 's':
            m_saveEveryFrame = !m_saveEveryFrame;
            return true;
        case 'g':
            m_model->SetProbeLocation(m_model->GetNextProbeLocation(), m_model->GetProbeAtlasSpace(), true);
            return true;
        case 'e':
        case 'm':
            return false;
        default:
            break;
        }
    Animate(false);
    return false;
}

bool BrainSceneRenderer::OnSpecialKeyDown(int code, int flags, unsigned int)
{
    StopBookmarkAnimation();
    if (code < kUpArrowKey || code > kRightArrowKey)
        return true;
    if (flags & kCommandKey)
    {
        const int dx[] = {0, 0, -1, 1};
        const int dy[] = {1, -1, 0, 0};
        TranslateOrigin(dx[code - 1], dy[code - 1]);
        return true;
    }
    const float degree = 0.017453292f;
    const float xAxis[3] = {1.0f, 0.0f, 0.0f};
    const float yAxis[3] = {0.0f, 1.0f, 0.0f};
    const float* axis = code <= kDownArrowKey ? xAxis : yAxis;
    const float angle = (code == kUpArrowKey || code == kLeftArrowKey) ? degree : -degree;
    m_trackball.AddRotation(axis, angle, (flags & kOptionKey) != 0);
    m_display->Display();
    return true;
}
