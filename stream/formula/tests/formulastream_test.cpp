// The formula output stream: refill of asynchronous outputs, the refill
// thread, readers at different paces, capture of computed channels, and the
// refill, parse and readers racing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "formula/formulaengine.h"
#include "core/tests/memstream.h"
#include "core/tests/status_capture.h"
#include "core/tests/stream_test_util.h"
#include "core/streamimpl.h"
#include "tq/platform/thread.h"
#include "tqstream/exports.h"

using namespace tq::formula;

namespace {

double countEval(TQStreamChannel *, const void *scan)
{
    int64_t k;
    std::memcpy(&k, scan, sizeof k);
    return static_cast<double>(k);
}

// An instrument stream with output channels: reservations come as two
// pieces so that the refill crosses from one to the next; every reservation,
// commit and written value is recorded.
struct OutputDevice {
    memstream::Owner owner;
    std::vector<double> block;
    TQPiece pieces[3];
    std::atomic<int> reserves{0}, commits{0};
    int64_t lastReserve = 0, lastCommit = 0;
    std::atomic<int> writes{0};
    int outputs = 1;

    static std::map<const TQStream *, OutputDevice *> &devices()
    {
        static std::map<const TQStream *, OutputDevice *> map;
        return map;
    }
    static OutputDevice *of(TQStream *s) { return devices()[s]; }
    static int64_t reserve(TQStream *s, int64_t n, int64_t *granted, TQPiece **pieces)
    {
        OutputDevice *d = of(s);
        d->reserves++;
        d->lastReserve = n;
        d->block.assign(static_cast<size_t>(n * d->outputs), -1.0);
        const int64_t first = n * 3 / 5;
        d->pieces[0] = {static_cast<uint32_t>(first * 8 * d->outputs), d->block.data()};
        d->pieces[1] = {static_cast<uint32_t>((n - first) * 8 * d->outputs), d->block.data() + first * d->outputs};
        d->pieces[2] = {0, nullptr};
        if (first == 0)
            d->pieces[0] = d->pieces[1], d->pieces[1] = d->pieces[2];
        if (granted)
            *granted = n;
        *pieces = d->pieces;
        return n;
    }
    static int64_t complete(TQStream *s, int64_t n)
    {
        of(s)->commits++;
        of(s)->lastCommit = n;
        return n;
    }
    static void setEval(TQStreamChannel *c, double v, void *scan)
    {
        of(c->stream)->writes++;
        if (scan)
            std::memcpy(static_cast<char *>(scan) + 8 * c->ownerWord, &v, sizeof v);
    }
    static uint16_t outputCount(TQStream *s) { return static_cast<uint16_t>(of(s)->outputs); }
    static TQStreamChannel *outputByIndex(TQStream *s, int32_t i)
    {
        auto &channels = of(s)->owner.channels;
        for (auto &c : channels)
            if (c.ownerWord == i && std::strncmp(c.name, "ao", 2) == 0)
                return &c;
        return nullptr;
    }

