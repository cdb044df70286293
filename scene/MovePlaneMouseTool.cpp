#include "scene/MovePlaneMouseTool.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/GeometryUtils.h"
#include "core/Image3d.h"
#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModel.h"
#include "gl/DevicePixels.h"
#include "scene/BrainSceneRenderer.h"

#include <algorithm>
#include <cmath>

namespace
{

Image3dPlane::Plane AsPlane(int plane)
{
    return static_cast<Image3dPlane::Plane>(plane);
}

// A framebuffer and renderbuffer deleted with the scope, the old bindings put back.
class ScratchDepthBuffer
{
public:
    explicit ScratchDepthBuffer(GLenum format)
    {
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &m_read);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &m_draw);
        glGetIntegerv(GL_RENDERBUFFER_BINDING, &m_renderbufferBinding);
        glGenFramebuffers(1, &m_framebuffer);
        glGenRenderbuffers(1, &m_renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, format, 1, 1);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_framebuffer);
        const bool stencil = format == GL_DEPTH24_STENCIL8 || format == GL_DEPTH32F_STENCIL8;
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, m_renderbuffer);
    }
    ~ScratchDepthBuffer()
    {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(m_read));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(m_draw));
        glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(m_renderbufferBinding));
        glDeleteFramebuffers(1, &m_framebuffer);
        glDeleteRenderbuffers(1, &m_renderbuffer);
    }
    ScratchDepthBuffer(const ScratchDepthBuffer&) = delete;
    ScratchDepthBuffer& operator=(const ScratchDepthBuffer&) = delete;

    // Resolves one pixel of the framebuffer that was bound for reading and reads it back.
    float Read(int x, int y)
    {
        float depth = 1.0f;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(m_read));
        glBlitFramebuffer(x, y, x + 1, y + 1, 0, 0, 1, 1, GL_DEPTH_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
        glReadPixels(0, 0, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        return depth;
    }

private:
    GLint m_read = 0;
    GLint m_draw = 0;
    GLint m_renderbufferBinding = 0;
    GLuint m_framebuffer = 0;
    GLuint m_renderbuffer = 0;
};

// The depth format of the framebuffer bound for reading, which a depth blit must match.
GLenum ReadDepthFormat()
{
    GLint read = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    const GLenum attachment = read == 0 ? GL_DEPTH : GL_DEPTH_ATTACHMENT;
    GLint depthBits = 24;
    GLint stencilBits = 0;
    GLint type = GL_UNSIGNED_NORMALIZED;
    glGetFramebufferAttachmentParameteriv(GL_READ_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                          &depthBits);
    glGetFramebufferAttachmentParameteriv(GL_READ_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE,
                                          &stencilBits);
    glGetFramebufferAttachmentParameteriv(GL_READ_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE,
                                          &type);
    if (type == GL_FLOAT)
        return stencilBits > 0 ? GL_DEPTH32F_STENCIL8 : GL_DEPTH_COMPONENT32F;
    if (stencilBits > 0)
        return GL_DEPTH24_STENCIL8;
    return depthBits <= 16 ? GL_DEPTH_COMPONENT16 : depthBits <= 24 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT32;
}

} // namespace

MovePlaneMouseTool::MovePlaneMouseTool()
{
    makeIdentity(m_inverse);
}

float MovePlaneMouseTool::ReadDepth(int x, int y)
{
    GLint sampleBuffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    float depth = 1.0f;
    // Depth cannot be read from a multisampled buffer; it is resolved into a single-sampled one first.
    if (sampleBuffers > 0 && (GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object))
    {
        ScratchDepthBuffer scratch(ReadDepthFormat());
        depth = scratch.Read(x, y);
    }
    else
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    // A buffer that cannot be read (no depth, a format the blit refuses) reads as far away.
    bool failed = false;
    while (glGetError() != GL_NO_ERROR)
        failed = true;
    return failed || !std::isfinite(depth) ? 1.0f : depth;
}

void MovePlaneMouseTool::SetMPRPlane(AtlasSpace* space, int plane)
{
    m_sliceMode = true;
    m_space = space;
    m_plane = plane;
}

void MovePlaneMouseTool::SetCuttingPlane(AtlasSpace* space, int plane, bool bound)
{
    m_sliceMode = false;
    m_space = space;
    m_plane = plane;
    m_bound = bound;
    if (m_parent)
        m_parent->GetModel()->SetLiveUpdate(true);
}

float MovePlaneMouseTool::GetMPRSliceLocation()
{
    if (m_plane < 0 || m_plane > 2 || !m_parent || !m_space)
        return 0.0f;
    return m_parent->GetModel()->GetMPRSliceLocation(AsPlane(m_plane)) *
           static_cast<float>(m_space->GetViewDimensions()[m_plane]);
}

