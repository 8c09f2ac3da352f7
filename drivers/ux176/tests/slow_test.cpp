// The slowest rates on the test clock, and the device mutex between
// processes: an owner that died holding it leaves it to the next taker, a
// live owner makes exchanges time out.
#include <sys/wait.h>
#include <unistd.h>

#include "fixture176.h"
#include "tq/platform/sync.h"

namespace
{

using namespace ux176test;

TEST_F(UsbTest, OneScanPerSecond)
{
    ViSession vi = open();
    ASSERT_EQ(ux176_setAnalogChannelEnable(vi, 6, 1), VI_SUCCESS);
    ASSERT_EQ(ux176_setAdcScanRate(vi, 1.0), VI_SUCCESS);
    TQStream *s = stream(vi);
    TQReader *r = s->streamNewReader(s, 0, TQ_WHENCE_OLDEST);
    ASSERT_EQ(ux176_start(vi), VI_SUCCESS);
    const uint64_t started = tq::platform::tickMs();
    ASSERT_TRUE(eventually([&] { return s->streamGetScansWritten(s) >= 4; }, 60000));
    const uint64_t took = tq::platform::tickMs() - started;
    ASSERT_EQ(ux176_stop(vi), VI_SUCCESS);
    EXPECT_GE(took, 3000u) << "four scans take three periods at least";
    EXPECT_LE(took, 10000u);
    const std::vector<uint16_t> words = readWords(r, 100, 2);
    ASSERT_GE(words.size(), 4u);
    for (size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(words[i], static_cast<uint16_t>(i + 0x6000)) << "scan " << i;
    r->readerRelease(&r);
}

// A child process takes the device mutex and ends (or waits) holding it.
pid_t holdInChild(bool die)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        tq::platform::NamedMutex m;
        if (!m.open("ux176") || m.lock(1000) != tq::platform::WaitResult::Signaled)
            _exit(2);
        const char c = 1;
        if (write(ready[1], &c, 1) != 1)
            _exit(3);
        if (!die)
            tq::platform::sleepMs(40000);
        _exit(0); // ends with the mutex held
    }
    char c = 0;
    close(ready[1]);
    const bool ok = read(ready[0], &c, 1) == 1;
    close(ready[0]);
    return ok ? pid : -1;
}

TEST_F(UsbTest, DeviceMutexAcrossProcesses)
{
    ViSession vi = open();
    ASSERT_EQ(ux176_writeRegister(vi, 70, 0x77), VI_SUCCESS);

    pid_t pid = holdInChild(true);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ViUInt16 value = 0;
    EXPECT_EQ(ux176_readRegister(vi, 70, &value), VI_SUCCESS) << "an abandoned mutex counts as taken";
    EXPECT_EQ(value, 0x77);

    pid = holdInChild(false);
    ASSERT_GT(pid, 0);
    const uint64_t before = tq::platform::tickMs();
    EXPECT_EQ(ux176_readRegister(vi, 70, &value), VI_ERROR_TMO);
    EXPECT_GE(tq::platform::tickMs() - before, 14000u) << "waited the 15 s of the mutex";
    kill(pid, SIGKILL);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(ux176_readRegister(vi, 70, &value), VI_SUCCESS) << "and is usable once the holder is gone";
}

} // namespace
