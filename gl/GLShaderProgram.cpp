#include "gl/GLShaderProgram.h"

#include "core/FileUtils.h"

#include <GL/glew.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace
{

// Shaders and programs keep their logs alike; only the calls that reach them differ.
template <typename GetParameter, typename GetLog>
std::string InfoLog(GLuint object, GetParameter getParameter, GetLog getLog)
{
    GLint length = 0;
    getParameter(object, GL_INFO_LOG_LENGTH, &length);
    std::string log(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    GLsizei written = 0;
    if (length > 0)
        getLog(object, length, &written, &log[0]);
    log.resize(static_cast<std::size_t>(written));
    return log;
}

} // namespace

GLShaderProgram::GLShaderProgram() = default;

GLShaderProgram::~GLShaderProgram()
{
    for (std::size_t k = 0; k < m_shaders.size(); ++k)
    {
        if (m_program && k < m_attached)
            glDetachShader(m_program, m_shaders[k]);
        glDeleteShader(m_shaders[k]);
    }
    if (m_program)
        glDeleteProgram(m_program);
}

void GLShaderProgram::LoadShaderFile(unsigned int type, const std::string& path)
{
    std::fstream file;
    OpenStream(file, path.c_str(), std::ios_base::in | std::ios_base::binary);
    if (!file.is_open() || !file)
        throw std::runtime_error("File could not be opened.");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw std::runtime_error("Error while reading file.");
    LoadShader(type, text.c_str());
}

void GLShaderProgram::LoadShader(unsigned int type, const char* source)
{
    if (!GLEW_VERSION_2_0)
        throw std::runtime_error("OpenGL 2.0 required.");
    const GLuint shader = glCreateShader(type);
    if (!shader)
    {
        glGetError(); // the invalid-enum error of an unknown type, reported by the message instead
        throw std::runtime_error("Could not compile shader. Unknown shader type " + std::to_string(type) + ".");
    }
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE)
    {
        const std::string log = InfoLog(shader, glGetShaderiv, glGetShaderInfoLog);
        glDeleteShader(shader);
        throw std::runtime_error("Could not compile shader. " + log);
    }
    m_shaders.push_back(shader);
}

void GLShaderProgram::Link()
{
    if (m_shaders.empty())
        throw std::runtime_error("Error: shader program is not ready for linking.");
    if (!m_program)
        m_program = glCreateProgram();
    // A relink after more shaders were loaded attaches only the new ones: attaching twice is an error.
    for (; m_attached < m_shaders.size(); ++m_attached)
        glAttachShader(m_program, m_shaders[m_attached]);
    glLinkProgram(m_program);
    GLint status = GL_FALSE;
    glGetProgramiv(m_program, GL_LINK_STATUS, &status);
    m_linked = status == GL_TRUE;
    if (!m_linked)
        throw std::runtime_error("Could not link shader. " + InfoLog(m_program, glGetProgramiv, glGetProgramInfoLog));
}

void GLShaderProgram::Bind()
{
    if (!m_program || m_shaders.empty() || !m_linked)
        throw std::runtime_error("Error: shader program is not ready for use.");
    glUseProgram(m_program);
}

void GLShaderProgram::Unbind()
{
    // Without GL 2.0 no program can be current, and the entry point is null.
    if (GLEW_VERSION_2_0)
        glUseProgram(0);
}
