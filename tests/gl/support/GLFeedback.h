#pragma once

#include <functional>
#include <vector>

// What the GL's feedback mode reports for drawing: each primitive after transformation, with
// window-space vertices and their colours. Needs the test context current.
struct FeedbackVertex
{
    float x, y, z; // window coordinates, z in [0, 1]
    float rgba[4];
};

struct FeedbackPrimitive
{
    enum Kind
    {
        kPoint,
        kLine,
        kPolygon
    };
    Kind kind;
    std::vector<FeedbackVertex> vertices;
};

// Runs draw in feedback mode (GL_3D_COLOR) and parses the buffer. Throws std::runtime_error if the
// buffer of `capacity` floats overflows.
std::vector<FeedbackPrimitive> RecordFeedback(const std::function<void()>& draw, int capacity = 1 << 20);
