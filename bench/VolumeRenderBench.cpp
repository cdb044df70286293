// Frame time of the volume ray caster on the GL at hand (llvmpipe under Xvfb) at 1024 x 768, beside the
// same ray caster without its shortcuts (one pass at full window resolution, half-voxel steps, no
// 512 x 512 image, no cap on the number of steps) and beside numpy's maximum intensity projection of the
// same rays.
//
// It generates the demo atlas 310 (view grid 133 x 81 x 115) and draws two volumes into a framebuffer
// object with no rotation: one of the grid's size and one of 256 x 256 x 256, both a smooth field with
// noise. It prints milliseconds per frame and the ratios.
//
// Arguments: [frames]

#include "SceneBenchSupport.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/Image3d.h"
#include "core/ResourcePath.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLShaderProgram.h"
#include "scene/AtlasCube.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"
#include "scene/VolumeRenderer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace scenebench;

// A smooth ellipsoidal field with hashed noise, in 0..1.
std::vector<float> Field(const unsigned int* size)
{
    std::vector<float> values(std::size_t(size[0]) * size[1] * size[2]);
    std::size_t i = 0;
    for (unsigned int z = 0; z < size[2]; ++z)
        for (unsigned int y = 0; y < size[1]; ++y)
            for (unsigned int x = 0; x < size[0]; ++x, ++i)
            {
                const float dx = 2.0f * x / size[0] - 1, dy = 2.0f * y / size[1] - 1, dz = 2.0f * z / size[2] - 1;
                const unsigned int hash = (x * 73856093u) ^ (y * 19349663u) ^ (z * 83492791u);
                const float r = dx * dx + dy * dy + dz * dz;
                values[i] = r > 1.0f ? 0.0f : (1.0f - r) * (0.6f + 0.4f * float(hash % 1000) / 1000.0f);
            }
    return values;
}

std::string ReadText(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The same maximum intensity shaders, cast straight into the window: back faces at full window size,
// then the front faces with half-voxel steps and no cap.
class PlainRayCaster
{
public:
    explicit PlainRayCaster(const std::string& shaders)
    {
        std::string fragment = ReadText(shaders + "raycast_fragment_mip.frag");
        const std::string image = "const vec2 kImageSize = vec2(512.0, 512.0);";
        const std::size_t at = fragment.find(image);
        if (at == std::string::npos)
            throw std::runtime_error("the ray-casting shader has no image size to replace");
        fragment.replace(at, image.size(),
                         "const vec2 kImageSize = vec2(" + std::to_string(kWidth) + ".0, " + std::to_string(kHeight) +
                             ".0);");
        m_program.LoadShader(GL_VERTEX_SHADER, ReadText(shaders + "raycast_vertex.vs").c_str());
        m_program.LoadShader(GL_FRAGMENT_SHADER, fragment.c_str());
        m_program.Link();
        glGenFramebuffers(1, &m_framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glGenTextures(1, &m_backFace);
        glBindTexture(GL_TEXTURE_2D, m_backFace);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_backFace, 0);
        glGenRenderbuffers(1, &m_depth);
        glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kWidth, kHeight);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    ~PlainRayCaster()
    {
        glDeleteRenderbuffers(1, &m_depth);
        glDeleteTextures(1, &m_backFace);
        glDeleteFramebuffers(1, &m_framebuffer);
    }

    void Display(BrainSceneView& view, const VolumeRenderer& volume, unsigned int window)
    {
        const unsigned int* grid = view.GetAtlasSpace()->GetViewDimensions();
        const float d[3] = {float(grid[0]), float(grid[1]), float(grid[2])};
        AtlasCube cube(view.GetModel(), view.GetAtlasSpace(), volume.GetVolumeTextureFraction());
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_FRONT);
        cube.Draw();
        glBindFramebuffer(GL_FRAMEBUFFER, window);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        m_program.Bind();
        const GLuint program = m_program;
        glUniform1f(glGetUniformLocation(program, "stepSize"), 0.5f * d[0] / float(volume.GetVolumeSize()[0]));
        glUniform1f(glGetUniformLocation(program, "transparency"), 0.7f);
        glUniform3fv(glGetUniformLocation(program, "volumeSize"), 1, d);
        glUniform3fv(glGetUniformLocation(program, "volumeTextureFraction"), 1, volume.GetVolumeTextureFraction());
        glUniform1i(glGetUniformLocation(program, "dataVolume"), 0);
        glUniform1i(glGetUniformLocation(program, "backFace"), 1);
        glUniform1i(glGetUniformLocation(program, "transferFunction"), 2);
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_1D, volume.GetTransferTexture());
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, m_backFace);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_3D, volume.GetVolumeTexture());
        glCullFace(GL_BACK);
        cube.Draw();
        glDisable(GL_CULL_FACE);
        m_program.Unbind();
        glBindTexture(GL_TEXTURE_3D, 0);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }

