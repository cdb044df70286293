#include "gl/GLShaderProgram.h"
#include "gl/support/GLTest.h"

#include <GL/glew.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "TestSupport.h"

namespace
{

const char* kVertexShader = "#version 120\n"
                            "void main() { gl_Position = ftransform(); }\n";
const char* kFragmentShader = "#version 120\n"
                              "void main() { gl_FragColor = vec4(0.2, 0.4, 0.6, 1.0); }\n";
const char* kUnresolvedVertexShader = "#version 120\n"
                                      "vec4 transformed();\n"
                                      "void main() { gl_Position = transformed(); }\n";

using GLShaderProgramTest = GLTest;

} // namespace

TEST_F(GLShaderProgramTest, CompilesLinksBindsAndDraws)
{
    GLShaderProgram program;
    EXPECT_EQ(static_cast<unsigned int>(program), 0u);
    program.LoadShader(GL_VERTEX_SHADER, kVertexShader);
    program.LoadShader(GL_FRAGMENT_SHADER, kFragmentShader);
    program.Link();
    program.Bind();
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_NE(current, 0);
    EXPECT_EQ(static_cast<unsigned int>(current), static_cast<unsigned int>(program));
    glRecti(4, 4, 12, 12);
    program.Unbind();
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
    const auto pixel = Framebuffer().Pixel(8, 8);
    EXPECT_EQ(pixel[0], 51);
    EXPECT_EQ(pixel[1], 102);
    EXPECT_EQ(pixel[2], 153);
    EXPECT_EQ(pixel[3], 255);
}

TEST_F(GLShaderProgramTest, ACompileErrorCarriesTheDriversLog)
{
    GLShaderProgram program;
    const std::string message = ErrorOf([&] {
        program.LoadShader(GL_FRAGMENT_SHADER, "#version 120\nvoid main() { gl_FragColor = undefinedThing; }\n");
    });
    EXPECT_EQ(message.rfind("Could not compile shader. ", 0), 0u) << message;
    EXPECT_NE(message.find("undefinedThing"), std::string::npos) << message;
    // The failed shader is not kept: linking still finds nothing to link.
    EXPECT_EQ(ErrorOf([&] { program.Link(); }), "Error: shader program is not ready for linking.");
}

TEST_F(GLShaderProgramTest, LinkAndBindRefuseAProgramThatIsNotReady)
{
    GLShaderProgram program;
    EXPECT_EQ(ErrorOf([&] { program.Link(); }), "Error: shader program is not ready for linking.");
    EXPECT_EQ(ErrorOf([&] { program.Bind(); }), "Error: shader program is not ready for use.");
    program.LoadShader(GL_VERTEX_SHADER, kVertexShader);
    EXPECT_EQ(ErrorOf([&] { program.Bind(); }), "Error: shader program is not ready for use.");
}

TEST_F(GLShaderProgramTest, AFailedLinkKeepsTheProgramButCannotBind)
{
    GLShaderProgram program;
    program.LoadShader(GL_VERTEX_SHADER, kUnresolvedVertexShader);
    program.LoadShader(GL_FRAGMENT_SHADER, kFragmentShader);
    const std::string message = ErrorOf([&] { program.Link(); });
    EXPECT_EQ(message.rfind("Could not link shader. ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("Could not link shader. ").size());
    EXPECT_NE(static_cast<unsigned int>(program), 0u);
    EXPECT_EQ(ErrorOf([&] { program.Bind(); }), "Error: shader program is not ready for use.");
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
}

TEST_F(GLShaderProgramTest, RelinkingWithAnotherShaderAttachesOnlyTheNewOne)
{
    GLShaderProgram program;
    program.LoadShader(GL_VERTEX_SHADER, kVertexShader);
    program.Link();
    program.LoadShader(GL_FRAGMENT_SHADER, kFragmentShader);
    program.Link();
    GLint attached = 0;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 2);
    EXPECT_NO_THROW(program.Bind());
    program.Unbind();
}

TEST_F(GLShaderProgramTest, DestroyingAProgramWithAnUnlinkedShaderLeavesNoGLError)
{
    {
        GLShaderProgram program;
        program.LoadShader(GL_VERTEX_SHADER, kVertexShader);
        program.Link();
        program.LoadShader(GL_FRAGMENT_SHADER, kFragmentShader);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLShaderProgramTest, WithoutGL20ItRefusesShadersAndUnbindsSafely)
{
    // What glewInit leaves on a GL older than 2.0: no version flag, no shader entry points.
    const GLboolean version = __GLEW_VERSION_2_0;
    const PFNGLUSEPROGRAMPROC useProgram = __glewUseProgram;
    __GLEW_VERSION_2_0 = GL_FALSE;
    __glewUseProgram = nullptr;
    GLShaderProgram program;
    const std::string message = ErrorOf([&] { program.LoadShader(GL_VERTEX_SHADER, kVertexShader); });
    program.Unbind();
    __GLEW_VERSION_2_0 = version;
    __glewUseProgram = useProgram;
    EXPECT_EQ(message, "OpenGL 2.0 required.");
}

TEST_F(GLShaderProgramTest, LoadsShaderFiles)
{
    const TempDir dir;
    const std::string path = dir.Write("shader.frag", kFragmentShader);
    GLShaderProgram program;
    program.LoadShaderFile(GL_FRAGMENT_SHADER, path);
    program.LoadShader(GL_VERTEX_SHADER, kVertexShader);
    EXPECT_NO_THROW(program.Link());
    std::remove(path.c_str());
    EXPECT_EQ(ErrorOf([&] { program.LoadShaderFile(GL_FRAGMENT_SHADER, path); }), "File could not be opened.");
}

TEST_F(GLShaderProgramTest, UnreadableOrEmptyShaderFilesFailCleanly)
{
    const TempDir dir;
    GLShaderProgram program;
    // A folder opens on Linux but cannot be read.
    EXPECT_THROW(program.LoadShaderFile(GL_VERTEX_SHADER, dir.Path()), std::runtime_error);
    const std::string path = dir.Write("empty.vert", "");
    const std::string message = ErrorOf([&] { program.LoadShaderFile(GL_VERTEX_SHADER, path); });
    EXPECT_EQ(message.rfind("Could not compile shader. ", 0), 0u) << message;
    EXPECT_EQ(ErrorOf([&] { program.Link(); }), "Error: shader program is not ready for linking.");
}
