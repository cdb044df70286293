#include "SceneFixture.h"
#include "SceneOracle.h"

#include "atlas/Colormap.h"
#include "atlas/GeneColorModes.h"
#include "core/Image3d.h"
#include "scene/VolumeRenderer.h"

#include <GL/glu.h>

#include <cmath>
#include <limits>

namespace
{

using namespace scenetest;

// A renderer whose shaders come from a folder of the test's choice.
class FolderRenderer : public VolumeRenderer
{
public:
    FolderRenderer(BrainSceneView* view, std::string folder)
        : VolumeRenderer(view)
        , m_folder(std::move(folder))
    {
    }

protected:
    std::string GetShaderFolder() const override { return m_folder; }

private:
    std::string m_folder;
};

// The scene of atlas 310 (grid 133 x 81 x 115) in a 512 x 512 display drawn into a framebuffer of that size,
// looking along the grid's third axis, without slices or meshes in the rays' way.
class VolumeRendererTest : public SceneTest
{
protected:
    static constexpr int kSide = 512;

    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MakeScene(Installed(310), kSide, kSide);
        screen = std::make_unique<GLTestFramebuffer>(kSide, kSide);
        screen->Bind();
        display->SetDefaultFramebuffer(screen->GetName());
        for (int plane = 0; plane < 3; ++plane)
            model->SetMPRPlaneVisible(Image3dPlane::Plane(plane), false, false);
        model->SetStructureSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), false), false);
        const unsigned int* grid = Space()->GetViewDimensions();
        std::copy_n(grid, 3, size);
        std::copy_n(Space()->GetViewResolution(), 3, resolution);
    }

    void TearDown() override
    {
        screen.reset();
        Framebuffer().Bind();
        SceneTest::TearDown();
    }

    // The view's camera, then the clear screen.
    void Prepare()
    {
        BrainSceneView& view = View(0);
        view.SetupViewPort();
        view.DoViewTransforms();
        glEnable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // Values of the grid's size, one byte each (stored as the middle of their quantisation step).
    std::vector<float> Grid(const std::function<int(unsigned int, unsigned int, unsigned int)>& value) const
    {
        std::vector<float> values;
        values.reserve(std::size_t(size[0]) * size[1] * size[2]);
        for (unsigned int z = 0; z < size[2]; ++z)
            for (unsigned int y = 0; y < size[1]; ++y)
                for (unsigned int x = 0; x < size[0]; ++x)
                    values.push_back((static_cast<float>(value(x, y, z)) + 0.5f) / 255.0f);
        return values;
    }

    std::vector<unsigned char> TransferTable(const VolumeRenderer& volume)
    {
        std::vector<unsigned char> table(256 * 4);
        glBindTexture(GL_TEXTURE_1D, volume.GetTransferTexture());
        glGetTexImage(GL_TEXTURE_1D, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
        glBindTexture(GL_TEXTURE_1D, 0);
        return table;
    }

    const Colormap& GreenRed() { return *model->GetAtlas()->GetGeneColorModes().GetGreenRedColormap(); }

    std::unique_ptr<GLTestFramebuffer> screen;
    unsigned int size[3] = {0, 0, 0};
    float resolution[3] = {0, 0, 0};
};

TEST_F(VolumeRendererTest, TransferWindowsAreClampedAndNeverEmpty)
{
    VolumeRenderer volume(&View(0));
    struct Case
    {
        int in[4], out[4];
    };
    const Case cases[] = {
        {{300, -5, 10, 10}, {255, 1, 9, 10}}, {{25, 250, 0, 255}, {25, 250, 0, 255}},     {{5, 5, 0, 0}, {4, 5, 0, 1}},
        {{0, 0, 7, 3}, {0, 1, 2, 3}},         {{-20, 400, 256, 256}, {0, 255, 254, 255}},
    };
    for (const Case& c : cases)
    {
        volume.SetTransferFunction(c.in[0], c.in[1], c.in[2], c.in[3]);
        int stored[4];
        volume.GetTransferWindows(stored);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(c.out[k], stored[k]) << c.in[0] << " " << c.in[1] << " " << c.in[2] << " " << c.in[3];
    }
}

TEST_F(VolumeRendererTest, TransferTableMatchesNumpy)
{
    REQUIRE_ORACLE();
    const Colormap& colours = GreenRed();
    ASSERT_GE(colours.entries.size(), 768u) << "the atlas's green-red colormap holds colours";
    const std::vector<float> values = Grid([](unsigned int x, unsigned int, unsigned int) { return x % 256; });
    std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char), size, resolution);
    const int windows[][4] = {
        {25, 250, 0, 255}, {300, -5, 10, 10}, {0, 255, 0, 255}, {100, 101, 50, 200}, {10, 200, 60, 120}, {0, 30, 0, 3},
    };
    for (const bool mip : {true, false})
    {
        VolumeRenderer loaded(&View(0));
        loaded.LoadVolume(values.data(), size, resolution, 1.0f, true, nullptr);
        VolumeRenderer handed(&View(0), image.get());
        VolumeRenderer& volume = mip ? loaded : handed;
        for (const auto& w : windows)
        {
            SCOPED_TRACE(std::string(mip ? "maximum intensity " : "compositing ") + std::to_string(w[0]) + " " +
                         std::to_string(w[1]) + " " + std::to_string(w[2]) + " " + std::to_string(w[3]));
            volume.SetTransferFunction(w[0], w[1], w[2], w[3]);
            Prepare();
            volume.Display();
            int stored[4];
            volume.GetTransferWindows(stored);
            std::ostringstream json;
            json << "{\"mip\": " << (mip ? "true" : "false") << ", \"windows\": " << JsonArray(stored, stored + 4)
                 << ", \"colormap\": " << JsonArray(colours.entries.begin(), colours.entries.begin() + 768) << "}";
            const std::vector<unsigned char> expected = RunOracle("transfer", json.str());
            const std::vector<unsigned char> table = TransferTable(volume);
            ASSERT_EQ(expected.size(), table.size());
            for (std::size_t i = 0; i < table.size(); ++i)
                ASSERT_EQ(+expected[i], +table[i]) << "entry " << i / 4 << ", channel " << i % 4;
            if (stored[0] == 255)
            {
                for (std::size_t i = 0; i < 255 * 4; ++i)
                {
                    ASSERT_EQ(0, table[i]) << "below 255 everything is transparent black";
                }
            }
        }
    }
}

