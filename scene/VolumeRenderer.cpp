#include "scene/VolumeRenderer.h"

#include <GL/glew.h>

#include <GL/glu.h>

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/Colormap.h"
#include "atlas/GeneColorModes.h"
#include "core/FileUtils.h"
#include "core/Image3d.h"
#include "core/ResourcePath.h"
#include "expression/BrainExpressionModel.h"
#include "gl/CheckGLError.h"
#include "gl/DevicePixels.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLShaderProgram.h"
#include "gl/GLTexture.h"
#include "scene/AtlasCube.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <typeinfo>
#include <vector>

namespace
{

constexpr int kUploadAttempts = 5;

// One transfer window: both ends in 0..255, and never empty.
void ClampWindow(int& low, int& high)
{
    low = std::clamp(low, 0, 255);
    high = std::clamp(high, 0, 255);
    if (low < high)
        return;
    if (high > 0)
        low = high - 1;
    else
        high = 1;
}

unsigned char Quantise(float value, float scale)
{
    const float q = value * scale * 255.0f;
    // Not-a-number fails both tests and becomes 0 like the empty voxels around it.
    if (!(q > 0.0f))
        return 0;
    if (q >= 255.0f)
        return 255;
    return static_cast<unsigned char>(q);
}

void CheckFramebuffer(const char* message)
{
    if (glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT)
        throw std::runtime_error(message);
}

void MakeImageTexture(unsigned int& name, GLint internalFormat, GLenum format, GLenum type)
{
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, VolumeRenderer::kImageSide, VolumeRenderer::kImageSide, 0, format,
                 type, nullptr);
}

void SetUniform(GLuint program, const char* name, float value)
{
    glUniform1f(glGetUniformLocation(program, name), value);
}

void SetUniform(GLuint program, const char* name, const float* values)
{
    glUniform3f(glGetUniformLocation(program, name), values[0], values[1], values[2]);
}

void SetSampler(GLuint program, const char* name, int unit)
{
    glUniform1i(glGetUniformLocation(program, name), unit);
}

void BindTexture(int unit, GLenum target, unsigned int texture)
{
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(target, texture);
}

} // namespace

VolumeRenderer::VolumeRenderer(BrainSceneView* view)
    : m_view(view)
    , m_ownImage(Image3d::CreateImage(typeid(unsigned char)))
{
}

VolumeRenderer::VolumeRenderer(BrainSceneView* view, const Image3d* image)
    : m_view(view)
    , m_currentVolume(image)
    , m_ownImage(Image3d::CreateImage(typeid(unsigned char)))
{
}

VolumeRenderer::~VolumeRenderer()
{
    for (unsigned int* texture :
         {&m_volumeTexture, &m_imageTexture, &m_backFaceTexture, &m_depthTexture, &m_transferTexture})
        if (*texture)
            glDeleteTextures(1, texture);
    for (unsigned int* framebuffer : {&m_framebuffer, &m_queryFramebuffer})
        if (*framebuffer)
            glDeleteFramebuffersEXT(1, framebuffer);
    for (unsigned int* renderbuffer : {&m_depthRenderbuffer, &m_queryColor, &m_queryDepth})
        if (*renderbuffer)
            glDeleteRenderbuffersEXT(1, renderbuffer);
}

std::string VolumeRenderer::GetShaderFolder() const
{
    return ResourcePath::GetResourcePath() + "Shaders/";
}

void VolumeRenderer::GetTransferWindows(int* windows) const
{
    windows[0] = m_windowA[0];
    windows[1] = m_windowA[1];
    windows[2] = m_windowB[0];
    windows[3] = m_windowB[1];
}

void VolumeRenderer::SetTransferFunction(int lowA, int highA, int lowB, int highB)
{
    ClampWindow(lowA, highA);
    ClampWindow(lowB, highB);
    m_windowA[0] = lowA;
    m_windowA[1] = highA;
    m_windowB[0] = lowB;
    m_windowB[1] = highB;
    m_transferChanged = true;
}

