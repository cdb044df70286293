#include "gl/support/GLFeedback.h"

#include <GL/glew.h>

#include <stdexcept>

namespace
{

FeedbackVertex ReadVertex(const std::vector<GLfloat>& buffer, std::size_t& at)
{
    if (at + 7 > buffer.size())
        throw std::runtime_error("Truncated feedback vertex.");
    FeedbackVertex v{
        buffer[at], buffer[at + 1], buffer[at + 2], {buffer[at + 3], buffer[at + 4], buffer[at + 5], buffer[at + 6]}};
    at += 7;
    return v;
}

} // namespace

std::vector<FeedbackPrimitive> RecordFeedback(const std::function<void()>& draw, int capacity)
{
    std::vector<GLfloat> buffer(static_cast<std::size_t>(capacity));
    glFeedbackBuffer(capacity, GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    if (count < 0)
        throw std::runtime_error("The feedback buffer overflowed.");
    buffer.resize(static_cast<std::size_t>(count));

    std::vector<FeedbackPrimitive> primitives;
    for (std::size_t at = 0; at < buffer.size();)
    {
        const GLint token = static_cast<GLint>(buffer[at++]);
        FeedbackPrimitive primitive;
        std::size_t vertices = 0;
        switch (token)
        {
        case GL_POINT_TOKEN:
            primitive.kind = FeedbackPrimitive::kPoint;
            vertices = 1;
            break;
        case GL_LINE_TOKEN:
        case GL_LINE_RESET_TOKEN:
            primitive.kind = FeedbackPrimitive::kLine;
            vertices = 2;
            break;
        case GL_POLYGON_TOKEN:
            primitive.kind = FeedbackPrimitive::kPolygon;
            vertices = static_cast<std::size_t>(buffer.at(at++));
            break;
        case GL_PASS_THROUGH_TOKEN:
            ++at;
            continue;
        default:
            throw std::runtime_error("Unexpected feedback token " + std::to_string(token));
        }
        for (std::size_t k = 0; k < vertices; ++k)
            primitive.vertices.push_back(ReadVertex(buffer, at));
        primitives.push_back(std::move(primitive));
    }
    return primitives;
}