float MovePlaneMouseTool::Row(int y) const
{
    const int height = m_parent ? m_parent->GetHeight() : m_viewport[1] + m_viewport[3];
    return static_cast<float>(height - y - 1);
}

bool MovePlaneMouseTool::Unproject(float x, float y, float depth, float point[3]) const
{
    return unprojectPoint(x, y, depth, m_inverse, m_viewport, &point[0], &point[1], &point[2]);
}

bool MovePlaneMouseTool::OnButtonDown(int, int x, int y, int, unsigned int time)
{
    float modelView[16];
    float projection[16];
    DevicePixels(m_parent ? m_parent->GetContext() : nullptr).GetViewport(m_viewport);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    float combined[16];
    multiplyMatrices(modelView, projection, combined);
    if (!invertMatrix(combined, m_inverse))
        makeIdentity(m_inverse);
    Unproject(static_cast<float>(x), Row(y), 0.5f, m_lastPoint);
    if (m_sliceMode && m_parent && m_plane >= 0 && m_plane <= 2)
        m_pressLocation = m_parent->GetModel()->GetMPRSliceLocation(AsPlane(m_plane));
    m_pressTime = time;
    return true;
}

bool MovePlaneMouseTool::OnMouseMove(int x, int y, int, unsigned int)
{
    float p[3];
    if (!m_parent || !m_space || m_plane < 0 || m_plane > 2 || !Unproject(static_cast<float>(x), Row(y), 0.5f, p))
        return true;
    const int k = m_plane;
    BrainExpressionModel* model = m_parent->GetModel();
    const float delta = (p[k] - m_lastPoint[k]) / static_cast<float>(m_space->GetViewDimensions()[k]);
    // Moves shorter than one atlas voxel accumulate until they reach one.
    if (std::fabs(delta) >= 1.0f / static_cast<float>(m_space->GetAtlasDimensions()[k]))
    {
        const Image3dPlane::Plane plane = AsPlane(k);
        if (m_sliceMode)
            model->SetMPRSliceLocation(plane, model->GetMPRSliceLocation(plane) + delta, false);
        else
            model->SetCuttingPlaneLocation(plane, model->GetCuttingPlaneLocation(plane, m_bound) + delta, m_bound,
                                           false);
        m_lastPoint[k] = p[k];
    }
    return true;
}

bool MovePlaneMouseTool::OnButtonUp(int, int x, int y, int, unsigned int time)
{
    if (!m_parent)
        return false;
    BrainExpressionModel* model = m_parent->GetModel();
    if (!m_sliceMode)
    {
        model->SetLiveUpdate(false);
        m_parent->RegenerateExpressionDisplays();
        return false;
    }
    if (m_plane < 0 || m_plane > 2)
        return false;
    if (model->GetMPRPlaneVisible(AsPlane(0)) && model->GetMPRPlaneVisible(AsPlane(1)) &&
        model->GetMPRPlaneVisible(AsPlane(2)))
    {
        const float probe[3] = {model->GetMPRSliceLocation(AsPlane(0)), model->GetMPRSliceLocation(AsPlane(1)),
                                model->GetMPRSliceLocation(AsPlane(2))};
        model->SetProbeLocation(probe, m_space, true);
    }
    const bool unmoved = model->GetMPRSliceLocation(AsPlane(m_plane)) == m_pressLocation;
    if (!unmoved || time - m_pressTime > CLICK_TIME)
        return false;
    PickStructure(x, y);
    return true;
}

void MovePlaneMouseTool::PickStructure(int x, int y)
{
    const int glRow = m_parent->GetHeight() - y - 1;
    const float row = static_cast<float>(glRow);
    const DevicePixels pixels(m_parent->GetContext());
    const float depth = ReadDepth(pixels.CentreOf(x), pixels.CentreOf(glRow));
    float p[3];
    if (!m_space || !Unproject(static_cast<float>(x), row, depth, p))
        return;
    p[m_plane] = GetMPRSliceLocation();
    const float* resolution = m_space->GetViewResolution();
    const Image3d* annotation = m_space->GetFullSizeAnnotationImage();
    const float value =
        annotation ? annotation->GetValue(p[0] * resolution[0], p[1] * resolution[1], p[2] * resolution[2]) : 0.0f;
    // Volumes hold annotation values, which name structures only through the ontology.
    const auto annotationValue = static_cast<unsigned short>(std::clamp(value, 0.0f, 65535.0f));
    const AnnotationLabel* label =
        annotationValue != 0 ? m_space->GetAtlas()->GetOntology()->GetAnnotationLabel(annotationValue) : nullptr;
    if (label && label->index == 0)
        label = nullptr;
    m_parent->GetModel()->SelectStructure(label, true);
}