const Colormap* VolumeRenderer::GetColormap()
{
    if (!m_colormap)
        m_colormap = m_view->GetModel()->GetAtlas()->GetGeneColorModes().GetGreenRedColormap();
    return m_colormap;
}

void VolumeRenderer::VolumeReplaced()
{
    m_currentVolume = m_ownImage.get();
    std::fill(m_volumeSize, m_volumeSize + 3, 0u);
    std::fill(m_volumeTextureFraction, m_volumeTextureFraction + 3, 0.0f);
    m_volumeChanged = true;
}

void VolumeRenderer::LoadVolume(const float* values, const unsigned int* size, const float* resolution, float scale,
                                bool replace, const float* colorHint)
{
    if (!values && std::uint64_t(size[0]) * size[1] * size[2] != 0)
        throw std::invalid_argument("Volume renderer could not load volume--no voxels.");
    const bool accumulate = m_currentVolume == m_ownImage.get() && !replace;
    if (accumulate)
    {
        if (!std::equal(size, size + 3, m_ownImage->GetSize()))
            throw std::runtime_error("Volume renderer could not load volume--size is inconsistent.");
        if (!std::equal(resolution, resolution + 3, m_ownImage->GetResolution()))
            throw std::runtime_error("Volume renderer could not load volume--resolution is inconsistent.");
    }
    else
        m_ownImage->Allocate(size, resolution); // refuses sizes past the image limit before allocating
    const std::size_t count = m_ownImage->GetNumVoxels();
    auto* voxels = static_cast<unsigned char*>(m_ownImage->GetBuffer());
    if (accumulate)
    {
        for (std::size_t i = 0; i < count; ++i)
            voxels[i] = std::max(voxels[i], Quantise(values[i], scale));
    }
    else
    {
        for (std::size_t i = 0; i < count; ++i)
            voxels[i] = Quantise(values[i], scale);
    }
    VolumeReplaced();
    if (colorHint)
        GetColormap();
}

void VolumeRenderer::LoadVolumeFile(const char* path, const unsigned int* size, const float* resolution, bool isFloat,
                                    float scale)
{
    const std::uint64_t count = std::uint64_t(size[0]) * size[1] * size[2];
    if (isFloat)
    {
        // The 8-bit image the floats become has the image limit; checked before anything is allocated.
        if (count > Image3d::MAX_IMAGE_BYTES)
            throw std::runtime_error("Invalid image dimension");
        std::fstream file;
        OpenStream(file, path, std::ios_base::in | std::ios_base::binary);
        if (!file.is_open())
            throw std::runtime_error("Could not open image file.");
        std::vector<float> buffer(static_cast<std::size_t>(count));
        const auto bytes = static_cast<std::streamsize>(count * sizeof(float));
        if (!file.read(reinterpret_cast<char*>(buffer.data()), bytes) || file.gcount() != bytes)
            throw std::runtime_error("Could not read image file.");
        LoadVolume(buffer.data(), size, resolution, scale, true, nullptr);
        return;
    }
    // Read beside the current image, so that a failure keeps what is drawn.
    std::shared_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char));
    if (!image->Load(path, size, resolution, false, nullptr))
        throw std::runtime_error("Could not load image volume for rendering.");
    m_ownImage = std::move(image);
    VolumeReplaced();
}

void VolumeRenderer::EraseVolume()
{
    m_currentVolume = nullptr;
}