    OutputDevice(const char *name, double rate, double recycle, int channels = 1) : outputs(channels)
    {
        std::vector<std::string> names{"in"};
        for (int i = 0; i < channels; ++i)
            names.push_back("ao" + std::to_string(i));
        memstream::make(owner, name, 1000.0, names);
        devices()[owner.stream] = this;
        owner.channels[0].streamChannelEval = countEval;
        for (int i = 0; i < channels; ++i) {
            owner.channels[1 + i].ownerWord = i;
            owner.channels[1 + i].streamChannelSetEval = setEval;
        }
        TQStream *s = owner.stream;
        s->streamSetOutputRate(s, rate);
        s->streamSetOutputRecycleRate(s, recycle);
        setOutputScanSize(s, static_cast<uint16_t>(8 * channels));
        setNumberOutputChannels(s, static_cast<uint16_t>(channels));
        s->streamReserveWrite = reserve;
        s->streamCompleteWrite = complete;
        s->streamGetNumberOutputChannels = outputCount;
        s->streamGetOutputChannelByIndex = outputByIndex;
    }
    ~OutputDevice()
    {
        devices().erase(owner.stream);
        destroyStream(owner.stream);
    }
};

struct Engine {
    TQFormulaEngine *e = NewFormulaEngine(nullptr);
    char message[TQ_FORMULA_MESSAGE_SIZE] = "";
    ~Engine() { e->formulaEngineRelease(&e); }
    void add(const char *name, const char *op, const char *expression) { e->formulaEngineAddFormula(e, name, op, expression); }
};

TEST(FormulaRefill, WritesOneRecyclePeriodFromIndexZero)
{
    OutputDevice dev("ao", 1000.0, 10.0);
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, dev.owner.stream);
    eng.add("<ao-ao0>", " <- ", "async scan()");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0) << eng.message;
    EXPECT_EQ(dev.owner.channels[1].outputSyncType, 1);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(eng.e->refillOutputs(eng.e, eng.message), 0);
        EXPECT_STREQ(eng.message, "Success");
        EXPECT_EQ(dev.lastReserve, 100);
        EXPECT_EQ(dev.lastCommit, 100);
        ASSERT_EQ(dev.block.size(), 100u);
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(dev.block[i], i) << "pass " << pass;
    }
}

TEST(FormulaRefill, OneScanPerPassIsWrittenEveryPass)
{
    // With n = 1 every pass evaluates scan index 0 again: the value cached
    // by the last pass must not stand in for this pass's write.
    OutputDevice dev("ao", 10.0, 10.0);
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, dev.owner.stream);
    eng.add("<ao-ao0>", " <- ", "async 7");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0) << eng.message;
    for (int pass = 1; pass <= 3; ++pass) {
        eng.e->refillOutputs(eng.e, eng.message);
        EXPECT_EQ(dev.writes.load(), pass);
        ASSERT_EQ(dev.block.size(), 1u);
        EXPECT_EQ(dev.block[0], 7);
    }
}

TEST(FormulaRefill, Messages)
{
    {
        Engine eng;
        EXPECT_EQ(eng.e->refillOutputs(eng.e, eng.message), -11);
        EXPECT_STREQ(eng.message, "Formulas not parsed.");
        eng.e->parseFormulas(eng.e, nullptr);
        EXPECT_EQ(eng.e->refillOutputs(eng.e, eng.message), 0);
        EXPECT_STREQ(eng.message, "No stream collection.");
    }
    {
        // An input-only member after the output member: its message is the
        // last one, the output member was refilled all the same.
        OutputDevice dev("ao", 1000.0, 10.0);
        memstream::Owner input;
        memstream::make(input, "in", 100.0, {"x"});
        Engine eng;
        eng.e->formulaEngineRegisterStream(eng.e, dev.owner.stream);
        eng.e->formulaEngineRegisterStream(eng.e, input.stream);
        eng.add("<ao-ao0>", " <- ", "async 1");
        ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
        EXPECT_EQ(eng.e->refillOutputs(eng.e, eng.message), 0);
        EXPECT_STREQ(eng.message, "Output rate or recyle rate is zero.");
        EXPECT_EQ(dev.commits.load(), 1);
        eng.e->formulaEngineUnregisterAllStreams(eng.e);
        destroyStream(input.stream);
    }
    {
        // A recycle rate above the output rate ends the walk.
        OutputDevice slow("a1", 10.0, 20.0), later("a2", 1000.0, 10.0);
        Engine eng;
        eng.e->formulaEngineRegisterStream(eng.e, slow.owner.stream);
        eng.e->formulaEngineRegisterStream(eng.e, later.owner.stream);
        eng.add("<a1-ao0>", " <- ", "async 1");
        eng.add("<a2-ao0>", " <- ", "async 2");
        ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
        EXPECT_EQ(eng.e->refillOutputs(eng.e, eng.message), -8);
        EXPECT_STREQ(eng.message, "Recycle rate larger than output rate.");
        EXPECT_EQ(later.reserves.load(), 0);
    }
}

