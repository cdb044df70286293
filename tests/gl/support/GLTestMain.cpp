#include "gl/support/GLTestContext.h"

#include <gtest/gtest.h>

// The GL context is made by the first test that needs it; it must go before the application object
// and the X connection do, so it is torn down here rather than by static destruction.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    GLTestContext::Shutdown();
    return result;
}