void VolumeRenderer::LoadVolumeTexture(const Image3d* volume, unsigned int factor, bool smooth)
{
    if (volume->GetPixelType() != typeid(unsigned char) || factor == 0)
        throw std::runtime_error("Could not create 3d texture for volume rendering.");
    const unsigned int* size = volume->GetSize();
    for (;; factor *= 2)
    {
        GLint sides[3] = {0, 0, 0};
        for (int axis = 0; axis < 3; ++axis)
        {
            const unsigned int reduced = size[axis] / factor;
            if (reduced == 0)
                throw std::runtime_error("Could not create 3d texture for volume rendering.");
            sides[axis] = nextPower2(static_cast<float>(reduced), 256);
        }
        glTexImage3D(GL_PROXY_TEXTURE_3D, 0, GL_RGBA8, sides[0], sides[1], sides[2], 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        CheckGLError("3d texture proxy load", true);
        GLint fits[3] = {0, 0, 0};
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &fits[0]);
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &fits[1]);
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &fits[2]);
        CheckGLError("3d texture proxy read", true);
        if (fits[0] > 0 && fits[1] > 0 && fits[2] > 0)
            break;
    }
    const Image3d* upload = volume;
    std::unique_ptr<Image3d> reduced;
    if (factor > 1)
    {
        reduced = Image3d::CreateImage(typeid(unsigned char));
        volume->Subsample(static_cast<int>(factor / 2), *reduced, smooth);
        upload = reduced.get();
    }
    GLint sides[3];
    for (int axis = 0; axis < 3; ++axis)
    {
        m_volumeSize[axis] = upload->GetSize(axis);
        sides[axis] = nextPower2(static_cast<float>(m_volumeSize[axis]), 256);
        m_volumeTextureFraction[axis] = static_cast<float>(m_volumeSize[axis]) / static_cast<float>(sides[axis]);
    }
    glBindTexture(GL_TEXTURE_3D, m_volumeTexture);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_LUMINANCE8, sides[0], sides[1], sides[2], 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                 nullptr);
    CheckGLError("3d texture initialization", true);
    const auto s = reinterpret_cast<const GLint*>(m_volumeSize);
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, s[0], s[1], s[2], GL_LUMINANCE, GL_UNSIGNED_BYTE, upload->GetBuffer());
    // Only the texels next to the voxels are ever sampled (by the linear filter at the volume's far faces):
    // zeroing that shell instead of the whole texture saves a buffer of the texture's size.
    std::vector<unsigned char> zeros(static_cast<std::size_t>(sides[0]) * sides[1] * 2, 0);
    zeros.resize(std::max<std::size_t>(zeros.size(), static_cast<std::size_t>(sides[1]) * sides[2]));
    zeros.resize(std::max<std::size_t>(zeros.size(), static_cast<std::size_t>(sides[0]) * sides[2]));
    const GLint ex = std::min(s[0] + 1, sides[0]), ey = std::min(s[1] + 1, sides[1]), ez = std::min(s[2] + 1, sides[2]);
    if (s[0] < sides[0])
        glTexSubImage3D(GL_TEXTURE_3D, 0, s[0], 0, 0, 1, ey, ez, GL_LUMINANCE, GL_UNSIGNED_BYTE, zeros.data());
    if (s[1] < sides[1])
        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, s[1], 0, ex, 1, ez, GL_LUMINANCE, GL_UNSIGNED_BYTE, zeros.data());
    if (s[2] < sides[2])
        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, s[2], ex, ey, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, zeros.data());
    CheckGLError("3d texture load", true);
}

void VolumeRenderer::DrawRect(int width, int height)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    GLBegin quad(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex2f(w, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glColor3f(1.0f, 1.0f, 0.0f);
    glVertex2f(w, h);
    glTexCoord2f(0.0f, 1.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex2f(0.0f, h);
}

void VolumeRenderer::Display()
{
    Render(-1, -1);
}

float VolumeRenderer::GetDepth(int x, int y)
{
    return Render(x, y);
}

void VolumeRenderer::SetUpOffscreen()
{
    if (m_offscreenSize[0] != 0)
    {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_framebuffer);
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, m_depthRenderbuffer);
        return;
    }
    glGenFramebuffersEXT(1, &m_framebuffer);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_framebuffer);
    MakeImageTexture(m_backFaceTexture, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
    MakeImageTexture(m_imageTexture, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
    MakeImageTexture(m_depthTexture, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_NONE);
    glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE, GL_INTENSITY);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenRenderbuffersEXT(1, &m_depthRenderbuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, m_depthRenderbuffer);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, kImageSide, kImageSide);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, m_depthRenderbuffer);
    CheckGLError("off-screen set-up", true);
    m_offscreenSize[0] = m_offscreenSize[1] = kImageSide;
}

