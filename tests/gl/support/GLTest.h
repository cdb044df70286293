#pragma once

#include "gl/support/GLTestFramebuffer.h"

#include <gtest/gtest.h>

#include <memory>

// Fixture of every test that draws: the test context current, a fresh framebuffer bound, a pixel
// projection (x right, y up, one unit a pixel, z from -100 to 100), cleared to transparent black and
// an empty GL error queue. TearDown fails the test if a GL error is left behind.
class GLTest : public ::testing::Test
{
protected:
    static constexpr int kWidth = 256;
    static constexpr int kHeight = 256;

    void SetUp() override;
    void TearDown() override;

    GLTestFramebuffer& Framebuffer() { return *framebuffer; }

private:
    std::unique_ptr<GLTestFramebuffer> framebuffer;
};
