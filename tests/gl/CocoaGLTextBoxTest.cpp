#include "gl/CocoaGLTextBox.h"
#include "gl/support/GLTest.h"

#include <GL/glew.h>

#include <QFont>
#include <QFontMetricsF>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace
{

struct Extent
{
    int left = 1 << 30, right = -1, bottom = 1 << 30, top = -1;
    bool Empty() const { return right < 0; }
};

class CocoaGLTextBoxTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        // Text boxes hold premultiplied colour.
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    }
    void TearDown() override
    {
        glDisable(GL_BLEND);
        GLTest::TearDown();
    }

    // Where anything was drawn, in framebuffer pixels (y upwards).
    Extent Drawn()
    {
        const std::vector<std::uint8_t> pixels = Framebuffer().ReadPixels();
        Extent extent;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (pixels[(static_cast<std::size_t>(y) * kWidth + x) * 4 + 3] != 0)
                {
                    extent.left = std::min(extent.left, x);
                    extent.right = std::max(extent.right, x);
                    extent.bottom = std::min(extent.bottom, y);
                    extent.top = std::max(extent.top, y);
                }
        return extent;
    }
};

TEST_F(CocoaGLTextBoxTest, LineHeightAndBoxHeight)
{
    struct Case
    {
        bool small;
        int lines, lineHeight, height;
    };
    const Case cases[] = {{false, 1, 14, 14}, {false, 0, 14, 14}, {false, 3, 14, 42},
                          {true, 1, 11, 11},  {true, -2, 11, 11}, {true, 2, 11, 22}};
    for (const Case& c : cases)
    {
        CocoaGLTextBox box(80, c.lines, c.small, GLTextBox::kAlignLeft);
        EXPECT_EQ(box.GetLineHeight(), c.lineHeight) << c.small << " " << c.lines;
        EXPECT_EQ(box.GetHeight(), c.height) << c.small << " " << c.lines;
        EXPECT_EQ(box.GetWidth(), 80);
        EXPECT_EQ(box.GetTextWidth(), 0);
    }
}

TEST_F(CocoaGLTextBoxTest, TextIsPremultipliedWhiteAtNinetyPercent)
{
    CocoaGLTextBox box(120, 1, false, GLTextBox::kAlignLeft);
    box.SetText("HHHH");
    const auto& bitmap = box.GetBitmap();
    ASSERT_EQ(bitmap.size(), 120u * 14u * 4u);
    int maxAlpha = 0;
    for (std::size_t k = 0; k < bitmap.size(); k += 4)
    {
        EXPECT_EQ(bitmap[k], bitmap[k + 3]);
        EXPECT_EQ(bitmap[k + 1], bitmap[k + 3]);
        maxAlpha = std::max<int>(maxAlpha, bitmap[k + 3]);
    }
    EXPECT_NEAR(maxAlpha, 229, 1);
    EXPECT_GT(box.GetTextWidth(), 20);
    EXPECT_LT(box.GetTextWidth(), 60);
}

TEST_F(CocoaGLTextBoxTest, TextLiesAtTheTopOfTheBox)
{
    struct Case
    {
        GLTextBox::Alignment alignment;
        bool nearLeft;
    };
    for (const Case& c : {Case{GLTextBox::kAlignLeft, true}, Case{GLTextBox::kAlignRight, false}})
    {
        glClear(GL_COLOR_BUFFER_BIT);
        CocoaGLTextBox box(150, 3, false, c.alignment);
        box.SetText("Gene");
        box.Draw(20, 30);
        const Extent drawn = Drawn();
        ASSERT_FALSE(drawn.Empty());
        const int boxTop = 30 + box.GetHeight() - 1;
        EXPECT_LE(drawn.top, boxTop);
        EXPECT_GE(drawn.bottom, boxTop - box.GetLineHeight() + 1) << "below the first line";
        EXPECT_GE(drawn.left, 20);
        EXPECT_LT(drawn.right, 170);
        if (c.nearLeft)
            EXPECT_LT(drawn.left, 23);
        else
            EXPECT_GT(drawn.right, 165);
    }
}

TEST_F(CocoaGLTextBoxTest, BackgroundFramesTheText)
{
    CocoaGLTextBox box(150, 2, false, GLTextBox::kAlignLeft);
    box.SetText("Cortex");
    box.ShowBackground(true);
    box.Draw(40, 50);
    const int left = 40 - 6, right = 40 + box.GetTextWidth() + 12;
    const int bottom = 50 + box.GetHeight() - box.GetTextHeight() - 4, top = 50 + box.GetHeight() + 4;
    const Extent drawn = Drawn();
    EXPECT_EQ(drawn.left, left);
    EXPECT_EQ(drawn.right, right - 1);
    EXPECT_EQ(drawn.bottom, bottom);
    EXPECT_EQ(drawn.top, top - 1);
    const auto corner = Framebuffer().Pixel(left, bottom);
    EXPECT_NEAR(corner[0], 26, 1);
    EXPECT_NEAR(corner[3], 191, 1);
}

// Rows of a bitmap (rows top first, 4 bytes a pixel) that hold any ink.
int InkRows(const std::vector<unsigned char>& bitmap, int width)
{
    int top = -1, bottom = -1;
    const int rows = width > 0 ? static_cast<int>(bitmap.size() / (4u * width)) : 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x)
            if (bitmap[(static_cast<std::size_t>(y) * width + x) * 4 + 3] != 0)
            {
                top = top < 0 ? y : top;
                bottom = y;
            }
    return top < 0 ? 0 : bottom - top + 1;
}