void VolumeRenderer::UpdateTransferTexture(bool maximumIntensity)
{
    if (!m_transferChanged && m_transferTexture)
        return;
    const Colormap* colormap = maximumIntensity ? GetColormap() : nullptr;
    const bool colours = colormap && colormap->entries.size() >= 3 * Colormap::NUM_ENTRIES;
    // The colour of ramp value c; without colours the grey of the compositing mode.
    const auto entry = [&](int c, unsigned char* out) {
        if (!maximumIntensity || !colours)
        {
            std::fill(out, out + 4, static_cast<unsigned char>(c));
            return;
        }
        std::copy_n(&colormap->entries[3 * static_cast<std::size_t>(c)], 3, out);
        const int mean = (out[0] + out[1] + out[2]) / 3;
        out[3] = static_cast<unsigned char>(std::min(255, static_cast<int>(mean * 1.5)));
    };
    unsigned char table[256 * 4];
    const float step = 255.0f / static_cast<float>(m_windowA[1] - m_windowA[0]);
    float t = 0.0f;
    for (int i = 0; i < 256; ++i)
    {
        unsigned char* out = table + 4 * i;
        if (i < m_windowA[0])
            std::fill(out, out + 4, 0);
        else if (i < m_windowA[1])
        {
            int c = 0;
            if (maximumIntensity)
                c = t < static_cast<float>(m_windowB[0]) ? 0 : t > static_cast<float>(m_windowB[1]) ? 255 : int(t);
            else
                c = t <= static_cast<float>(m_windowB[0]) ? 0 : t >= static_cast<float>(m_windowB[1]) ? 255 : int(t);
            entry(c, out);
            t += step;
        }
        else
            entry(255, out);
    }
    if (!m_transferTexture)
        glGenTextures(1, &m_transferTexture);
    glBindTexture(GL_TEXTURE_1D, m_transferTexture);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GLEW_VERSION_1_2 ? GL_CLAMP_TO_EDGE : GL_CLAMP);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA8, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, table);
    glBindTexture(GL_TEXTURE_1D, 0);
    CheckGLError("transfer function", true);
    m_transferChanged = false;
}