TEST_F(VolumeRendererTest, LoadsQuantiseAndKeepTheMaximum)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const unsigned int small[3] = {10, 1, 1};
    const float spacing[3] = {1, 1, 1};
    const float first[10] = {-1, 0, 0.1f, 0.5f, 0.999f, 1, 2, nan, inf, -inf};
    const float second[10] = {0.2f, 0.05f, 0, 0.9f, 0, 0, 0, 0.3f, 0, nan};
    VolumeRenderer volume(&View(0));
    volume.LoadVolume(first, small, spacing, 1.0f, false, nullptr);
    ASSERT_EQ(&volume.GetOwnImage(), volume.GetCurrentVolume());
    const auto voxels = [&] {
        const auto* bytes = static_cast<const unsigned char*>(volume.GetOwnImage().GetBuffer());
        return std::vector<int>(bytes, bytes + volume.GetOwnImage().GetNumVoxels());
    };
    EXPECT_EQ((std::vector<int>{0, 0, 25, 127, 254, 255, 255, 0, 255, 0}), voxels());
    volume.LoadVolume(second, small, spacing, 1.0f, false, nullptr);
    EXPECT_EQ((std::vector<int>{51, 12, 25, 229, 254, 255, 255, 76, 255, 0}), voxels());
    // Scaled, and replacing what was there.
    volume.LoadVolume(second, small, spacing, 2.0f, true, nullptr);
    EXPECT_EQ((std::vector<int>{102, 25, 0, 255, 0, 0, 0, 153, 0, 0}), voxels());

    // Grids that disagree are refused and leave the volume as it was.
    const unsigned int other[3] = {5, 2, 1};
    const float wider[3] = {1, 1, 2};
    EXPECT_EQ("Volume renderer could not load volume--size is inconsistent.",
              ErrorOf([&] { volume.LoadVolume(second, other, spacing, 1.0f, false, nullptr); }));
    EXPECT_EQ("Volume renderer could not load volume--resolution is inconsistent.",
              ErrorOf([&] { volume.LoadVolume(second, small, wider, 1.0f, false, nullptr); }));
    EXPECT_EQ((std::vector<int>{102, 25, 0, 255, 0, 0, 0, 153, 0, 0}), voxels());
    // After an erase the next load replaces, whatever its grid.
    volume.EraseVolume();
    EXPECT_EQ(nullptr, volume.GetCurrentVolume());
    EXPECT_EQ(1.0f, volume.GetDepth(10, 10));
    volume.LoadVolume(first, other, spacing, 1.0f, false, nullptr);
    EXPECT_EQ(5u, volume.GetOwnImage().GetSize(0));
    EXPECT_EQ(2u, volume.GetOwnImage().GetSize(1));
}

