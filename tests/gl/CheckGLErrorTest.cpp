#include "gl/CheckGLError.h"
#include "gl/support/GLTest.h"

#include <GL/glew.h>

#include <deque>
#include <stdexcept>
#include <string>

namespace
{

// Mesa keeps one error flag, so queues of several errors come from this source.
std::deque<unsigned int> queuedErrors;
unsigned int FromQueue()
{
    if (queuedErrors.empty())
        return 0;
    const unsigned int code = queuedErrors.front();
    queuedErrors.pop_front();
    return code;
}

int endlessReads = 0;
unsigned int Endless()
{
    ++endlessReads;
    return GL_INVALID_OPERATION;
}

class CheckGLErrorTest : public GLTest
{
protected:
    void TearDown() override
    {
        SetGLErrorSource(nullptr);
        queuedErrors.clear();
        GLTest::TearDown();
    }

    static std::string Message(const char* where)
    {
        try
        {
            CheckGLError(where, true);
        }
        catch (const std::runtime_error& e)
        {
            return e.what();
        }
        return "no exception";
    }
};

} // namespace

TEST_F(CheckGLErrorTest, NoErrorDoesNothing)
{
    EXPECT_NO_THROW(CheckGLError("Nothing", true));
}

TEST_F(CheckGLErrorTest, DrainsEveryQueuedErrorIntoOneLineEach)
{
    SetGLErrorSource(&FromQueue);
    queuedErrors = {1282, 1286};
    EXPECT_EQ(Message("Upload"), "OpenGL error 1282: invalid operation in Upload\n"
                                 "OpenGL error 1286: unknown in Upload\n");
    EXPECT_TRUE(queuedErrors.empty());
}

TEST_F(CheckGLErrorTest, NamesEveryKnownCode)
{
    SetGLErrorSource(&FromQueue);
    queuedErrors = {1280, 1281, 1283, 1284, 1285};
    EXPECT_EQ(Message("X"), "OpenGL error 1280: invalid enum in X\n"
                            "OpenGL error 1281: invalid value in X\n"
                            "OpenGL error 1283: stack overflow in X\n"
                            "OpenGL error 1284: stack underflow in X\n"
                            "OpenGL error 1285: out of memory in X\n");
}

TEST_F(CheckGLErrorTest, WithoutThrowingItOnlyClearsTheQueue)
{
    SetGLErrorSource(&FromQueue);
    queuedErrors = {1281, 1282};
    EXPECT_NO_THROW(CheckGLError("Quiet", false));
    EXPECT_TRUE(queuedErrors.empty());
}

TEST_F(CheckGLErrorTest, AnErrorThatNeverClearsStopsDraining)
{
    SetGLErrorSource(&Endless);
    endlessReads = 0;
    const std::string message = Message("Lost context");
    EXPECT_EQ(endlessReads, kMaxDrainedGLErrors);
    std::size_t lines = 0;
    for (char c : message)
        lines += c == '\n';
    EXPECT_EQ(lines, static_cast<std::size_t>(kMaxDrainedGLErrors));
    EXPECT_NO_THROW(CheckGLError("Lost context", false));
}

TEST_F(CheckGLErrorTest, ReportsARealGLError)
{
    glEnable(0x1234); // not a capability
    EXPECT_EQ(Message("Enable"), "OpenGL error 1280: invalid enum in Enable\n");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