void VolumeRenderer::UpdateVolumeTexture()
{
    if (!m_volumeChanged)
        return;
    if (!m_volumeTexture)
        glGenTextures(1, &m_volumeTexture);
    glBindTexture(GL_TEXTURE_3D, m_volumeTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (const GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
        glTexParameteri(GL_TEXTURE_3D, wrap, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const float border[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glTexParameterfv(GL_TEXTURE_3D, GL_TEXTURE_BORDER_COLOR, border);
    CheckGLError("3d texture setup", true);
    const unsigned int* size = m_currentVolume->GetSize();
    const unsigned int largest = std::max({size[0], size[1], size[2]});
    unsigned int factor = 1;
    if (largest > kMaxSide)
        factor = static_cast<unsigned int>(nextPower2(static_cast<float>(largest) / kMaxSide, 0));
    std::fill(m_volumeSize, m_volumeSize + 3, 0u);
    for (int attempt = 0; attempt < kUploadAttempts; ++attempt, factor *= 2)
    {
        try
        {
            LoadVolumeTexture(m_currentVolume, factor, true);
            break;
        }
        catch (...)
        {
            // Tried again smaller; after the last attempt nothing is drawn and nothing is said.
            std::fill(m_volumeSize, m_volumeSize + 3, 0u);
        }
    }
    glBindTexture(GL_TEXTURE_3D, 0);
    m_volumeChanged = false;
    if (m_volumeSize[0] == 0)
        return;
    const unsigned int* grid = m_view->GetAtlasSpace()->GetViewDimensions();
    const float d[3] = {float(grid[0]), float(grid[1]), float(grid[2])};
    m_stepSize = 0.5f * (static_cast<float>(largest) / kMaxSide) * (d[0] / static_cast<float>(m_volumeSize[0]));
    // At most kMaxSide steps across the grid.
    const float diagonal = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(m_stepSize > 0.0f) || diagonal / m_stepSize > kMaxSide)
        m_stepSize = diagonal / kMaxSide;
}

void VolumeRenderer::BuildPrograms(bool maximumIntensity)
{
    const std::string folder = GetShaderFolder();
    const auto build = [&](std::unique_ptr<GLShaderProgram>& program, const char* vertex, const char* fragment) {
        if (program)
            return;
        auto made = std::make_unique<GLShaderProgram>();
        made->LoadShaderFile(GL_VERTEX_SHADER, folder + vertex);
        if (fragment)
            made->LoadShaderFile(GL_FRAGMENT_SHADER, folder + fragment);
        made->Link();
        program = std::move(made);
    };
    build(m_backFaceProgram, "raycast_vertex_back.vs", nullptr);
    build(m_rayCastProgram, "raycast_vertex.vs",
          maximumIntensity ? "raycast_fragment_mip.frag" : "raycast_fragment.frag");
    build(m_depthProgram, "raycast_vertex.vs", "depth_fragment.frag");
}

void VolumeRenderer::DrawBackFaces(AtlasCube& cube)
{
    BrainExpressionModel* model = m_view->GetModel();
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, m_backFaceTexture, 0);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, m_depthTexture, 0);
    CheckFramebuffer("Back face framebuffer object not ready.");
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    cube.Draw();
    glDisable(GL_CULL_FACE);
    cube.DrawPlanes(model);
    m_backFaceProgram->Bind();
    const unsigned int* grid = m_view->GetAtlasSpace()->GetViewDimensions();
    const float d[3] = {float(grid[0]), float(grid[1]), float(grid[2])};
    SetUniform(*m_backFaceProgram, "volumeSize", d);
    if (model->GetMeshDisplayStyle() != 1)
    {
        m_view->SetupClipping(true);
        m_view->GetAtlasSpace()->GetBrainMeshes()->Draw(model->GetStructureSelector(), model->GetSelectedStructure(),
                                                        false, 0, 0, 0);
        m_view->SetupClipping(false);
    }
    m_backFaceProgram->Unbind();
}

void VolumeRenderer::CastRays(AtlasCube& cube)
{
    glEnable(GL_CULL_FACE);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, m_imageTexture, 0);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, m_depthTexture, 0);
    CheckFramebuffer("Depth framebuffer object not ready.");
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    m_rayCastProgram->Bind();
    const GLuint program = *m_rayCastProgram;
    const unsigned int* grid = m_view->GetAtlasSpace()->GetViewDimensions();
    const float d[3] = {float(grid[0]), float(grid[1]), float(grid[2])};
    SetUniform(program, "stepSize", m_stepSize);
    SetUniform(program, "transparency", m_transparency);
    SetUniform(program, "volumeSize", d);
    SetUniform(program, "volumeTextureFraction", m_volumeTextureFraction);
    SetSampler(program, "dataVolume", 0);
    SetSampler(program, "backFace", 1);
    SetSampler(program, "transferFunction", 2);
    BindTexture(0, GL_TEXTURE_3D, m_volumeTexture);
    BindTexture(1, GL_TEXTURE_2D, m_backFaceTexture);
    BindTexture(2, GL_TEXTURE_1D, m_transferTexture);
    glCullFace(GL_BACK);
    cube.Draw();
    glDisable(GL_CULL_FACE);
    m_rayCastProgram->Unbind();
    BindTexture(2, GL_TEXTURE_1D, 0);
    BindTexture(1, GL_TEXTURE_2D, 0);
    BindTexture(0, GL_TEXTURE_3D, 0);
}

