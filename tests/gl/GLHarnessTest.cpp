#include "gl/support/GLTest.h"

#include <GL/glew.h>

#include <iostream>

using GLHarnessTest = GLTest;

TEST_F(GLHarnessTest, ContextIsCompatibilityProfileWithFramebuffer)
{
    EXPECT_TRUE(GLEW_VERSION_2_1);
    // Any renderer will do; the results name the one the tests ran on.
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    ASSERT_NE(renderer, nullptr);
    RecordProperty("renderer", renderer);
    std::cout << "GL renderer: " << renderer << std::endl;
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(static_cast<unsigned int>(bound), Framebuffer().GetName());
    GLint samples = -1;
    glGetIntegerv(GL_SAMPLES, &samples);
    EXPECT_EQ(samples, 0);
}

TEST_F(GLHarnessTest, ImmediateModeDrawsAndReadsBack)
{
    glColor4ub(10, 200, 30, 255);
    glBegin(GL_QUADS);
    glVertex2i(5, 6);
    glVertex2i(15, 6);
    glVertex2i(15, 16);
    glVertex2i(5, 16);
    glEnd();
    const auto inside = Framebuffer().Pixel(5, 6);
    EXPECT_EQ(inside[0], 10);
    EXPECT_EQ(inside[1], 200);
    EXPECT_EQ(inside[2], 30);
    EXPECT_EQ(inside[3], 255);
    EXPECT_EQ(Framebuffer().Pixel(15, 16)[3], 0);
    EXPECT_EQ(Framebuffer().Pixel(4, 6)[3], 0);
}
