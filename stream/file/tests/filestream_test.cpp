// File streams: what OpenFileStream makes of STRM, ST64 and ACQD files (the
// stream's settings, its channels and their converters, files it refuses),
// round trips through capture, the engineering-units lookup and the text
// export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sys/stat.h>

#include "filestream_test_util.h"
#include "file/filestream_impl.h"

using namespace filetest;

namespace {

std::string dir() { return streamtest::scratchDir("filestream"); }

int32_t openSpec(const std::string &name, const StrmSpec &fileLayout, StreamHolder &holder)
{
    const std::string path = dir() + "/" + name;
    if (!writeStrm(path, fileLayout))
        return 1000;
    return OpenFileStream(path.c_str(), &holder.stream);
}

double eval(TQStream *stream, const char *name, const std::string &scan)
{
    TQStreamChannel *ch = stream->streamGetChannel(stream, name);
    return ch ? ch->streamChannelEval(ch, scan.data()) : -12345.0;
}

double raw(TQStream *stream, const char *name, const std::string &scan)
{
    TQStreamChannel *ch = stream->streamGetChannel(stream, name);
    return ch ? ch->streamChannelEvalRaw(ch, scan.data()) : -12345.0;
}

// First full scan of a stream, through a reader.
std::string firstScan(TQStream *stream)
{
    ReaderHolder r;
    r.reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
    std::string scan(stream->streamGetScanSize(stream), '\0');
    if (!r.reader || r.reader->readerRead(r.reader, scan.data(), 1) != 1)
        return {};
    return scan;
}

} // namespace

TEST(FileStream, SettingsComeFromTheFile)
{
    struct Case {
        const char *file;
        const char *name;
        bool wide;
        double clock;
        int32_t decimation;
        double rate;
        int32_t storedDecimation;
    } cases[] = {
        {"run1.stm", "run1", false, 1000.0, 4, 250.0, 4},
        {"C:\\data\\run1.stm", "run1", true, 1000.0, 1, 1000.0, 1},
        {"a.b.stm", "a.b", false, 500.0, 2, 250.0, 2},
        {"noext", "noext", true, 10.0, 1, 10.0, 1},
        {"deci0.stm", "deci0", false, 200.0, 0, 200.0, 1}, // never recorded: replayed at the clock rate
    };
    for (const Case &c : cases) {
        StrmSpec fileLayout = indexedFile(10);
        fileLayout.wide = c.wide;
        fileLayout.rate = c.clock;
        fileLayout.decimation = c.decimation;
        fileLayout.start = 1234567890;
        StreamHolder s;
        ASSERT_EQ(openSpec(c.file, fileLayout, s), 0) << c.file;
        EXPECT_STREQ(s.stream->streamGetName(s.stream), c.name);
        EXPECT_EQ(s.stream->streamGetRate(s.stream), c.rate) << c.file;
        EXPECT_EQ(s.stream->streamGetDecimation(s.stream), c.storedDecimation) << c.file;
        EXPECT_EQ(s.stream->streamGetStartTime(s.stream), 1234567890);
        EXPECT_EQ(s.stream->streamGetNumberChannels(s.stream), 2);
        EXPECT_EQ(s.stream->streamGetScanSize(s.stream), 8);
        EXPECT_EQ(s.stream->streamGetScansWritten(s.stream), 10);
        EXPECT_EQ(s.stream->refCount, 1);
    }
}

TEST(FileStream, ChannelLookupAndWhatAReplayCannotDo)
{
    StreamHolder s;
    ASSERT_EQ(openSpec("lookup.stm", indexedFile(3), s), 0);
    TQStream *st = s.stream;
    EXPECT_NE(st->streamGetChannel(st, "index"), nullptr);
    EXPECT_EQ(st->streamGetChannel(st, "INDEX"), nullptr);
    EXPECT_EQ(st->streamGetChannel(st, nullptr), nullptr);
    EXPECT_EQ(st->streamGetChannelByIndex(st, 1), st->streamGetChannel(st, "pattern"));
    EXPECT_EQ(st->streamGetChannelByIndex(st, 2), nullptr);
    EXPECT_EQ(st->streamGetChannelByIndex(st, -1), nullptr);
    EXPECT_EQ(st->streamGetChannelByIndex(st, 0)->stream, st);
    int64_t granted = 5;
    TQPiece *pieces = reinterpret_cast<TQPiece *>(1);
    EXPECT_EQ(st->streamReserveWrite(st, 10, &granted, &pieces), TQS_ERR_NOTSUPPORTED);
    EXPECT_EQ(granted, 0);
    EXPECT_EQ(pieces, nullptr);
    EXPECT_EQ(st->streamCompleteWrite(st, 10), TQS_ERR_NOTSUPPORTED);
    EXPECT_EQ(st->streamUnused(st), TQS_ERR_NOTSUPPORTED);
    EXPECT_EQ(st->streamCaptureClose(st), 0);
}