TEST_F(VolumeRendererTest, LoadsFiles)
{
    TempDir dir;
    const unsigned int small[3] = {4, 1, 1};
    const float spacing[3] = {1, 1, 1};
    const float floats[4] = {0.25f, 0.5f, 1.0f, -3.0f};
    const std::string good = dir.Write("good.raw", std::string(reinterpret_cast<const char*>(floats), 16));
    const std::string shortFile = dir.Write("short.raw", std::string(reinterpret_cast<const char*>(floats), 15));
    const std::string bytes = dir.Write("bytes.raw", std::string("\x01\x02\x03\x04", 4));
    VolumeRenderer volume(&View(0));
    volume.LoadVolumeFile(good.c_str(), small, spacing, true, 1.0f);
    const auto* voxels = static_cast<const unsigned char*>(volume.GetOwnImage().GetBuffer());
    EXPECT_EQ((std::vector<int>{63, 127, 255, 0}), std::vector<int>(voxels, voxels + 4));

    const unsigned int huge[3] = {65536, 65536, 65536};
    struct Case
    {
        std::string path;
        const unsigned int* size;
        bool isFloat;
        const char* message;
    };
    const Case cases[] = {
        {dir.File("missing.raw"), small, true, "Could not open image file."},
        {shortFile, small, true, "Could not read image file."},
        {good, huge, true, "Invalid image dimension"},
        {dir.File("missing.raw"), small, false, "Could not load image volume for rendering."},
        {shortFile, huge, false, "Could not load image volume for rendering."},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.message, ErrorOf([&] { volume.LoadVolumeFile(c.path.c_str(), c.size, spacing, c.isFloat, 1.0f); }))
            << c.path;
        const auto* kept = static_cast<const unsigned char*>(volume.GetOwnImage().GetBuffer());
        EXPECT_EQ((std::vector<int>{63, 127, 255, 0}), std::vector<int>(kept, kept + 4)) << c.path;
    }
    volume.LoadVolumeFile(bytes.c_str(), small, spacing, false, 1.0f);
    voxels = static_cast<const unsigned char*>(volume.GetOwnImage().GetBuffer());
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), std::vector<int>(voxels, voxels + 4));
    EXPECT_EQ(&volume.GetOwnImage(), volume.GetCurrentVolume());
}

