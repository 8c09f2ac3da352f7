// Runs the replay example on a stream file recorded for the test and checks
// what it reports and renders.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "file/tests/filestream_test_util.h"
#include "core/tests/stream_test_util.h"

namespace
{

constexpr int64_t kScans = 300;

double voltage(int64_t i)
{
    return 0.5 * static_cast<double>(i % 10);
}
double current(int64_t i)
{
    return -2.0 + 0.01 * static_cast<double>(i);
}

struct Outcome {
    int status;
    std::string output;
};

Outcome runReplay(const std::string &arguments)
{
    const std::string command = std::string(TQ_REPLAY_PROGRAM) + " " + arguments + " 2>&1";
    Outcome run{-1, ""};
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

double meanOf(double (*f)(int64_t), int64_t newest)
{
    double sum = 0;
    for (int64_t i = kScans - newest; i < kScans; ++i)
        sum += f(i);
    return sum / static_cast<double>(newest);
}

std::string line(const char *format, double value)
{
    char text[128];
    snprintf(text, sizeof text, format, value);
    return text;
}

TEST(ReplayExample, ListsChannelsAveragesAndRendersARecordedFile)
{
    const std::string dir = streamtest::scratchDir("replay");
    const std::string file = dir + "/rig3.stm";
    filetest::StrmSpec layout;
    layout.rate = 100.0;
    layout.channels = {{"voltage", "V", TQ_XFRM_DOUBLE, {}, {}}, {"current", "A", TQ_XFRM_DOUBLE, {}, {}}};
    filetest::Bytes data;
    for (int64_t i = 0; i < kScans; ++i)
        data.f64(voltage(i)).f64(current(i));
    layout.data = data.bytes;
    ASSERT_TRUE(filetest::writeStrm(file, layout));

    const std::string png = dir + "/rig3.png";
    const Outcome run = runReplay(file + " " + png + " 50");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string expected[] = {
        "stream rig3: 2 channels, 300 scans at 100 scans/s\n",
        "channel 0: voltage [V]\n",
        "channel 1: current [A]\n",
        "averaged scans: 50\n",
        line("mean voltage = %.6f\n", meanOf(voltage, 50)),
        line("mean current = %.6f\n", meanOf(current, 50)),
        "graph: " + png + "\n",
    };
    for (const std::string &want : expected)
        EXPECT_NE(run.output.find(want), std::string::npos) << "missing: " << want << "in:\n" << run.output;

    const std::string image = streamtest::readFile(png);
    ASSERT_GT(image.size(), 8u);
    EXPECT_EQ(image.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    EXPECT_NE(image.find("IEND"), std::string::npos);
}

TEST(ReplayExample, ReportsAFileThatIsNoStreamFile)
{
    const std::string dir = streamtest::scratchDir("replay-bad");
    const std::string file = dir + "/notes.txt";
    FILE *f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("not a recording\n", f);
    fclose(f);
    const Outcome run = runReplay(file);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("tqstream_openFileStream failed: 0xbfff00a1"), std::string::npos) << run.output;
}

} // namespace
