#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "tq/platform/sync.h"

// Cross-process tests: kept out of the ThreadSanitizer run, which follows
// threads of one process only.
using namespace tq::platform;

class NamedMutexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        name_ = "tqtest." + std::to_string(getpid()) + "." +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        NamedMutex::removeName(name_);
    }
    void TearDown() override { NamedMutex::removeName(name_); }
    std::string name_;
};

TEST_F(NamedMutexTest, RecursiveAndExclusiveAcrossProcesses)
{
    NamedMutex m;
    ASSERT_TRUE(m.open(name_));
    ASSERT_EQ(m.lock(1000), WaitResult::Signaled);
    ASSERT_EQ(m.lock(1000), WaitResult::Signaled);

    pid_t child = fork();
    if (child == 0) {
        NamedMutex other;
        if (!other.open(name_))
            _exit(10);
        // Held by the parent: time-out, and no unlock for a non-owner.
        if (other.lock(50) != WaitResult::Timeout)
            _exit(11);
        if (other.unlock())
            _exit(12);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(m.unlock());
    EXPECT_TRUE(m.unlock());
    EXPECT_FALSE(m.unlock());
}

TEST_F(NamedMutexTest, SurvivesAnOwnerThatDies)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        NamedMutex m;
        if (!m.open(name_) || m.lock(1000) != WaitResult::Signaled)
            _exit(10);
        char c = 1;
        if (write(ready[1], &c, 1) != 1)
            _exit(11);
        pause(); // dies holding the mutex
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    NamedMutex m;
    ASSERT_TRUE(m.open(name_));
    EXPECT_EQ(m.lock(30), WaitResult::Timeout);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(m.lock(5000), WaitResult::Abandoned); // taken over: we own it now
    EXPECT_TRUE(m.unlock());
    EXPECT_EQ(m.lock(100), WaitResult::Signaled); // usable again, nothing abandoned
    EXPECT_TRUE(m.unlock());
    close(ready[0]);
    close(ready[1]);
}

TEST_F(NamedMutexTest, ClosedMutexFails)
{
    NamedMutex m;
    EXPECT_EQ(m.lock(0), WaitResult::Failed);
    EXPECT_FALSE(m.unlock());
}
