#include "gl/GLTexture.h"
#include "gl/GLTextureButton.h"
#include "gl/support/GLTest.h"
#include "gl/support/RecordingDisplay.h"

#include <GL/glew.h>

#include <array>

namespace
{

using RGBA = std::array<std::uint8_t, 4>;

void Fill(GLTexture& texture, RGBA bgra)
{
    for (std::size_t k = 0; k < texture.GetPixelBytes(); k += 4)
        std::copy(bgra.begin(), bgra.end(), texture.GetPixels() + k);
    texture.TextureChanged();
}

class GLTextureButtonTest : public GLTest
{
protected:
    RecordingDisplay display;

    void SetUp() override
    {
        GLTest::SetUp();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    void TearDown() override
    {
        glDisable(GL_BLEND);
        GLTest::TearDown();
    }

    // A red 16 x 16 icon button at (100, 50).
    static void MakeRed(GLTextureButton& button)
    {
        button.Create(100, 50, 16, 16);
        Fill(*button.GetIconTexture(), {0, 0, 255, 255});
    }
};

TEST_F(GLTextureButtonTest, IconHitTest)
{
    GLTextureButton button;
    MakeRed(button);
    struct Case
    {
        int x, y;
        bool inside;
    };
    const Case cases[] = {{118, 49, true}, {119, 49, false}, {100, 67, false}, {100, 66, true},
                          {99, 60, false}, {110, 48, false}, {100, 49, true}};
    for (const Case& c : cases)
    {
        EXPECT_EQ(button.PointInside(c.x, c.y), c.inside) << c.x << "," << c.y;
        EXPECT_EQ(button.AcceptsClick(c.x, c.y), c.inside) << c.x << "," << c.y;
    }
    EXPECT_TRUE(button.PointInside(10, 10, 0, 0));
    button.MoveButton(0, 0);
    EXPECT_TRUE(button.PointInside(18, -1));
    EXPECT_EQ(button.GetTextBaseline(), 3);
}

TEST_F(GLTextureButtonTest, TextButtonMeasuresItsPlate)
{
    GLTextureButton button(&display, "Go", 20, 30);
    ASSERT_EQ(display.textBoxes.size(), 1u);
    const TextBoxRecord& box = *display.textBoxes[0];
    EXPECT_EQ(box.width, 30);
    EXPECT_EQ(box.lines, 1);
    EXPECT_FALSE(box.small);
    EXPECT_EQ(box.text, "Go");
    // Recording boxes: 7 pixels a character, lines of 15.
    EXPECT_EQ(button.GetWidth(), 26);
    EXPECT_EQ(button.GetHeight(), 21);
    const GLTextureButton& stored = button;
    EXPECT_EQ(stored.GetWidth(), 14);
    EXPECT_EQ(stored.GetHeight(), 15);
    struct Case
    {
        int x, y;
        bool inside;
    };
    for (const Case& c :
         {Case{46, 29, true}, Case{47, 30, false}, Case{20, 51, true}, Case{20, 52, false}, Case{19, 40, false}})
        EXPECT_EQ(button.PointInside(c.x, c.y), c.inside) << c.x << "," << c.y;

    button.Draw();
    EXPECT_EQ(box.draws, (std::vector<std::pair<int, int>>{{26, 33}}));
    EXPECT_NEAR(Framebuffer().Pixel(20, 30)[0], 64, 1);
    EXPECT_NEAR(Framebuffer().Pixel(45, 50)[0], 64, 1);
    EXPECT_EQ(Framebuffer().Pixel(46, 30)[3], 0);
    button.Draw(true);
    EXPECT_NEAR(Framebuffer().Pixel(20, 30)[0], 128, 1);

    button.GetIconTexture();
    EXPECT_TRUE(box.deleted) << "an icon button has no label";
}

TEST_F(GLTextureButtonTest, ButtonsWithoutIconOrTextAreNeverHit)
{
    GLTextureButton empty;
    EXPECT_FALSE(empty.PointInside(0, 0));
    EXPECT_FALSE(empty.AcceptsClick(0, 0));
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetHeight(), 0);
    empty.Draw();
    empty.DrawWithBorder(true, true, 5, 5);

    GLTextureButton unnamed(&display, "");
    EXPECT_EQ(display.textBoxes.back()->width, 0);
    EXPECT_EQ(unnamed.GetWidth(), 12);
}

TEST_F(GLTextureButtonTest, DisabledButtonsWearAVeilAndTakeNoClick)
{
    GLTextureButton button;
    MakeRed(button);
    button.SetEnabled(false);
    EXPECT_FALSE(button.IsEnabled());
    EXPECT_FALSE(button.AcceptsClick(105, 55));
    EXPECT_TRUE(button.PointInside(105, 55));
    button.Draw();
    EXPECT_NEAR(Framebuffer().Pixel(105, 55)[0], 64, 1) << "a quarter of the red shows";
    // Blended alpha: 0.75 x 0.75.
    EXPECT_NEAR(Framebuffer().Pixel(99, 49)[3], 143, 1) << "the veil reaches one pixel beyond";
    EXPECT_EQ(Framebuffer().Pixel(98, 49)[3], 0);
}

TEST_F(GLTextureButtonTest, HighlightInvertsOrShowsTheActiveIcon)
{
    GLTextureButton button;
    MakeRed(button);
    EXPECT_FALSE(button.SetHighlighted(true));
    EXPECT_TRUE(button.SetHighlighted(true));
    button.Draw();
    const auto inverted = Framebuffer().Pixel(105, 55);
    EXPECT_EQ((RGBA{inverted[0], inverted[1], inverted[2], inverted[3]}), (RGBA{0, 255, 255, 0}));
    EXPECT_EQ(Framebuffer().Pixel(99, 49)[0], 255) << "the frame around the icon is inverted too";

    glClear(GL_COLOR_BUFFER_BIT);
    GLTexture* active = button.GetActiveIconTexture();
    active->Initialize(16, 16, GL_BGRA, GL_LINEAR);
    Fill(*active, {255, 0, 0, 255});
    button.Draw();
    const auto blue = Framebuffer().Pixel(105, 55);
    EXPECT_EQ((RGBA{blue[0], blue[1], blue[2], blue[3]}), (RGBA{0, 0, 255, 255}));
    button.Draw(false);
    EXPECT_EQ(Framebuffer().Pixel(105, 55)[0], 255) << "not highlighted: the normal icon";
}

TEST_F(GLTextureButtonTest, BorderAndSelection)
{
    GLTextureButton button;
    MakeRed(button);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    button.DrawWithBorder(false, true, 10, 10);
    // The loop runs along x = 9; which of the two columns beside it the GL lights is its choice.
    const auto left = Framebuffer().Pixel(8, 20), right = Framebuffer().Pixel(9, 20);
    const auto border = left[1] > 0 ? left : right;
    EXPECT_NEAR(border[0], 64, 1);
    EXPECT_NEAR(border[1], 64, 1);
    const auto selected = Framebuffer().Pixel(15, 15);
    EXPECT_GT(selected[2], 0) << "blue selection over the icon";
    EXPECT_LT(selected[0], 255);
}

} // namespace