TEST_F(VolumeRendererTest, TextureSides)
{
    struct Case
    {
        unsigned int size[3];
        int sides[3];
    };
    const Case cases[] = {
        {{20, 30, 40}, {256, 256, 256}},
        {{300, 16, 257}, {512, 256, 512}},
        // Past 512 the first try is at half size, which fits; it is then uploaded whole.
        {{600, 16, 16}, {1024, 256, 256}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.size[0]) + " x " + std::to_string(c.size[1]) + " x " + std::to_string(c.size[2]));
        std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char), c.size, resolution);
        VolumeRenderer volume(&View(0), image.get());
        Prepare();
        volume.Display();
        GLint sides[3] = {0, 0, 0};
        glBindTexture(GL_TEXTURE_3D, volume.GetVolumeTexture());
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &sides[0]);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &sides[1]);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &sides[2]);
        glBindTexture(GL_TEXTURE_3D, 0);
        for (int axis = 0; axis < 3; ++axis)
        {
            EXPECT_EQ(c.sides[axis], sides[axis]) << axis;
            EXPECT_EQ(c.size[axis], volume.GetVolumeSize()[axis]) << axis;
            EXPECT_FLOAT_EQ(float(c.size[axis]) / float(c.sides[axis]), volume.GetVolumeTextureFraction()[axis]);
        }
        // At most 512 steps across the grid's diagonal.
        const float diagonal = std::sqrt(float(size[0] * size[0] + size[1] * size[1] + size[2] * size[2]));
        EXPECT_GE(volume.GetStepSize(), diagonal / 512 - 1e-5f);
    }
}

TEST_F(VolumeRendererTest, DepthUnderThePointer)
{
    VolumeRenderer volume(&View(0));
    EXPECT_EQ(1.0f, volume.GetDepth(256, 256)) << "no volume";
    // A bright block in the middle of the grid.
    const std::vector<float> values = Grid([&](unsigned int x, unsigned int y, unsigned int z) {
        const bool inside = x > size[0] / 3 && x < 2 * size[0] / 3 && y > size[1] / 3 && y < 2 * size[1] / 3 &&
                            z > size[2] / 3 && z < 2 * size[2] / 3;
        return inside ? 200 : 0;
    });
    volume.LoadVolume(values.data(), size, resolution, 1.0f, true, nullptr);
    Prepare();
    GLdouble modelview[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble cx = 0, cy = 0, cz = 0;
    gluProject(size[0] / 2.0, size[1] / 2.0, size[2] / 2.0, modelview, projection, viewport, &cx, &cy, &cz);
    volume.Display();
    const std::vector<std::uint8_t> before = screen->ReadPixels();
    const float centre = volume.GetDepth(int(cx), int(cy));
    EXPECT_GT(centre, 0.0f);
    EXPECT_LT(centre, 1.0f);
    EXPECT_EQ(1.0f, volume.GetDepth(2, 2)) << "the cleared depth over empty space";
    EXPECT_EQ(1.0f, volume.GetDepth(kSide + 5, 3)) << "outside the window";
    EXPECT_TRUE(before == screen->ReadPixels()) << "a depth query leaves the screen alone";
    EXPECT_GT(screen->Pixel(int(cx), int(cy))[3], 0) << "the block is on screen";
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(GLint(screen->GetName()), bound) << "drawing goes on in the window's framebuffer";
}

TEST_F(VolumeRendererTest, ShadersBuildOrReportTheMissingFile)
{
    const std::vector<float> values = Grid([](unsigned int, unsigned int, unsigned int) { return 100; });
    // Both ray-casting shaders compile and link on this driver.
    std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char), size, resolution);
    VolumeRenderer composited(&View(0), image.get());
    VolumeRenderer projected(&View(0));
    projected.LoadVolume(values.data(), size, resolution, 1.0f, true, nullptr);
    for (VolumeRenderer* volume : {&composited, &projected})
    {
        Prepare();
        EXPECT_NO_THROW(volume->Display());
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError());
    }
    TempDir empty;
    FolderRenderer missing(&View(0), empty.Path() + "/");
    missing.LoadVolume(values.data(), size, resolution, 1.0f, true, nullptr);
    Prepare();
    EXPECT_EQ("File could not be opened.", ErrorOf([&] { missing.Display(); }));
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
    EXPECT_EQ(GLint(screen->GetName()), bound) << "a failed draw gives the window's framebuffer back";
}