TEST(FormulaRefill, NeverCommitsChannelsNoFormulaWrites)
{
    OutputDevice dev("ao", 1000.0, 100.0, 2);
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, dev.owner.stream);
    eng.add("<ao-ao0>", " <- ", "async 1");
    eng.add("<ao-ao1>", " <- ", "async 2");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
    eng.e->refillOutputs(eng.e, eng.message);
    EXPECT_EQ(dev.commits.load(), 1);
    EXPECT_EQ(dev.block[0], 1);
    EXPECT_EQ(dev.block[1], 2);
    // One asynchronous channel loses its formula: the stream keeps playing
    // what it has rather than get scans half written.
    eng.e->formulaEngineRmvFormula(eng.e, "<ao-ao1>");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
    eng.e->refillOutputs(eng.e, eng.message);
    EXPECT_EQ(dev.reserves.load(), 1);
    EXPECT_EQ(dev.commits.load(), 1);
}

bool waitFor(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(FormulaRefill, ThreadStartsOnceAndStopsWithTheEngine)
{
    OutputDevice dev("ao", 1000.0, 10.0);
    auto eng = std::make_unique<Engine>();
    TQFormulaEngine *e = eng->e;
    TQStream *out = e->outputStream;
    // Without a collection, and without a member whose output is on,
    // nothing starts.
    EXPECT_EQ(out->streamSetOutputEnable(out, 1), 0);
    EXPECT_EQ(out->streamGetOutputEnable(out), 0);
    e->formulaEngineRegisterStream(e, dev.owner.stream);
    eng->add("<ao-ao0>", " <- ", "async scan()");
    ASSERT_EQ(e->parseFormulas(e, eng->message), 0);
    EXPECT_EQ(out->streamSetOutputEnable(out, 1), 0);
    EXPECT_EQ(out->streamGetOutputEnable(out), 0);
    dev.owner.stream->outputEnable = 1;
    EXPECT_EQ(out->streamSetOutputEnable(out, 1), 0);
    EXPECT_EQ(out->streamSetOutputEnable(out, 1), 0);
    EXPECT_EQ(out->streamGetOutputEnable(out), 1);
    ASSERT_TRUE(waitFor([&] { return dev.commits.load() >= 3; }));
    // Stopped: no pass after the one under way.
    EXPECT_EQ(out->streamSetOutputEnable(out, 0), 0);
    EXPECT_EQ(out->streamGetOutputEnable(out), 0);
    // Started again, then released while running: release waits for it.
    EXPECT_EQ(out->streamSetOutputEnable(out, 1), 0);
    const int before = dev.commits.load();
    ASSERT_TRUE(waitFor([&] { return dev.commits.load() > before; }));
    eng.reset();
    const int after = dev.commits.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(dev.commits.load(), after);
}

// Members "s" (channel x = scan count) at 1000 scans/s for reader tests.
struct Source {
    memstream::Owner owner;
    Source()
    {
        memstream::make(owner, "s", 1000.0, {"x"});
        owner.channels[0].streamChannelEval = countEval;
    }
    ~Source() { destroyStream(owner.stream); }
};

TEST(FormulaStream, ReadersAtDifferentPaces)
{
    Source src;
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, src.owner.stream);
    eng.add("y", "=", "<s-x> * 2 'v'");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
    src.owner.write(1000);
    TQStream *out = eng.e->outputStream;
    TQReader *fast = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
    TQReader *slow = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(fast, nullptr);
    ASSERT_NE(slow, nullptr);
    // Peeking with nothing computed computes exactly one scan.
    int64_t count = 0, position = -1;
    ASSERT_NE(slow->readerPeek(slow, &count, &position), nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(position, 0);
    std::vector<double> got[2];
    auto read = [&](TQReader *r, std::vector<double> &into, int64_t n) {
        TQPiece *pieces = nullptr;
        uint32_t k = 0;
        const int64_t g = r->readerReserveRead(r, &pieces, &k, n);
        for (uint32_t p = 0; p < k; ++p)
            for (uint32_t i = 0; i < pieces[p].length / 8; ++i)
                into.push_back(static_cast<const double *>(pieces[p].data)[i]);
        r->readerCompleteRead(r, g);
        return g;
    };
    while (got[0].size() < 600) {
        read(fast, got[0], 37);
        if (got[0].size() % 3 == 0)
            read(slow, got[1], 10);
    }
    // The lagging reader also counts what is computed and waiting for it.
    EXPECT_EQ(slow->readerAvail(slow), 1000 - static_cast<int64_t>(got[1].size()));
    while (got[1].size() < 600)
        read(slow, got[1], 10);
    for (int k = 0; k < 600; ++k) {
        ASSERT_EQ(got[0][k], 2.0 * k);
        ASSERT_EQ(got[1][k], 2.0 * k);
    }
    fast->readerRelease(&fast);
    slow->readerRelease(&slow);
}

struct Parsed {
    TQParseContext ctx{};
    int32_t result = 0;
    std::string data;
    ~Parsed() { tq::stream::parseContextFree(&ctx); }
};

TEST(FormulaStream, CaptureOfComputedChannelsReadsBack)
{
    for (int bigFile : {0, 1}) {
        SCOPED_TRACE(bigFile);
        Source src;
        Engine eng;
        eng.e->formulaEngineRegisterStream(eng.e, src.owner.stream);
        eng.add("y", "=", "<s-x> + 0.5 'volts'");
        eng.add("z", "=", "-<s-x> 'amps'");
        ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
        src.owner.write(300);
        TQStream *out = eng.e->outputStream;
        out->streamSetBigFile(out, bigFile);
        const std::string path = streamtest::scratchDir("formulacapture") + "/f" + std::to_string(bigFile) + ".stm";
        EXPECT_EQ(out->streamCaptureClose(out), -10);
        ASSERT_EQ(out->streamCaptureOpen(out, path.c_str(), 0), 0);
        EXPECT_EQ(out->streamCaptureOpen(out, path.c_str(), 0), -9);
        TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
        std::vector<double> buffer(2 * 300);
        EXPECT_EQ(reader->readerRead(reader, buffer.data(), 300), 300);
        ASSERT_EQ(out->streamCaptureClose(out), 0);
        reader->readerRelease(&reader);

        Parsed parsed;
        const int fd = ACQDOpenFile(path.c_str(), O_RDONLY, 0);
        ASSERT_GE(fd, 0);
        parsed.result = ACQDParse(fd, &parsed.ctx);
        EXPECT_EQ(parsed.ctx.formType, bigFile ? TQ_FORM_ST64 : TQ_FORM_STRM);
        const auto &h = parsed.ctx.u.strm;
        const int32_t channels = bigFile ? parsed.ctx.u.st64.channelCount : h.channelCount;
        TQCaptureChannel *described = bigFile ? parsed.ctx.u.st64.channels : h.channels;
        const uint64_t length = bigFile ? parsed.ctx.u.st64.dataLength : h.dataLength;
        const uint64_t at = bigFile ? parsed.ctx.u.st64.dataPosition : h.dataPosition;
        ASSERT_EQ(channels, 2);
        EXPECT_STREQ(described[0].name, "y");
        EXPECT_STREQ(described[0].eu, "volts");
        EXPECT_EQ(described[1].kind, TQ_XFRM_DOUBLE);
        ASSERT_EQ(length, 300u * 16);
        std::vector<double> data(600);
        ASSERT_EQ(pread(fd, data.data(), length, static_cast<off_t>(at)), static_cast<ssize_t>(length));
        ACQDCloseReadFile(fd);
        for (int k = 0; k < 300; ++k) {
            ASSERT_EQ(data[2 * k], k + 0.5);
            ASSERT_EQ(data[2 * k + 1], -k);
        }
    }
}

TEST(FormulaStream, RefillParseAndReadersRace)
{
    // Bounded stress: the refill thread, re-parses and two readers at once.
    OutputDevice dev("ao", 1000.0, 50.0);
    dev.owner.channels[0].streamChannelEval = countEval;
    dev.owner.stream->outputEnable = 1;
    Engine eng;
    TQFormulaEngine *e = eng.e;
    e->formulaEngineRegisterStream(e, dev.owner.stream);
    eng.add("<ao-ao0>", " <- ", "async autocycle(0, 1, 10)");
    eng.add("y", "=", "<ao-in> * 3 'v'");
    ASSERT_EQ(e->parseFormulas(e, eng.message), 0);
    TQStream *out = e->outputStream;
    // The in-memory source is not written while others read it (a driver
    // would write under its own lock): its scans are all there beforehand.
    dev.owner.write(60000);
    ASSERT_EQ(out->streamSetOutputEnable(out, 1), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
            double scan[8];
            while (!stop) {
                int64_t position = 0, count = 0;
                // Positions restart with every parse; values stay three
                // times a scan count.
                if (reader->readerPeek(reader, &count, &position) && reader->readerRead(reader, scan, 1) == 1 &&
                    std::fmod(scan[0], 3.0) != 0.0)
                    bad++;
            }
            reader->readerRelease(&reader);
        });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        e->formulaEngineAddFormula(e, "y", "=", "<ao-in> * 3 'v'");
        e->parseFormulas(e, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop = true;
    for (auto &t : readers)
        t.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(dev.commits.load(), 0);
}

// ---- streams with output channels only ------------------------------------------------

// An instrument stream that only drives outputs, as an analog-output module's:
// its output channels are found by name, but it has no input channel for the
// collection to line up.
struct OutputOnlyDevice : OutputDevice {
    OutputOnlyDevice(const char *name, double rate, double recycle) : OutputDevice(name, rate, recycle)
    {
        setNumberChannels(owner.stream, 0);
    }
};

TEST(FormulaOutputTargets, SyncOutputsReachAStreamWithoutInputChannels)
{
    Source src;
    OutputOnlyDevice dev("aout", 1000.0, 10.0);
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, src.owner.stream);
    eng.e->formulaEngineRegisterStream(eng.e, dev.owner.stream);
    eng.add("y", "=", "<s-x> 'v'");
    eng.add("<aout-ao0>", " <- ", "sync 5");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0) << eng.message;
    EXPECT_EQ(dev.owner.channels[1].outputSyncType, 2);
    src.owner.write(40);
    TQStream *out = eng.e->outputStream;
    TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
    std::vector<double> values(40);
    ASSERT_EQ(reader->readerRead(reader, values.data(), 40), 40);
    // Once per produced scan, as the channel's current value: the input
    // scans it was evaluated with are left as they were.
    EXPECT_EQ(dev.writes.load(), 40);
    for (int k = 0; k < 40; ++k) {
        ASSERT_EQ(values[k], k);
        ASSERT_EQ(src.owner.ring[k], k) << "input scan written by an output";
    }
    reader->readerUnlink(reader);
    reader->readerRelease(&reader);
}

