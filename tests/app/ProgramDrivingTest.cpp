#include "ProgramDriving.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// A test that dies without its destructors (a time limit's KILL, a launcher's TERM) takes the group of the
// program it started with it.
TEST(ProgramProcessTest, TheGroupEndsWithATestKilledOutright)
{
    for (const int signal : {SIGKILL, SIGTERM})
    {
        SCOPED_TRACE(strsignal(signal));
        int ends[2];
        ASSERT_EQ(0, pipe(ends));
        ProgramProcess program;
        const std::string command = "sleep 1000 & sleep 1000";
        // The child only forks, writes and waits: nothing that could find the parent's locks held.
        const pid_t test = fork();
        if (test == 0)
        {
            program.Start(command);
            const pid_t group = program.Group();
            if (write(ends[1], &group, sizeof group) != sizeof group)
                _exit(1);
            for (;;)
                pause();
        }
        close(ends[1]);
        pid_t group = -1;
        ASSERT_EQ(static_cast<ssize_t>(sizeof group), read(ends[0], &group, sizeof group));
        close(ends[0]);
        EXPECT_TRUE(WaitFor([&] { return GroupMembers(group).size() >= 3; }, 20)) << "the program never started";
        kill(test, signal);
        waitpid(test, nullptr, 0);
        EXPECT_TRUE(WaitFor([&] { return GroupMembers(group).empty(); }, 20)) << "the group outlived its test";
        kill(-group, SIGKILL);
    }
}