TEST(FileStream, EveryKindConvertsItsSample)
{
    StrmSpec fileLayout;
    fileLayout.scansPerPoll = 1;
    fileLayout.channels = {
        {"s16", "V", TQ_XFRM_POLYNOMIAL, {1, 0.5}, {10, 2}},       // @0
        {"u16", "V", TQ_XFRM_UINT16, {}, {}},                      // @2
        {"i14", "V", TQ_XFRM_INT14, {0, 1}, {}},                   // @4
        {"bridge", "ue", TQ_XFRM_BRIDGE, {0, 0.001}, {0, 1000}},   // @6
        {"i32", "n", TQ_XFRM_INT32, {0, 0.5}, {}},                 // @8
        {"freq", "Hz", TQ_XFRM_FREQUENCY, {0, 1e7}, {}},           // @12
        {"freqraw", "Hz", TQ_XFRM_FREQUENCY, {}, {}},              // @20
        {"bit0", "b", TQ_XFRM_BIT16, {0}, {}},                     // @28, one word for three
        {"bit3", "b", TQ_XFRM_BIT16, {3}, {}},
        {"bit15", "b", TQ_XFRM_BIT16, {15}, {}},
        {"event2", "b", TQ_XFRM_EVENT_BIT, {2}, {}},               // @30
        {"at", "b", TQ_XFRM_BIT16_AT, {3, 2}, {}},                 // bit 3 of u16's word
        {"dbl", "x", TQ_XFRM_DOUBLE, {}, {}},                      // @32
        {"other", "x", 42, {1, 2}, {}},                            // no bytes, no value
        {"poll4", "b", TQ_XFRM_POLLED_BIT32, {4}, {}},             // @40 in the poll record
        {"poll16", "b", TQ_XFRM_POLLED_BIT16, {0}, {}},            // @44
    };
    fileLayout.data = Bytes()
                    .i16(-100)
                    .u16(65000)
                    .u16(0xFFFC)
                    .i16(100)
                    .i32(-7)
                    .i32(5)
                    .i32(50000)
                    .i32(3)
                    .i32(100)
                    .u16(0x8001)
                    .u16(0x0004)
                    .f64(3.25)
                    .bytes;
    fileLayout.poll = Bytes().u32(0x10).u16(0xFFFF).bytes;
    StreamHolder s;
    ASSERT_EQ(openSpec("kinds.stm", fileLayout, s), 0);
    TQStream *st = s.stream;
    ASSERT_EQ(st->streamGetScanSize(st), 46);
    ASSERT_EQ(st->streamGetScansWritten(st), 1);
    const std::string scan = firstScan(st);
    ASSERT_EQ(scan.size(), 46u);

    struct Want {
        const char *name;
        double value;
        double rawValue; // NaN: no raw value
    } wants[] = {
        {"s16", 10 + 2 * (1 + 0.5 * -100), -100},
        {"u16", 65000, 65000},
        {"i14", -1, -1},
        {"bridge", 500, 100},
        {"i32", -3.5, -7},
        {"freq", 1000, NAN},
        {"freqraw", 3 + 100 / 1e5, NAN},
        {"bit0", 1, 0x8001},
        {"bit3", 0, 0x8001},
        {"bit15", 1, 0x8001},
        {"event2", 1, NAN},
        {"at", 1, NAN}, // 65000 = 0xFDE8
        {"dbl", 3.25, NAN},
        {"poll4", 1, NAN},
        {"poll16", 0, NAN}, // polled 16-bit bits read as 0
    };
    for (const Want &w : wants) {
        EXPECT_DOUBLE_EQ(eval(st, w.name, scan), w.value) << w.name;
        if (std::isnan(w.rawValue))
            EXPECT_TRUE(std::isnan(raw(st, w.name, scan))) << w.name;
        else
            EXPECT_EQ(raw(st, w.name, scan), w.rawValue) << w.name;
    }
    EXPECT_TRUE(std::isnan(eval(st, "other", scan)));
    EXPECT_TRUE(std::isnan(raw(st, "other", scan)));

    // A frequency without counts is 0.
    std::string idle = scan;
    memset(idle.data() + 12, 0, 8);
    EXPECT_EQ(eval(st, "freq", idle), 0.0);
}