TEST_F(CocoaGLTextBoxTest, TextIsRenderedAtThePixelRatioAndAgainWhenItChanges)
{
    double ratio = 1.0;
    CocoaGLTextBox box(120, 2, false, GLTextBox::kAlignLeft, [&ratio] { return ratio; });
    box.SetText("Hypothalamus");
    const int textWidth = box.GetTextWidth();
    const int ink = InkRows(box.GetBitmap(), box.GetBitmapWidth());
    ASSERT_GT(ink, 6);
    struct Case
    {
        double ratio;
        int bitmapWidth, bitmapHeight;
    };
    // A window moved between screens of other scales, and back.
    for (const Case& c : {Case{2.0, 240, 56}, Case{1.5, 180, 42}, Case{1.25, 150, 35}, Case{1.0, 120, 28}})
    {
        SCOPED_TRACE(c.ratio);
        ratio = c.ratio;
        glClear(GL_COLOR_BUFFER_BIT);
        box.Draw(20, 30);
        EXPECT_EQ(box.GetBitmapRatio(), c.ratio);
        EXPECT_EQ(box.GetBitmapWidth(), c.bitmapWidth);
        EXPECT_EQ(box.GetBitmapHeight(), c.bitmapHeight);
        // The layout stays logical; the glyphs have the ratio's pixels.
        EXPECT_EQ(box.GetLineHeight(), 14);
        EXPECT_EQ(box.GetHeight(), 28);
        EXPECT_EQ(box.GetTextWidth(), textWidth);
        EXPECT_NEAR(InkRows(box.GetBitmap(), box.GetBitmapWidth()), ink * c.ratio, 1.0 + c.ratio);
        // Drawn into the same logical rectangle at every ratio.
        const Extent drawn = Drawn();
        EXPECT_GE(drawn.left, 20);
        EXPECT_LT(drawn.left, 23);
        EXPECT_LE(drawn.top, 30 + 28 - 1);
        EXPECT_GE(drawn.top, 30 + 28 - 4);
    }
}

TEST_F(CocoaGLTextBoxTest, EmptyTextOrEmptyBoxDrawsNothing)
{
    struct Case
    {
        int width;
        std::string text;
    };
    const Case cases[] = {{100, ""}, {0, ""}, {0, "Isocortex"}};
    for (const Case& c : cases)
    {
        CocoaGLTextBox box(c.width, 1, false, GLTextBox::kAlignCenter);
        box.SetText("earlier text");
        box.SetText(c.text);
        box.ShowBackground(true);
        box.Draw(10, 10);
        EXPECT_TRUE(Drawn().Empty()) << c.width << " '" << c.text << "'";
        EXPECT_EQ(box.GetTextWidth() == 0, c.text.empty());
    }
}

// Text wider than its box wraps at word boundaries into the box's lines, and what does not fit ends the last
// line with an ellipsis: no line is wider than the box, and none but that last one ends inside a word.
TEST_F(CocoaGLTextBoxTest, LongTextWrapsAtWordsAndIsCutWithAnEllipsis)
{
    struct Case
    {
        int width, lines;
        std::string text;
        int shownLines;
        bool cut;
    };
    const std::string title = "Sodium channel, voltage-gated, type VIII, alpha subunit - coronal - 0.875";
    const Case cases[] = {
        {160, 3, "Scn8a - coronal\nsodium channel", 2, false},
        {160, 3, title + "\nname of the gene", 3, true},
        {160, 1, title, 1, true},
        {100, 2, "Supercalifragilisticexpialidocious and more", 2, true},
        {500, 1, "     25 experiments, displaying 21-25", 1, false},
    };
    const QFontMetricsF metrics([] {
        QFont font("DejaVu Sans");
        font.setPixelSize(CocoaGLTextBox::kFontSize);
        return font;
    }());
    const QString ellipsis(QChar(0x2026));
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        CocoaGLTextBox box(c.width, c.lines, false, GLTextBox::kAlignLeft);
        box.SetText(c.text);
        const QStringList lines = QString::fromStdString(box.GetShownText()).split('\n');
        ASSERT_EQ(c.shownLines, lines.size());
        EXPECT_LE(box.GetTextWidth(), c.width);
        const QString original = QString::fromStdString(c.text);
        int from = 0;
        for (int i = 0; i < lines.size(); ++i)
        {
            EXPECT_LE(metrics.horizontalAdvance(lines[i]), c.width) << i;
            const bool last = i + 1 == lines.size();
            QString piece = lines[i];
            if (last && c.cut)
            {
                ASSERT_TRUE(piece.endsWith(ellipsis)) << piece.toStdString();
                piece.chop(1);
            }
            // The text's own words, in order, with their leading spaces.
            const int at = original.indexOf(piece, from);
            ASSERT_EQ(from, at) << piece.toStdString();
            from = at + piece.size();
            // A line ends at a space or a hyphen; a word wider than the box breaks inside.
            const bool wordEnd = from == original.size() || original[from].isSpace() || original[from - 1] == '-';
            EXPECT_TRUE(wordEnd || (last && c.cut) || (c.width == 100 && i == 0)) << piece.toStdString();
            while (from < original.size() && original[from].isSpace())
                ++from;
        }
        EXPECT_EQ(c.cut, from < original.size());
    }
}

} // namespace