private:
    GLShaderProgram m_program;
    GLuint m_framebuffer = 0, m_backFace = 0, m_depth = 0;
};

double NumpyMilliseconds(const Image3d& image, int rounds)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "corvane-bench-volume.raw";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(static_cast<const char*>(image.GetBuffer()), static_cast<std::streamsize>(image.GetNumVoxels()));
    }
    const std::string command = std::string("'") + CORVANE_PYTHON + "' '" + CORVANE_SOURCE_DIR +
                                "/bench/volume_mip_numpy.py' '" + file.string() + "' " +
                                std::to_string(image.GetSize(0)) + " " + std::to_string(image.GetSize(1)) + " " +
                                std::to_string(image.GetSize(2)) + " " + std::to_string(kWidth) + " " +
                                std::to_string(kHeight) + " " + std::to_string(rounds);
    FILE* pipe = popen(command.c_str(), "r");
    double ms = -1;
    if (!pipe || std::fscanf(pipe, "%lf", &ms) != 1)
        ms = -1;
    if (pipe)
        pclose(pipe);
    std::filesystem::remove(file);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 10;
    return RunOnScene(
        "bench_volume", [&](BrainExpressionModel& model, BrainSceneRenderer& renderer, GLuint framebuffer) {
            const BrainOntology& ontology = *model.GetAtlas()->GetOntology();
            model.SetCompassLocation(BrainExpressionModel::COMPASS_HIDDEN, false);
            model.SetStructureSelector(BrainExpressionModel::Selector(ontology.GetNumLabels(), false), false);
            for (int plane = 0; plane < 3; ++plane)
                model.SetMPRPlaneVisible(Image3dPlane::Plane(plane), false, false);
            BrainSceneView& view = *renderer.GetViews().front();
            const unsigned int* grid = view.GetAtlasSpace()->GetViewDimensions();
            const float* spacing = view.GetAtlasSpace()->GetViewResolution();
            std::printf("view grid: %u x %u x %u, view %d x %d\n", grid[0], grid[1], grid[2], view.GetWidth(),
                        view.GetHeight());
            PlainRayCaster plain(ResourcePath::GetResourcePath() + "Shaders/");
            const auto prepare = [&] {
                glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
                glClearColor(0, 0, 0, 0);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                view.SetupViewPort();
                view.DoViewTransforms();
            };

            const unsigned int cube[3] = {256, 256, 256};
            for (const unsigned int* size : {grid, cube})
            {
                float resolution[3];
                for (int axis = 0; axis < 3; ++axis)
                    resolution[axis] = spacing[axis] * float(grid[axis]) / float(size[axis]);
                const std::vector<float> values = Field(size);
                VolumeRenderer volume(&view);
                volume.LoadVolume(values.data(), size, resolution, 1.0f, true, nullptr);
                const double part = Average(frames, [&] {
                    prepare();
                    volume.Display();
                });
                const double bare = Average(frames, [&] {
                    prepare();
                    plain.Display(view, volume, framebuffer);
                });
                const double numpy = NumpyMilliseconds(volume.GetOwnImage(), frames);
                std::printf("\nvolume %u x %u x %u (step %.3f view units, plain %.3f)\n", size[0], size[1], size[2],
                            volume.GetStepSize(), 0.5f * grid[0] / float(volume.GetVolumeSize()[0]));
                std::printf("ray caster:       %8.2f ms\n", part);
                std::printf("plain ray caster: %8.2f ms  (%.2f x the ray caster)\n", bare, bare / part);
                std::printf("numpy MIP:        %8.2f ms  (%.2f x the ray caster)\n", numpy, numpy / part);
                std::printf("goal: at least 2 x faster than the plain one: %s\n", bare >= 2 * part ? "met" : "missed");
            }
        });
}