TEST(FormulaOutputTargets, RefillFillsAStreamWithoutInputChannels)
{
    OutputOnlyDevice dev("aout", 1000.0, 10.0);
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, dev.owner.stream);
    eng.add("<aout-ao0>", " <- ", "async autocycle(0, 100, 10)");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0) << eng.message;
    EXPECT_EQ(dev.owner.channels[1].outputSyncType, 1);
    EXPECT_EQ(eng.e->refillOutputs(eng.e, eng.message), 0);
    EXPECT_STREQ(eng.message, "Success");
    EXPECT_EQ(dev.reserves.load(), 1);
    EXPECT_EQ(dev.lastReserve, 100);
    EXPECT_EQ(dev.writes.load(), 100);
    EXPECT_EQ(dev.commits.load(), 1);
    EXPECT_EQ(dev.lastCommit, 100);
    // A target that names no channel of any member still fails.
    eng.add("<aout-nope>", " <- ", "async 1");
    EXPECT_EQ(eng.e->parseFormulas(eng.e, eng.message), -1);
    EXPECT_STREQ(eng.message, "Expression for <aout-nope>: ");
}

// ---- capture names ----------------------------------------------------------------------

TEST(FormulaStream, CaptureTakesAnyNameAndFailsOnlyWhenNoFileCanBeMade)
{
    Source src;
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, src.owner.stream);
    eng.add("y", "=", "<s-x> 'v'");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
    src.owner.write(10);
    TQStream *out = eng.e->outputStream;
    const std::string dir = streamtest::scratchDir("formulacapturenames");
    for (const char *name : {"1 run-a.b", "-", "_x y"}) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        ASSERT_EQ(out->streamCaptureOpen(out, path.c_str(), 0), 0);
        EXPECT_EQ(access((path + ".ad").c_str(), F_OK), 0) << "raw scans under the name with .ad appended";
        TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
        double value[10];
        EXPECT_EQ(reader->readerRead(reader, value, 10), 10);
        reader->readerUnlink(reader);
        reader->readerRelease(&reader);
        ASSERT_EQ(out->streamCaptureClose(out), 0);
        TQStream *replay = nullptr;
        ASSERT_EQ(OpenFileStream(path.c_str(), &replay), 0);
        EXPECT_EQ(replay->streamGetScansWritten(replay), 10);
        replay->streamRelease(&replay);
    }
    const std::string missing = dir + "/no-such-directory/f";
    EXPECT_EQ(out->streamCaptureOpen(out, missing.c_str(), 0), -11);
    EXPECT_EQ(out->streamCaptureClose(out), -10);
}