namespace {

// Random bytes, the same every run.
std::string noise(size_t n, uint32_t seed)
{
    std::string out(n, '\0');
    for (char &c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

uint64_t bitsOf(double v)
{
    uint64_t b;
    memcpy(&b, &v, sizeof b);
    return b;
}

// Every channel of the stream converted over all its scans in one run each
// equals, to the bit, its value function applied scan by scan.
void expectRunsEqualScanByScan(TQStream *stream)
{
    const uint32_t size = stream->streamGetScanSize(stream);
    const int64_t n = stream->streamGetScansWritten(stream);
    ASSERT_GT(n, 1);
    std::string scans(static_cast<size_t>(n) * size, '\0');
    ReaderHolder r;
    r.reader = stream->streamNewReader(stream, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(r.reader, nullptr);
    ASSERT_EQ(r.reader->readerRead(r.reader, scans.data(), n), n);
    const int32_t count = stream->streamGetNumberChannels(stream);
    ASSERT_GT(count, 0);
    for (int32_t c = 0; c < count; ++c) {
        TQStreamChannel *ch = stream->streamGetChannelByIndex(stream, c);
        ASSERT_NE(ch, nullptr);
        std::vector<double> run(static_cast<size_t>(n) + 1, -1.0);
        ASSERT_EQ(StreamChannelEvalRun(ch, scans.data(), size, n, run.data()), n) << ch->name;
        EXPECT_EQ(run[static_cast<size_t>(n)], -1.0) << ch->name << ": written past the run";
        for (int64_t k = 0; k < n; ++k)
            ASSERT_EQ(bitsOf(run[static_cast<size_t>(k)]),
                      bitsOf(ch->streamChannelEval(ch, scans.data() + static_cast<size_t>(k) * size)))
                << ch->name << " scan " << k;
    }
}

} // namespace

// Converting a run of scans of one channel in one call gives the values of
// its value function, for every kind a file can hold.
TEST(FileStream, RunsOfScansConvertAsScanByScan)
{
    constexpr int kScans = 300;
    struct Case {
        const char *what;
        std::vector<Channel> channels;
        int32_t scansPerPoll;
        size_t dataScan, pollRecord;
    } const cases[] = {
        {"every kind of a STRM file",
         {{"s16", "V", TQ_XFRM_POLYNOMIAL, {1, 0.5}, {10, 2}},
          {"line", "V", TQ_XFRM_POLYNOMIAL, {0.25, 10.0 / 32768}, {}},
          {"cubic", "V", TQ_XFRM_POLYNOMIAL, {1, -2, 0.5, 1e-9}, {}},
          {"plain", "V", TQ_XFRM_POLYNOMIAL, {}, {}},
          {"u16", "V", TQ_XFRM_UINT16, {3, 0.125}, {}},
          {"u16raw", "V", TQ_XFRM_UINT16, {}, {}},
          {"i14", "V", TQ_XFRM_INT14, {0, 1, 1e-3}, {}},
          {"i14line", "V", TQ_XFRM_INT14, {2, 3}, {}},
          {"bridge", "ue", TQ_XFRM_BRIDGE, {0, 0.001}, {0, 1000}},
          {"bridgeraw", "ue", TQ_XFRM_BRIDGE, {}, {}},
          {"i32", "n", TQ_XFRM_INT32, {0, 0.5}, {}},
          {"i32sensor", "n", TQ_XFRM_INT32, {0, 0.5}, {1, 1, 1}},
          {"freq", "Hz", TQ_XFRM_FREQUENCY, {0, 1e7}, {}},
          {"freqraw", "Hz", TQ_XFRM_FREQUENCY, {}, {}},
          {"bit0", "b", TQ_XFRM_BIT16, {0}, {}},
          {"bit15", "b", TQ_XFRM_BIT16, {15}, {}},
          {"event2", "b", TQ_XFRM_EVENT_BIT, {2}, {}},
          {"at", "b", TQ_XFRM_BIT16_AT, {3, 2}, {}},
          {"dbl", "x", TQ_XFRM_DOUBLE, {}, {}},
          {"other", "x", 42, {1, 2}, {}},
          {"poll4", "b", TQ_XFRM_POLLED_BIT32, {4}, {}},
          {"poll16", "b", TQ_XFRM_POLLED_BIT16, {0}, {}}},
         3, 56, 6},
        {"thermocouples with a reference",
         {{"celsius", "degC", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {4, 3}},
          {"fahrenheit", "degF", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {4, 2}},
          {"scaled", "kelvins", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {1, 2, 4, 1}},
          {"cold", "degC", TQ_XFRM_POLYNOMIAL, {0, 0.01}, {}}},
         0, 8, 0},
        {"a carrier recording with sites",
         {{"DigitalChannel1", "binary", 8, {1, 0, 32}, {}}, {"x", "binary", 8, {65536, 4, 32}, {}}},
         0, 32, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        StrmSpec fileLayout;
        fileLayout.channels = c.channels;
        fileLayout.scansPerPoll = c.scansPerPoll;
        fileLayout.data = noise(kScans * c.dataScan, 7);
        if (c.pollRecord)
            fileLayout.poll = noise((kScans / c.scansPerPoll + 1) * c.pollRecord, 11);
        StreamHolder s;
        ASSERT_EQ(openSpec("runs.stm", fileLayout, s), 0);
        ASSERT_EQ(s.stream->streamGetScansWritten(s.stream), kScans);
        expectRunsEqualScanByScan(s.stream);
    }

    // ACQD channels: volts, bridge, thermocouples against their reference.
    AcqdSpec acqd;
    acqd.channels = {acqdChannel("v", "volts", "V", 3276.8, 100.0, 0.5),
                     acqdChannel("b", "bridge", "ue", 3276.8, 0.0, 0.0, "", 2.0, 2.1),
                     acqdChannel("k", "type_k", "degF"), acqdChannel("ref", "TC_Reference", "degC", 100.0)};
    acqd.data = noise(kScans * 8, 13);
    const std::string path = dir() + "/runs_acqd.stm";
    ASSERT_TRUE(writeAcqd(path, acqd));
    StreamHolder a;
    ASSERT_EQ(OpenFileStream(path.c_str(), &a.stream), 0);
    expectRunsEqualScanByScan(a.stream);

    // A channel of any other owner goes through its value function.
    TQStreamChannel other{};
    other.streamChannelEval = [](TQStreamChannel *, const void *scan) {
        return static_cast<double>(*static_cast<const uint8_t *>(scan));
    };
    const uint8_t bytes[] = {5, 0, 7, 0, 9, 0};
    double values[3] = {};
    ASSERT_EQ(StreamChannelEvalRun(&other, bytes, 2, 3, values), 3);
    EXPECT_EQ(std::vector<double>(values, values + 3), (std::vector<double>{5, 7, 9}));
    // Nothing to convert: nothing written.
    EXPECT_EQ(StreamChannelEvalRun(&other, bytes, 2, 0, values), 0);
    EXPECT_EQ(StreamChannelEvalRun(nullptr, bytes, 2, 3, values), 0);
    EXPECT_EQ(StreamChannelEvalRun(&other, bytes, 2, 3, nullptr), 0);
}

TEST(FileStream, WordRunsShareOneWord)
{
    struct Case {
        std::vector<int32_t> kinds;
        uint16_t scanSize;
        std::vector<uint16_t> offsets;
    } cases[] = {
        {{8, 8, 8}, 2, {0, 0, 0}},
        {{8, 13}, 4, {0, 2}},
        {{13, 13, 1, 13}, 6, {0, 0, 2, 4}},
        {{8, 12, 8}, 4, {0, 0, 2}}, // a channel of another kind ends the run
    };
    for (const Case &c : cases) {
        StrmSpec fileLayout;
        for (size_t i = 0; i < c.kinds.size(); ++i)
            fileLayout.channels.push_back({"c" + std::to_string(i), "b", c.kinds[i], {static_cast<double>(i), 0}, {}});
        fileLayout.data = std::string(c.scanSize * 2, '\0');
        StreamHolder s;
        ASSERT_EQ(openSpec("runs.stm", fileLayout, s), 0);
        EXPECT_EQ(s.stream->streamGetScanSize(s.stream), c.scanSize);
        auto *p = tq::stream::fileStreamOf(s.stream);
        for (size_t i = 0; i < c.kinds.size(); ++i) {
            if (c.kinds[i] != TQ_XFRM_BIT16_AT) {
                EXPECT_EQ(p->channels[i].offset, c.offsets[i]) << "channel " << i;
            }
        }
    }
}

// The digital carrier records kind-8 channels whose coefficient is the bit
// mask in a 32-bit word of a four-word scan; every other recorder of kind 8
// writes bit numbers of a 16-bit word run. Both replay side by side.
TEST(FileStream, CarrierRecordingsAndBitNumberRecordingsSideBySide)
{
    const auto words = [](std::vector<std::vector<uint32_t>> scans) {
        Bytes b;
        for (const auto &scan : scans)
            for (uint32_t w : scan)
                b.u32(w);
        return b.bytes;
    };
    const auto halves = [](std::vector<uint16_t> scans) {
        Bytes b;
        for (uint16_t w : scans)
            b.u16(w);
        return b.bytes;
    };
    const Channel analog{"a", "V", TQ_XFRM_POLYNOMIAL, {0, 1}, {}};
    struct Case {
        const char *what;
        std::vector<Channel> channels;
        std::string data;
        uint16_t scanSize;
        std::vector<std::vector<double>> values; // per scan, per channel
    } cases[] = {
        {"carrier channels 1 and 2 under the carrier's names",
         {{"DigitalChannel1", "binary", 8, {1}, {}}, {"DigitalChannel2", "binary", 8, {2}, {}}},
         words({{1, 0, 0, 0}, {2, 0, 0, 0}, {3, 0xFFFFFFFC, 0xFFFFFFFF, 0xFFFFFFFF}, {0, 3, 3, 3}}),
         16,
         {{1, 0}, {0, 1}, {1, 1}, {0, 0}}},
        {"carrier channels 1 and 34: the names give the words",
         {{"DigitalChannel1", "binary", 8, {1}, {}}, {"DigitalChannel34", "binary", 8, {2}, {}}},
         words({{1, 0, 0, 0}, {2, 0, 0, 0}, {0, 2, 0, 0}}),
         16,
         {{1, 0}, {0, 0}, {0, 1}}},
        {"carrier channels 5, 33 and 128",
         {{"DigitalChannel5", "binary", 8, {16}, {}},
          {"DigitalChannel33", "binary", 8, {1}, {}},
          {"DigitalChannel128", "binary", 8, {2147483648.0}, {}}},
         words({{16, 0, 0, 0}, {0, 1, 0, 0x80000000}, {0xFFFFFFEF, 0xFFFFFFFE, 0xFFFFFFFF, 0x7FFFFFFF}}),
         16,
         {{1, 0, 0}, {0, 1, 1}, {0, 0, 0}}},
        {"renamed carrier channels: masks above a 16-bit bit number, words by order",
         {{"in", "binary", 8, {16}, {}}, {"out", "binary", 8, {1}, {}}, {"far", "binary", 8, {64}, {}}},
         words({{16, 0, 0, 0}, {0, 1, 0, 0}, {0, 64, 0, 0}, {64, 0x40, 0, 0}}),
         16,
         {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 1}}},
        {"stated layout: a carrier with sites, 32-byte scans, a site word in the data",
         {{"DigitalChannel1", "binary", 8, {1, 0, 32}, {}}, {"DigitalChannel34", "binary", 8, {2, 4, 32}, {}}},
         words({{1, 0, 0, 0, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0},
                {0, 2, 0, 0, 0, 0xFFFFFFFF, 0, 0},
                {0xFFFFFFFE, 0xFFFFFFFD, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}}),
         32,
         {{1, 0}, {0, 1}, {0, 0}}},
        {"stated layout: renamed channels whose masks could be bit numbers",
         {{"in", "binary", 8, {1, 0, 16}, {}}, {"out", "binary", 8, {8, 12, 16}, {}}},
         words({{1, 0, 0, 0}, {0, 0, 0, 8}, {0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFF7}}),
         16,
         {{1, 0}, {0, 1}, {0, 0}}},
        {"bit numbers 1 and 2 of another recorder's word",
         {{"DigitalLine2", "binary", 8, {1}, {}}, {"DigitalLine3", "binary", 8, {2}, {}}},
         halves({2, 4, 6, 1}),
         2,
         {{1, 0}, {0, 1}, {1, 1}, {0, 0}}},
        {"a bit number that is no mask",
         {{"DigitalChannel1", "binary", 8, {1}, {}}, {"DigitalChannel2", "binary", 8, {3}, {}}},
         halves({2, 8, 0}),
         2,
         {{1, 0}, {0, 1}, {0, 0}}},
        {"bit numbers after an analog channel",
         {analog, {"DigitalChannel5", "binary", 8, {4}, {}}},
         halves({7, 16, 0, 0}),
         4,
         {{7, 1}, {0, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        StrmSpec fileLayout;
        fileLayout.channels = c.channels;
        fileLayout.data = c.data;
        StreamHolder s;
        ASSERT_EQ(openSpec("bits.stm", fileLayout, s), 0);
        ASSERT_EQ(s.stream->streamGetScanSize(s.stream), c.scanSize);
        ASSERT_EQ(s.stream->streamGetScansWritten(s.stream), static_cast<int64_t>(c.values.size()));
        ReaderHolder r;
        r.reader = s.stream->streamNewReader(s.stream, 0, TQ_WHENCE_OLDEST);
        ASSERT_NE(r.reader, nullptr);
        for (size_t k = 0; k < c.values.size(); ++k) {
            std::string scan(c.scanSize, '\0');
            ASSERT_EQ(r.reader->readerRead(r.reader, scan.data(), 1), 1);
            for (size_t i = 0; i < c.channels.size(); ++i)
                EXPECT_EQ(eval(s.stream, c.channels[i].name.c_str(), scan), c.values[k][i])
                    << "scan " << k << " channel " << c.channels[i].name;
        }
    }
}

TEST(FileStream, ThermocoupleWithAReferenceChannel)
{
    // 410 counts of 10 uV on a type K junction whose cold end is at 25.0 C.
    const double volts = 410 * 1e-5;
    const double referred = thermomv2c((volts + thermoc2mv(25.0, 4) / 1000.0) * 1000.0, 4);
    const double unreferred = thermomv2c(volts * 1000.0, 4);
    StrmSpec fileLayout;
    fileLayout.channels = {
        // The last sensor coefficient: how many channels on the reference is.
        {"celsius", "degC", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {4, 6}},
        {"fahrenheit", "degF", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {4, 5}},
        {"kelvin", "kelvins", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {4, 4}},
        {"scaled", "degC", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {1, 2, 4, 3}},
        {"noref", "degC", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {4, 0}},
        {"volts", "V", TQ_XFRM_THERMOCOUPLE, {0, 1e-5}, {0, 0}},
        {"cold", "degC", TQ_XFRM_POLYNOMIAL, {0, 0.1}, {}},
    };
    Bytes scan;
    for (int i = 0; i < 6; ++i)
        scan.i16(410);
    scan.i16(250);
    fileLayout.data = scan.bytes;
    StreamHolder s;
    ASSERT_EQ(openSpec("tc.stm", fileLayout, s), 0);
    const std::string data = fileLayout.data;
    EXPECT_NEAR(eval(s.stream, "celsius", data), referred, 1e-9);
    EXPECT_NEAR(eval(s.stream, "fahrenheit", data), referred * 9 / 5 + 32, 1e-9);
    EXPECT_NEAR(eval(s.stream, "kelvin", data), referred + 273.15, 1e-9);
    EXPECT_NEAR(eval(s.stream, "scaled", data), 1 + 2 * referred, 1e-9);
    EXPECT_NEAR(eval(s.stream, "noref", data), unreferred, 1e-9);
    EXPECT_NEAR(eval(s.stream, "volts", data), volts, 1e-12);
    EXPECT_GT(referred, 120.0); // about 100 C above a 25 C reference
}

TEST(FileStream, FilesThatCannotBeReplayedAreRefused)
{
    const Channel a{"a", "n", TQ_XFRM_INT32, {}, {}};
    const Channel b{"b", "n", TQ_XFRM_POLYNOMIAL, {0, 1}, {}};
    struct Case {
        const char *what;
        std::vector<Channel> channels;
        int32_t scansPerPoll;
        int32_t result;
    } cases[] = {
        {"word at a place inside the scan", {a, {"x", "b", 12, {0, 2}, {}}}, 0, 0},
        {"word at a place past the scan", {a, {"x", "b", 12, {0, 3}, {}}}, 0, TQS_ERR_FAILED},
        {"word at a negative place", {a, {"x", "b", 12, {0, -2}, {}}}, 0, TQS_ERR_FAILED},
        {"word at a place not a number", {a, {"x", "b", 12, {0, NAN}, {}}}, 0, TQS_ERR_FAILED},
        {"word at no place", {a, {"x", "b", 12, {0}, {}}}, 0, TQS_ERR_FAILED},
        {"bit 15 of a 16-bit word", {a, {"x", "b", 8, {15}, {}}}, 0, 0},
        {"bit 16 of a 16-bit word", {a, {"x", "b", 8, {16}, {}}}, 0, TQS_ERR_FAILED},
        {"negative bit", {a, {"x", "b", 13, {-1}, {}}}, 0, TQS_ERR_FAILED},
        {"bit that is no number", {a, {"x", "b", 13, {NAN}, {}}}, 0, TQS_ERR_FAILED},
        {"bit channel without its bit", {a, {"x", "b", 8, {}, {}}}, 0, TQS_ERR_FAILED},
        {"bit 31 of a polled word", {a, {"x", "b", 15, {31}, {}}}, 1, 0},
        {"bit 32 of a polled word", {a, {"x", "b", 15, {32}, {}}}, 1, TQS_ERR_FAILED},
        {"polled channels without scans per record", {a, {"x", "b", 15, {1}, {}}}, 0, TQS_ERR_FAILED},
        {"polled channel before a data channel", {{"x", "b", 15, {1}, {}}, a}, 1, TQS_ERR_FAILED},
        {"carrier word past its stated scan", {{"x", "b", 8, {65536, 32, 32}, {}}}, 0, TQS_ERR_FAILED},
        {"carrier word not on a word boundary", {{"x", "b", 8, {65536, 2, 32}, {}}}, 0, TQS_ERR_FAILED},
        {"carrier channels that disagree on the scan size",
         {{"x", "b", 8, {65536, 0, 16}, {}}, {"y", "b", 8, {131072, 0, 32}, {}}}, 0, TQS_ERR_FAILED},
        {"carrier scan of a size no words make", {{"x", "b", 8, {65536, 0, 18}, {}}}, 0, TQS_ERR_FAILED},
        {"no bytes in a scan", {{"x", "b", 12, {0, 0}, {}}}, 0, TQS_ERR_FAILED},
        {"no channels", {}, 0, TQS_ERR_FAILED},
        {"thermocouple with one sensor coefficient", {{"t", "C", 9, {0, 1}, {4}}, b}, 0, TQS_ERR_FAILED},
        {"thermocouple type 9", {{"t", "C", 9, {0, 1}, {9, 1}}, b}, 0, TQS_ERR_FAILED},
        {"reference past the last channel", {{"t", "C", 9, {0, 1}, {4, 2}}, b}, 0, TQS_ERR_FAILED},
        {"reference before the first channel", {{"t", "C", 9, {0, 1}, {4, -1}}, b}, 0, TQS_ERR_FAILED},
        {"reference without its two coefficients", {{"t", "C", 9, {0, 1}, {4, 1}}, {"r", "C", 1, {0}, {}}}, 0,
         TQS_ERR_FAILED},
        {"thermocouple without coefficients reads its sample", {{"t", "C", 9, {}, {}}}, 0, 0},
    };
    for (const Case &c : cases) {
        StrmSpec fileLayout;
        fileLayout.channels = c.channels;
        fileLayout.scansPerPoll = c.scansPerPoll;
        fileLayout.data = std::string(64, '\1');
        fileLayout.poll = std::string(64, '\1');
        StreamHolder s;
        s.stream = reinterpret_cast<TQStream *>(0);
        const int32_t want = c.result;
        EXPECT_EQ(openSpec("refused.stm", fileLayout, s), want) << c.what;
        EXPECT_EQ(s.stream != nullptr, want == 0) << c.what;
    }
}

TEST(FileStream, FilesThatAreNoStreamFilesAreRefused)
{
    const std::string base = dir();
    TQStream *untouched = reinterpret_cast<TQStream *>(0x1234);
    TQStream *stream = untouched;
    EXPECT_EQ(OpenFileStream((base + "/missing.stm").c_str(), &stream), TQS_ERR_OPEN);
    EXPECT_EQ(OpenFileStream(nullptr, &stream), TQS_ERR_OPEN);
    EXPECT_EQ(stream, untouched);

    const std::string text = base + "/text.stm";
    FILE *f = fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("TimeStamp\ta(V)\n", f);
    fclose(f);
    EXPECT_EQ(OpenFileStream(text.c_str(), &stream), TQS_ERR_FAILED);

    // More channels than a file may hold.
    StrmSpec many;
    for (int i = 0; i < TQ_PARSE_MAX_CHANNELS + 1; ++i)
        many.channels.push_back({"c" + std::to_string(i), "V", TQ_XFRM_POLYNOMIAL, {}, {}});
    many.data = std::string(2 * (TQ_PARSE_MAX_CHANNELS + 1), '\0');
    StreamHolder s;
    EXPECT_EQ(openSpec("many.stm", many, s), TQS_ERR_FAILED);
    EXPECT_EQ(s.stream, nullptr);
    EXPECT_EQ(stream, untouched);
}

// ---- round trips through capture ----------------------------------------------

namespace {

constexpr uint16_t kRoundTripScan = 18;

std::string roundTripScan(int g)
{
    return Bytes()
        .i16(static_cast<int16_t>(g - 500))
        .i16(static_cast<int16_t>(g % 300))
        .u16(static_cast<uint16_t>(g & 9))
        .i32(g * 1000)
        .f64(g / 8.0)
        .bytes;
}

struct Layout {
    int32_t bigFile;
    int32_t headerFirst;
    int32_t decimation;
};

} // namespace

class FileStreamRoundTrip : public ::testing::TestWithParam<Layout> {};

TEST_P(FileStreamRoundTrip, CapturedScansReplayWithTheirValues)
{
    const Layout layout = GetParam();
    const std::string name = "rt" + std::to_string(layout.bigFile) + std::to_string(layout.headerFirst) +
                             std::to_string(layout.decimation);
    const std::string path = dir() + "/" + name + ".stm";
    double poly[2] = {0.5, 2.0}, bridge[2] = {0.0, 0.001}, sensor[2] = {0.0, 1000.0}, bit0[1] = {0}, bit3[1] = {3};
    TQCaptureChannel channels[6] = {};
    auto set = [](TQCaptureChannel &c, const char *n, const char *eu, int32_t kind, double *cs, int16_t cn,
                  double *ss = nullptr, int16_t sn = 0) {
        strcpy(c.name, n);
        strcpy(c.eu, eu);
        c.kind = kind;
        c.coefficients = cs;
        c.coefficientCount = cn;
        c.sensorCoefficients = ss;
        c.sensorCoefficientCount = sn;
    };
    set(channels[0], "analog", "V", TQ_XFRM_POLYNOMIAL, poly, 2);
    set(channels[1], "strain", "ue", TQ_XFRM_BRIDGE, bridge, 2, sensor, 2);
    set(channels[2], "event0", "binary", TQ_XFRM_EVENT_BIT, bit0, 1);
    set(channels[3], "event3", "binary", TQ_XFRM_EVENT_BIT, bit3, 1);
    set(channels[4], "count", "n", TQ_XFRM_INT32, nullptr, 0);
    set(channels[5], "formula", "x", TQ_XFRM_DOUBLE, nullptr, 0);
    TQCaptureHeader header{1000.0, layout.decimation, 1700000000, 6, 0, channels};

    TQStream *live = newStream("live", 1000.0, nullptr);
    setScanSize(live, kRoundTripScan);
    setNumberChannels(live, 6);
    live->streamSetBigFile(live, layout.bigFile);
    live->streamSetWriteHeaderFirst(live, layout.headerFirst);
    live->streamSetDecimation(live, layout.decimation);
    ASSERT_EQ(commonCaptureOpen(live, path.c_str(), 0, &header), 0);
    int g = 0;
    for (int count : {1, 255, 256, 257, 31, 200}) {
        std::string block;
        for (int k = 0; k < count; ++k)
            block += roundTripScan(g + k);
        ASSERT_EQ(live->streamNewData(live, block.data(), count, 0), 0);
        g += count;
    }
    ASSERT_EQ(commonCaptureClose(live, &header), 0);
    destroyStream(live);

    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    TQStream *st = s.stream;
    const int kept = (g + layout.decimation - 1) / layout.decimation;
    EXPECT_STREQ(st->streamGetName(st), name.c_str());
    EXPECT_EQ(st->streamGetRate(st), 1000.0 / layout.decimation);
    EXPECT_EQ(st->streamGetDecimation(st), layout.decimation);
    EXPECT_EQ(st->streamGetStartTime(st), 1700000000);
    EXPECT_EQ(st->streamGetNumberChannels(st), 6);
    EXPECT_EQ(st->streamGetScanSize(st), kRoundTripScan);
    ASSERT_EQ(st->streamGetScansWritten(st), kept);

    ReaderHolder r;
    r.reader = st->streamNewReader(st, 0, TQ_WHENCE_OLDEST);
    std::vector<uint8_t> scans(static_cast<size_t>(kept) * kRoundTripScan);
    int64_t got = 0;
    while (got < kept) {
        int64_t n = r.reader->readerRead(r.reader, scans.data() + got * kRoundTripScan, kept - got);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(r.reader->readerRead(r.reader, scans.data(), 1), TQS_END_OF_DATA);
    for (int k = 0; k < kept; ++k) {
        const int gk = k * layout.decimation;
        const uint8_t *scan = scans.data() + k * kRoundTripScan;
        ASSERT_EQ(0, memcmp(scan, roundTripScan(gk).data(), kRoundTripScan)) << "scan " << k;
        auto value = [&](int c) {
            TQStreamChannel *ch = st->streamGetChannelByIndex(st, c);
            return ch->streamChannelEval(ch, scan);
        };
        const double d = 0.001 * (gk % 300);
        ASSERT_DOUBLE_EQ(value(0), 0.5 + 2.0 * (gk - 500));
        ASSERT_DOUBLE_EQ(value(1), 1000.0 * (-4 * d / (2 * d - 1)));
        ASSERT_EQ(value(2), (gk & 1) ? 1.0 : 0.0);
        ASSERT_EQ(value(3), (gk & 8) ? 1.0 : 0.0);
        ASSERT_EQ(value(4), gk * 1000.0);
        ASSERT_EQ(value(5), gk / 8.0);
    }
}

INSTANTIATE_TEST_SUITE_P(FourLayoutsTwoDecimations, FileStreamRoundTrip,
                         ::testing::Values(Layout{0, 0, 1}, Layout{0, 1, 1}, Layout{1, 0, 1}, Layout{1, 1, 1},
                                           Layout{0, 0, 4}, Layout{0, 1, 4}, Layout{1, 0, 4}, Layout{1, 1, 4}),
                         [](const ::testing::TestParamInfo<Layout> &info) {
                             return std::string(info.param.bigFile ? "FO64" : "FORM") +
                                    (info.param.headerFirst ? "HeaderFirst" : "DataFirst") + "Decimation" +
                                    std::to_string(info.param.decimation);
                         });

// ---- ACQD files -----------------------------------------------------------------

TEST(FileStream, AcqdChannelsConvertByTheirConversionType)
{
    AcqdSpec fileLayout;
    fileLayout.rate = 50.0;
    fileLayout.start = 1600000000;
    fileLayout.channels = {
        acqdChannel("volts", "volts", "V"),                                   // 3276.8 counts per volt
        acqdChannel("offset", "volts", "V", 10.0, 100.0),                     // (x - 100) / 10
        acqdChannel("tared", "volts", "V", 10.0, 0.0, 2.5),                   // x / 10 - 2.5
        acqdChannel("bridge", "bridge", "ue", 1000.0, 0.0, 0.05, "", 2.0, 4.0),
        acqdChannel("tc_f", "type_k", "degrees_f", 1e5),
        acqdChannel("tc_k", "type_k", "kelvins", 1e5),
        acqdChannel("tc_tared", "type_k", "degrees_c", 1e5, 0.0, 1.5),
        acqdChannel("cold", "TC_Reference", "degrees_c", 10.0),
    };
    fileLayout.data = Bytes().u16(32768).u16(200).u16(50).u16(100).u16(410).u16(410).u16(410).u16(250).bytes;
    const std::string path = dir() + "/acqd1.stm";
    ASSERT_TRUE(writeAcqd(path, fileLayout));
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    TQStream *st = s.stream;
    EXPECT_STREQ(st->streamGetName(st), "acqd1");
    EXPECT_EQ(st->streamGetRate(st), 50.0);
    EXPECT_EQ(st->streamGetDecimation(st), 1);
    EXPECT_EQ(st->streamGetStartTime(st), 1600000000);
    EXPECT_EQ(st->streamGetScanSize(st), 16);
    EXPECT_EQ(st->streamGetScansWritten(st), 1);
    const std::string scan = firstScan(st);
    ASSERT_EQ(scan, fileLayout.data);

    const double junction = 410 / 1e5; // volts
    const double referred = thermomv2c((junction + thermoc2mv(25.0, 4) / 1000.0) * 1000.0, 4);
    EXPECT_DOUBLE_EQ(eval(st, "volts", scan), 10.0);
    EXPECT_DOUBLE_EQ(eval(st, "offset", scan), 10.0);
    EXPECT_DOUBLE_EQ(eval(st, "tared", scan), 2.5);
    EXPECT_DOUBLE_EQ(eval(st, "bridge", scan), 0.5 * 2.0 / 4.0 - 0.05); // r = 0.5 from d = 0.1
    EXPECT_NEAR(eval(st, "tc_f", scan), referred * 9 / 5 + 32, 1e-9);
    EXPECT_NEAR(eval(st, "tc_k", scan), referred + 273.15, 1e-9);
    EXPECT_NEAR(eval(st, "tc_tared", scan), referred - 1.5, 1e-9);
    EXPECT_DOUBLE_EQ(eval(st, "cold", scan), 25.0);
    EXPECT_TRUE(std::isnan(raw(st, "volts", scan)));
}

TEST(FileStream, AcqdUnknownConversionIsRefused)
{
    AcqdSpec fileLayout;
    fileLayout.channels = {acqdChannel("a", "volts", "V"), acqdChannel("b", "type_q", "C")};
    fileLayout.data = Bytes().u16(1).u16(2).bytes;
    const std::string path = dir() + "/acqdbad.stm";
    ASSERT_TRUE(writeAcqd(path, fileLayout));
    TQStream *stream = nullptr;
    EXPECT_EQ(OpenFileStream(path.c_str(), &stream), TQS_ERR_FAILED);
    EXPECT_EQ(stream, nullptr);
}

// Run twice by CTest: with the engineering-units library on the loader's
// path (TQ_TEST_EU=1) and without it.
TEST(FileStreamUnits, PolynomialChannelsTakeTheirCalibration)
{
    const bool withLibrary = getenv("TQ_TEST_EU") && strcmp(getenv("TQ_TEST_EU"), "1") == 0;
    AcqdSpec fileLayout;
    fileLayout.channels = {
        acqdChannel("known", "polynomial", "psi", 3276.8, 0.0, 0.0, "pressure_500psi"),
        acqdChannel("quadratic", "polynomial", "l/s", 3276.8, 0.0, 0.0, "flow_quadratic"),
        acqdChannel("tared", "polynomial", "psi", 3276.8, 0.0, 20.0, "pressure_500psi"),
        acqdChannel("unknown", "polynomial", "psi", 3276.8, 0.0, 0.0, "no_such_calibration"),
    };
    fileLayout.data = Bytes().u16(6554).u16(6554).u16(6554).u16(6554).bytes; // 2.00012 V each
    const std::string path = dir() + "/units.stm";
    ASSERT_TRUE(writeAcqd(path, fileLayout));
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    const std::string scan = firstScan(s.stream);
    const double v = 6554 / 3276.8;
    if (withLibrary) {
        EXPECT_DOUBLE_EQ(eval(s.stream, "known", scan), 100.0 * v);
        EXPECT_DOUBLE_EQ(eval(s.stream, "quadratic", scan), 0.5 + 2.0 * v + 0.25 * v * v);
        EXPECT_DOUBLE_EQ(eval(s.stream, "tared", scan), 100.0 * v - 20.0);
    } else {
        EXPECT_DOUBLE_EQ(eval(s.stream, "known", scan), v);
        EXPECT_DOUBLE_EQ(eval(s.stream, "quadratic", scan), v);
        EXPECT_DOUBLE_EQ(eval(s.stream, "tared", scan), v - 20.0);
    }
    EXPECT_DOUBLE_EQ(eval(s.stream, "unknown", scan), v);
}

// ---- text export ------------------------------------------------------------------

namespace {

struct UtcZone {
    UtcZone()
    {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

std::string exportOf(TQStream *stream, const std::string &name, int32_t *result = nullptr)
{
    const std::string text = dir() + "/" + name;
    int32_t r = stream->streamCaptureOpen(stream, text.c_str(), 1);
    if (result)
        *result = r;
    return streamtest::readFile(text);
}

StrmSpec exportSpec(double rate, int scans)
{
    StrmSpec fileLayout;
    fileLayout.rate = rate;
    fileLayout.start = 1700000000; // 2023-11-14 22:13:20 UTC
    fileLayout.channels = {{"a", "V", TQ_XFRM_POLYNOMIAL, {0, 0.5}, {}}, {"b", "binary", TQ_XFRM_EVENT_BIT, {0}, {}}};
    const int16_t a[] = {0, 1, -3, 4, 7};
    for (int i = 0; i < scans; ++i)
        fileLayout.data += Bytes().i16(a[i % 5]).u16(static_cast<uint16_t>(i % 2 == 0)).bytes;
    return fileLayout;
}

} // namespace

TEST(FileStreamExport, WritesAHeaderAndOneLinePerScan)
{
    UtcZone utc;
    StreamHolder s;
    ASSERT_EQ(openSpec("export.stm", exportSpec(4.0, 5), s), 0);
    int32_t result = -1;
    EXPECT_EQ(exportOf(s.stream, "export.txt", &result), "TimeStamp\ta(V)\tb(binary)\n"
                                                          "2023/11/14 22:13:20.000000\t0.000000\t1.000000\n"
                                                          "2023/11/14 22:13:20.250000\t0.500000\t0.000000\n"
                                                          "2023/11/14 22:13:20.500000\t-1.500000\t1.000000\n"
                                                          "2023/11/14 22:13:20.750000\t2.000000\t0.000000\n"
                                                          "2023/11/14 22:13:21.000000\t3.500000\t1.000000\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(s.stream->readers.first, nullptr); // its reader is gone
}

TEST(FileStreamExport, FractionsThatRoundUpCarryIntoTheSecond)
{
    UtcZone utc;
    StreamHolder s;
    ASSERT_EQ(openSpec("carry.stm", exportSpec(1.0 / 0.9999996, 3), s), 0);
    EXPECT_EQ(exportOf(s.stream, "carry.txt"), "TimeStamp\ta(V)\tb(binary)\n"
                                               "2023/11/14 22:13:20.000000\t0.000000\t1.000000\n"
                                               "2023/11/14 22:13:21.000000\t0.500000\t0.000000\n"
                                               "2023/11/14 22:13:21.999999\t-1.500000\t1.000000\n");
}

TEST(FileStreamExport, RateZeroStampsEveryScanWithTheStart)
{
    UtcZone utc;
    StreamHolder s;
    ASSERT_EQ(openSpec("rate0.stm", exportSpec(0.0, 2), s), 0);
    EXPECT_EQ(exportOf(s.stream, "rate0.txt"), "TimeStamp\ta(V)\tb(binary)\n"
                                               "2023/11/14 22:13:20.000000\t0.000000\t1.000000\n"
                                               "2023/11/14 22:13:20.000000\t0.500000\t0.000000\n");
}

TEST(FileStreamExport, EndsAtTheEndOfAFileCutShort)
{
    UtcZone utc;
    StrmSpec fileLayout = exportSpec(4.0, 5);
    const std::string path = dir() + "/cutexport.stm";
    ASSERT_TRUE(writeStrm(path, fileLayout));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    ASSERT_EQ(truncate(path.c_str(), st.st_size - 6), 0); // one and a half scans gone
    StreamHolder s;
    ASSERT_EQ(OpenFileStream(path.c_str(), &s.stream), 0);
    EXPECT_EQ(exportOf(s.stream, "cutexport.txt"), "TimeStamp\ta(V)\tb(binary)\n"
                                                   "2023/11/14 22:13:20.000000\t0.000000\t1.000000\n"
                                                   "2023/11/14 22:13:20.250000\t0.500000\t0.000000\n"
                                                   "2023/11/14 22:13:20.500000\t-1.500000\t1.000000\n");
}

TEST(FileStreamExport, FailuresAreReported)
{
    StreamHolder s;
    ASSERT_EQ(openSpec("fail.stm", exportSpec(4.0, 5), s), 0);
    EXPECT_EQ(s.stream->streamCaptureOpen(s.stream, (dir() + "/no/such/dir/x.txt").c_str(), 1),
              TQS_ERR_CAPTURE_NAME);
    EXPECT_EQ(s.stream->streamCaptureOpen(s.stream, nullptr, 1), TQS_ERR_CAPTURE_NAME);
    struct stat st;
    if (stat("/dev/full", &st) == 0) { // a device that refuses every write
        EXPECT_EQ(s.stream->streamCaptureOpen(s.stream, "/dev/full", 1), TQS_ERR_CAPTURE_NAME);
    }
}

TEST(FileStreamExport, ValuesAreWrittenAsPrintfWritesThem)
{
    // Ties at the sixth decimal round to even, as printf rounds the exact
    // binary value; very large values, infinities and NaN go through printf.
    std::vector<double> values = {0.0,       -0.0,        1.0,       -1.0,         0.0078125,   0.0234375,
                                  -0.0078125, 1e-7,       -1e-9,     0.4999995,    0.9999995,   123456.7890125,
                                  5e-324,    2.2250738585072014e-308, 999999999999999.9, 1e15, -3e20, 1e300,
                                  INFINITY,  -INFINITY,   NAN,       4503599627370495.5, 0.1,  2.675,
                                  1.0 / 3.0, -2.0 / 3.0};
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 200000; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        // Random bits with exponents from about 1e-12 to 1e16.
        uint64_t bits = (state & 0x800FFFFFFFFFFFFFull) | (static_cast<uint64_t>(983 + (state >> 20) % 110) << 52);
        double v;
        memcpy(&v, &bits, sizeof v);
        values.push_back(v);
    }
    char fast[400], slow[400];
    int mismatches = 0;
    for (double v : values) {
        int n = tq::stream::formatFixed6(v, fast);
        snprintf(slow, sizeof slow, "%lf", v);
        if (strcmp(fast, slow) != 0 || n != static_cast<int>(strlen(slow))) {
            if (++mismatches < 5)
                ADD_FAILURE() << std::hexfloat << v << ": " << fast << " instead of " << slow;
        }
    }
    EXPECT_EQ(mismatches, 0);
}
