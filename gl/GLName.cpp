#include "gl/GLName.h"

#include <GL/glew.h>

#include <utility>

GLName::GLName(unsigned int name, int count, Kind kind)
    : m_name(name)
    , m_count(name != 0 ? count : 0)
    , m_kind(kind)
{
}

GLName::~GLName()
{
    Reset();
}

GLName::GLName(GLName&& other) noexcept
    : m_name(std::exchange(other.m_name, 0u))
    , m_count(std::exchange(other.m_count, 0))
    , m_kind(other.m_kind)
{
}

GLName& GLName::operator=(GLName&& other) noexcept
{
    if (this != &other)
    {
        Reset();
        m_name = std::exchange(other.m_name, 0u);
        m_count = std::exchange(other.m_count, 0);
        m_kind = other.m_kind;
    }
    return *this;
}

GLName GLName::GenLists(int count)
{
    return GLName(count > 0 ? glGenLists(count) : 0u, count, Kind::kLists);
}

GLName GLName::GenBuffer()
{
    GLuint name = 0;
    glGenBuffers(1, &name);
    return GLName(name, 1, Kind::kBuffer);
}

void GLName::Reset()
{
    if (m_name == 0)
        return;
    if (m_kind == Kind::kLists)
        glDeleteLists(m_name, m_count);
    else
        glDeleteBuffers(1, &m_name);
    m_name = 0;
    m_count = 0;
}