// ---- threads ------------------------------------------------------------------------------

TEST(FormulaStream, ReadersClosedOnTwoThreadsAtOnce)
{
    Source src;
    Engine eng;
    eng.e->formulaEngineRegisterStream(eng.e, src.owner.stream);
    eng.add("y", "=", "<s-x> 'v'");
    ASSERT_EQ(eng.e->parseFormulas(eng.e, eng.message), 0);
    TQStream *out = eng.e->outputStream;
    constexpr int kReaders = 64;
    for (int round = 0; round < 20; ++round) {
        std::vector<TQReader *> readers;
        for (int i = 0; i < kReaders; ++i)
            readers.push_back(out->streamNewReader(out, 0, TQ_WHENCE_OLDEST));
        std::atomic<int> ready{0};
        auto close = [&](int first) {
            ready++;
            while (ready.load() < 2) {
            }
            for (int i = first; i < kReaders; i += 2)
                ASSERT_EQ(tqstream_readerClose(readers[static_cast<size_t>(i)]), VI_SUCCESS);
        };
        std::thread a(close, 0), b(close, 1);
        a.join();
        b.join();
        ASSERT_EQ(out->readers.first, nullptr) << "round " << round;
    }
}

TEST(FormulaEngineLocks, ParsesDoNotWaitOnReadersUnderTheStreamLock)
{
    // Readers that read under the output stream's lock hold it and the
    // collection's monitor lock while they compute; a parse must take the
    // locks in the same order rather than stall on a time-out.
    streamtest::DebugCapture debug;
    Source src;
    src.owner.write(1 << 16);
    Engine eng;
    TQFormulaEngine *e = eng.e;
    e->formulaEngineRegisterStream(e, src.owner.stream);
    eng.add("y", "=", "<s-x> 'v'");
    ASSERT_EQ(e->parseFormulas(e, eng.message), 0);
    TQStream *out = e->outputStream;
    std::atomic<bool> stop{false};
    std::atomic<int> locked{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
            double value;
            while (!stop) {
                if (out->streamLock(out, 5000) == 0) {
                    locked++;
                    reader->readerRead(reader, &value, 1);
                    out->streamUnlock(out);
                }
                std::this_thread::yield();
            }
            tqstream_readerClose(reader);
        });
    while (locked.load() < 10)
        std::this_thread::yield();
    int parses = 0;
    double slowest = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        e->formulaEngineAddFormula(e, "y", "=", parses % 2 ? "<s-x> 'v'" : "<s-x> * 2 'v'");
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = e->parseFormulas(e, eng.message);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        slowest = std::max(slowest, seconds);
        ASSERT_EQ(result, 0) << eng.message;
        ++parses;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    for (auto &t : readers)
        t.join();
    EXPECT_GT(parses, 10);
    EXPECT_LT(slowest, 0.5) << "a parse waited for a lock time-out";
    EXPECT_EQ(debug.text().find("can't get mutex"), std::string::npos) << debug.text();
}

} // namespace
