#include "gl/support/GLTest.h"

#include "gl/support/GLTestContext.h"

#include <GL/glew.h>

void GLTest::SetUp()
{
    try
    {
        GLTestContext::Instance().MakeCurrent();
    }
    catch (const std::exception& e)
    {
        GTEST_FAIL() << e.what();
    }
    for (int k = 0; k < 32 && glGetError() != GL_NO_ERROR; ++k)
    {
    }
    framebuffer = std::make_unique<GLTestFramebuffer>(kWidth, kHeight);
    framebuffer->Bind();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

void GLTest::TearDown()
{
    if (!framebuffer)
        return;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "a GL error was left behind";
    framebuffer->Unbind();
    framebuffer.reset();
}
