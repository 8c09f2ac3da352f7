// StreamChannelEvalRun with run functions registered by the owners of
// channel records: which pair is used while it is registered, counted
// registrations, refusals, the size of the table, and lookups while other
// owners register and undo theirs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tqstream.h"

namespace
{

// A value function per N (each its own address): the 16-bit sample at the
// scan's start plus N.
template <int N> double evalPlus(TQStreamChannel *, const void *scan)
{
    int16_t v;
    memcpy(&v, scan, sizeof v);
    return v + N;
}

// Runs of the value functions above, counting their calls on each thread.
thread_local int runCalls = 0;

template <int N> void runPlus(TQStreamChannel *channel, const void *scans, uint32_t stride, int64_t n, double *out)
{
    ++runCalls;
    for (int64_t i = 0; i < n; ++i)
        out[i] = evalPlus<N>(channel, static_cast<const uint8_t *>(scans) + static_cast<size_t>(i) * stride);
}

// Another run of evalPlus<0>: the same values, counted apart.
thread_local int otherCalls = 0;
void otherRun(TQStreamChannel *channel, const void *scans, uint32_t stride, int64_t n, double *out)
{
    ++otherCalls;
    for (int64_t i = 0; i < n; ++i)
        out[i] = evalPlus<0>(channel, static_cast<const uint8_t *>(scans) + static_cast<size_t>(i) * stride);
}

constexpr int kPairs = 100;

template <int... N> std::vector<std::pair<TQChannelEvalFn, TQChannelRunFn>> pairsOf(std::integer_sequence<int, N...>)
{
    return {{evalPlus<N + 1>, runPlus<N + 1>}...};
}

// kPairs distinct pairs, none of them evalPlus<0>.
const std::vector<std::pair<TQChannelEvalFn, TQChannelRunFn>> &pairs()
{
    static const auto p = pairsOf(std::make_integer_sequence<int, kPairs>{});
    return p;
}

// Three scans of 4 bytes, the sample first.
struct Scans {
    uint8_t bytes[12] = {5, 0, 0xAA, 0xAA, 0xF9, 0xFF, 0xAA, 0xAA, 0xFF, 0x7F, 0xAA, 0xAA}; // 5, -7, 32767
};

enum class Path { EachScan, Run, OtherRun };

// Converts the scans and tells which way they went.
Path convertedBy(TQStreamChannel &ch, const std::vector<double> &expected)
{
    const Scans s;
    double values[4] = {0, 0, 0, -1};
    const int runs = runCalls, others = otherCalls;
    EXPECT_EQ(StreamChannelEvalRun(&ch, s.bytes, 4, 3, values), 3);
    EXPECT_EQ(std::vector<double>(values, values + 3), expected);
    EXPECT_EQ(values[3], -1) << "written past the run";
    return runCalls != runs ? Path::Run : otherCalls != others ? Path::OtherRun : Path::EachScan;
}

bool convertedByRun(TQStreamChannel &ch, const std::vector<double> &expected)
{
    return convertedBy(ch, expected) == Path::Run;
}

TEST(ChannelRuns, RegisteredPairsConvertRunsUntilTheirLastRegistrationIsUndone)
{
    TQStreamChannel ch{};
    ch.streamChannelEval = evalPlus<0>;
    const std::vector<double> values{5, -7, 32767};
    const TQChannelEvalFn eval = evalPlus<0>;
    const TQChannelRunFn run = runPlus<0>;

    struct Step {
        const char *what;
        bool reg; // register, else undo
        TQChannelEvalFn eval;
        TQChannelRunFn run;
        int32_t result;
        Path then; // how StreamChannelEvalRun converts afterwards
    } const steps[] = {
        {"undone before any registration", false, eval, run, TQS_ERR_NOT_FOUND, Path::EachScan},
        {"registered", true, eval, run, 0, Path::Run},
        {"registered again (two now)", true, eval, run, 0, Path::Run},
        {"another run for the same value function", true, eval, otherRun, TQS_ERR_RUN_TAKEN, Path::Run},
        {"a null value function", true, nullptr, run, TQS_ERR_FAILED, Path::Run},
        {"a null run", true, eval, nullptr, TQS_ERR_FAILED, Path::Run},
        {"the other run undone", false, eval, otherRun, TQS_ERR_NOT_FOUND, Path::Run},
        {"one undone (one left)", false, eval, run, 0, Path::Run},
        {"the last undone", false, eval, run, 0, Path::EachScan},
        {"undone once too often", false, eval, run, TQS_ERR_NOT_FOUND, Path::EachScan},
        {"the other run, once the first is gone", true, eval, otherRun, 0, Path::OtherRun},
        {"the other run undone", false, eval, otherRun, 0, Path::EachScan},
    };
    for (const Step &s : steps) {
        const int32_t r = s.reg ? StreamRegisterChannelRun(s.eval, s.run) : StreamUnregisterChannelRun(s.eval, s.run);
        EXPECT_EQ(r, s.result) << s.what;
        EXPECT_EQ(convertedBy(ch, values), s.then) << s.what;
    }
}

TEST(ChannelRuns, AFullTableRefusesNewPairsAndTakesThemOnceRoomIsMade)
{
    int taken = 0;
    int32_t refused = 0;
    for (; taken < kPairs; ++taken)
        if ((refused = StreamRegisterChannelRun(pairs()[taken].first, pairs()[taken].second)) != 0)
            break;
    ASSERT_LT(taken, kPairs) << "the table has room for " << kPairs << " pairs";
    EXPECT_EQ(refused, TQS_ERR_RUNS_FULL);
    EXPECT_GE(taken, 32) << "room for the converters of a few drivers";

    // A pair refused converts scan by scan; one registered before, by its run.
    TQStreamChannel ch{};
    ch.streamChannelEval = pairs()[taken].first;
    EXPECT_FALSE(convertedByRun(ch, {5.0 + taken + 1, -7.0 + taken + 1, 32767.0 + taken + 1}));
    ch.streamChannelEval = pairs()[0].first;
    EXPECT_TRUE(convertedByRun(ch, {6, -6, 32768}));

    // A place made free in the middle takes the refused pair.
    ASSERT_EQ(StreamUnregisterChannelRun(pairs()[taken / 2].first, pairs()[taken / 2].second), 0);
    EXPECT_EQ(StreamRegisterChannelRun(pairs()[taken].first, pairs()[taken].second), 0);
    ch.streamChannelEval = pairs()[taken].first;
    EXPECT_TRUE(convertedByRun(ch, {5.0 + taken + 1, -7.0 + taken + 1, 32767.0 + taken + 1}));
    ch.streamChannelEval = pairs()[taken / 2].first;
    EXPECT_FALSE(convertedByRun(ch, {5.0 + taken / 2 + 1, -7.0 + taken / 2 + 1, 32767.0 + taken / 2 + 1}));

    for (int i = 0; i <= taken; ++i)
        if (i != taken / 2) {
            EXPECT_EQ(StreamUnregisterChannelRun(pairs()[i].first, pairs()[i].second), 0) << i;
        }
}

// Readers convert a channel whose pair stays registered while other owners
// register and undo theirs on other threads: every run converts through the
// pair and gives its values.
TEST(ChannelRuns, LookupsWhileOtherPairsComeAndGo)
{
    ASSERT_EQ(StreamRegisterChannelRun(evalPlus<0>, runPlus<0>), 0);
    std::atomic<bool> stop{false};
    std::vector<std::thread> owners;
    for (int t = 0; t < 2; ++t)
        owners.emplace_back([&, t] {
            while (!stop.load())
                for (int i = t; i < 40; i += 2) {
                    EXPECT_EQ(StreamRegisterChannelRun(pairs()[i].first, pairs()[i].second), 0);
                    EXPECT_EQ(StreamUnregisterChannelRun(pairs()[i].first, pairs()[i].second), 0);
                }
        });
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 2; ++t)
        readers.emplace_back([&] {
            TQStreamChannel ch{};
            ch.streamChannelEval = evalPlus<0>;
            const Scans s;
            for (int k = 0; k < 20000; ++k) {
                double values[3] = {};
                const int before = runCalls;
                StreamChannelEvalRun(&ch, s.bytes, 4, 3, values);
                if (values[0] != 5 || values[1] != -7 || values[2] != 32767 || runCalls == before)
                    ++wrong;
            }
        });
    for (std::thread &t : readers)
        t.join();
    stop = true;
    for (std::thread &t : owners)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(StreamUnregisterChannelRun(evalPlus<0>, runPlus<0>), 0);
}

} // namespace