TEST_F(VolumeRendererTest, MaximumIntensityPixelsMatchNumpy)
{
    REQUIRE_ORACLE();
    // Blocks of 4 x 3 columns, each with two layers along the rays.
    const auto block = [&](unsigned int x, unsigned int y, unsigned int z) {
        const unsigned int bx = 4 * x / size[0], by = 3 * y / size[1], bz = 2 * z / size[2];
        return static_cast<int>(30 + 15 * bx + 60 * by + (bz ? 20 * bx : 25));
    };
    const std::vector<float> values = Grid(block);
    VolumeRenderer volume(&View(0));
    volume.LoadVolume(values.data(), size, resolution, 1.0f, true, nullptr);
    model->SetZoom(50.0f, false); // the whole grid on screen
    Prepare();
    GLdouble modelview[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // With no rotation the grid's third axis points along the rays.
    ASSERT_NEAR(0.0, modelview[8], 1e-6);
    ASSERT_NEAR(0.0, modelview[9], 1e-6);
    volume.Display();

    TempDir dir;
    const Image3d& own = volume.GetOwnImage();
    const std::string voxels =
        dir.Write("volume.raw", std::string(static_cast<const char*>(own.GetBuffer()), own.GetNumVoxels()));
    int windows[4];
    volume.GetTransferWindows(windows);
    const Colormap& colours = GreenRed();
    std::ostringstream json;
    json << "{\"mip\": true, \"volume\": \"" << voxels << "\", \"size\": " << JsonArray(size, size + 3)
         << ", \"windows\": " << JsonArray(windows, windows + 4)
         << ", \"colormap\": " << JsonArray(colours.entries.begin(), colours.entries.begin() + 768) << "}";
    const std::vector<unsigned char> expected = RunOracle("mip", json.str());
    ASSERT_EQ(std::size_t(size[0]) * size[1] * 3, expected.size());

    int checked = 0;
    for (unsigned int by = 0; by < 3; ++by)
        for (unsigned int bx = 0; bx < 4; ++bx)
        {
            SCOPED_TRACE("block " + std::to_string(bx) + ", " + std::to_string(by));
            // The block's columns on screen, less a margin of one and a half voxels: the texture filter blends
            // neighbours within half a voxel, and the exit points, stored in 8 bits, tilt the rays a little.
            const double gx[2] = {bx * size[0] / 4.0 + 1.5, (bx + 1) * size[0] / 4.0 - 1.5};
            const double gy[2] = {by * size[1] / 3.0 + 1.5, (by + 1) * size[1] / 3.0 - 1.5};
            double sx[2], sy[2], sz = 0;
            gluProject(gx[0], gy[0], 0, modelview, projection, viewport, &sx[0], &sy[0], &sz);
            gluProject(gx[1], gy[1], 0, modelview, projection, viewport, &sx[1], &sy[1], &sz);
            const unsigned int cx = unsigned((gx[0] + gx[1]) / 2), cy = unsigned((gy[0] + gy[1]) / 2);
            const unsigned char* want = &expected[3 * (std::size_t(cy) * size[0] + cx)];
            const int x0 = std::max(0, int(std::ceil(std::min(sx[0], sx[1]))));
            const int x1 = std::min(kSide - 1, int(std::floor(std::max(sx[0], sx[1]))));
            const int y0 = std::max(0, int(std::ceil(std::min(sy[0], sy[1]))));
            const int y1 = std::min(kSide - 1, int(std::floor(std::max(sy[0], sy[1]))));
            int wrong = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x)
                {
                    const std::array<std::uint8_t, 4> got = screen->Pixel(x, y);
                    ++checked;
                    if ((std::abs(got[0] - want[0]) > 2 || std::abs(got[1] - want[1]) > 2 ||
                         std::abs(got[2] - want[2]) > 2) &&
                        ++wrong <= 3)
                        ADD_FAILURE() << "pixel " << x << ", " << y << ": " << +got[0] << " " << +got[1] << " "
                                      << " " << +got[2] << " instead of " << +want[0] << " " << +want[1] << " "
                                      << +want[2];
                }
        }
    EXPECT_GT(checked, 12 * 100) << "every block is on screen";
}

} // namespace