void VolumeRenderer::SetUpQueryFramebuffer(int width, int height)
{
    if (m_queryFramebuffer && m_querySize[0] == width && m_querySize[1] == height)
    {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_queryFramebuffer);
        return;
    }
    if (!m_queryFramebuffer)
    {
        glGenFramebuffersEXT(1, &m_queryFramebuffer);
        glGenRenderbuffersEXT(1, &m_queryColor);
        glGenRenderbuffersEXT(1, &m_queryDepth);
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, m_queryFramebuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, m_queryColor);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, m_queryDepth);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, m_queryColor);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, m_queryDepth);
    CheckGLError("depth query framebuffer", true);
    CheckFramebuffer("Depth framebuffer object not ready.");
    m_querySize[0] = width;
    m_querySize[1] = height;
}

void VolumeRenderer::Composite(bool query, bool maximumIntensity)
{
    GLDisplay* display = m_view->GetRenderer()->GetContext();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (query)
    {
        {
            // The caller's viewport is in device pixels: so is the buffer that it draws into.
            const DevicePixels pixels(display);
            SetUpQueryFramebuffer(pixels.ToDevice(display->GetWidth()), pixels.ToDevice(display->GetHeight()));
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            maximumIntensity = false;
        }
    }
    else
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, display->GetDefaultFramebuffer());
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, m_view->GetWidth(), 0, m_view->GetHeight());
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    if (maximumIntensity)
        glDepthMask(GL_FALSE);
    m_depthProgram->Bind();
    SetSampler(*m_depthProgram, "imageTexture", 0);
    SetSampler(*m_depthProgram, "depthMap", 1);
    BindTexture(1, GL_TEXTURE_2D, m_depthTexture);
    BindTexture(0, GL_TEXTURE_2D, m_imageTexture);
    DrawRect(m_view->GetWidth(), m_view->GetHeight());
    BindTexture(1, GL_TEXTURE_2D, 0);
    BindTexture(0, GL_TEXTURE_2D, 0);
    if (maximumIntensity)
        glDepthMask(GL_TRUE);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    m_depthProgram->Unbind();
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
}

float VolumeRenderer::ReadDepth(int x, int y)
{
    glFlush();
    float depth = 1.0f;
    if (x < m_querySize[0] && y < m_querySize[1])
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    CheckGLError("depth query", true);
    return depth;
}

float VolumeRenderer::Render(int x, int y)
{
    if (!m_currentVolume)
        return 1.0f;
    if (!GLEW_VERSION_2_0)
        throw std::runtime_error("OpenGL 2.0 required.");
    if (!GLEW_EXT_framebuffer_object)
        throw std::runtime_error("OpenGL framebuffer extension not available.");
    const bool maximumIntensity = m_ownImage->IsOpen();
    const bool query = x >= 0 && y >= 0;
    // Whatever happens, the window's framebuffer, the caller's viewport and clear colour come back.
    GLint viewport[4];
    GLfloat clearColor[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
    const unsigned int window = m_view->GetRenderer()->GetContext()->GetDefaultFramebuffer();
    struct Restore
    {
        const GLint* viewport;
        const GLfloat* clearColor;
        unsigned int window;
        ~Restore()
        {
            glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, window);
            glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
            glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
        }
    } restore{viewport, clearColor, window};

    SetUpOffscreen();
    UpdateTransferTexture(maximumIntensity);
    UpdateVolumeTexture();
    // Nothing could be uploaded: nothing to draw, and the step would divide by a size of 0.
    if (m_volumeSize[0] == 0)
        return 1.0f;
    BuildPrograms(maximumIntensity);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    AtlasCube cube(m_view->GetModel(), m_view->GetAtlasSpace(), m_volumeTextureFraction);
    glViewport(0, 0, m_offscreenSize[0], m_offscreenSize[1]);
    DrawBackFaces(cube);
    CastRays(cube);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    Composite(query, maximumIntensity);
    if (!query)
        return 0.0f;
    const DevicePixels pixels(m_view->GetRenderer()->GetContext());
    return ReadDepth(pixels.CentreOf(x), pixels.CentreOf(y));
}
