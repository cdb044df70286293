#pragma once

#include <string>
#include <vector>

// A GLSL program built from shader files or texts. Owns its shader and program names.
class GLShaderProgram
{
public:
    GLShaderProgram();
    GLShaderProgram(const GLShaderProgram&) = delete;
    GLShaderProgram& operator=(const GLShaderProgram&) = delete;
    virtual ~GLShaderProgram();

    // type is GL_VERTEX_SHADER or GL_FRAGMENT_SHADER.
    virtual void LoadShaderFile(unsigned int type, const std::string& path);
    virtual void LoadShader(unsigned int type, const char* source);
    virtual void Link();
    // Only a successfully linked program can be bound.
    virtual void Bind();
    virtual void Unbind();
    virtual operator unsigned int() const { return m_program; }

private:
    std::vector<unsigned int> m_shaders;
    unsigned int m_program = 0;
    std::size_t m_attached = 0; // m_shaders[0, m_attached) are attached to the program
    bool m_linked = false;
};
