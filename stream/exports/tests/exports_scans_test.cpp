// Values at a scan index within piece lists, averaging over the newest scans,
// the 32-bit twins and the name copy, over a stream whose owner hands out its
// data in pieces cut anywhere (each piece in memory of its own, so reading
// past a piece's end reads wrong bytes, and under AddressSanitizer fails).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tqstream.h"

namespace
{

TQStreamHandles g_handles;

// Scans of `channels` little-endian 16-bit values and one pad byte, so that
// the scan size is odd and piece cuts fall inside scans.
int16_t sample(int64_t scan, int channel)
{
    return static_cast<int16_t>((scan * 7 + channel * 13) % 101 - 50);
}

struct Owner {
    int channels = 2;
    int64_t scans = 0;         // scans held
    std::vector<size_t> cuts;  // byte offsets (from the first reserved byte) where pieces end
    int64_t reserveResult = 0; // nonzero: what reserveRead reports instead of data
    bool refuseReader = false;
    bool completed = false; // completeRead was called
    std::vector<TQStreamChannel> channelRecords;
    std::vector<std::vector<unsigned char>> memory;
    std::vector<TQPiece> pieces;
    int64_t first = 0; // first scan of the reader

    size_t scanSize() const { return static_cast<size_t>(channels) * 2 + 1; }

    std::string bytes(int64_t from, int64_t count) const
    {
        std::string out;
        for (int64_t i = from; i < from + count; ++i) {
            for (int c = 0; c < channels; ++c) {
                const int16_t v = sample(i, c);
                out.append(reinterpret_cast<const char *>(&v), 2);
            }
            out.push_back('\x5a');
        }
        return out;
    }

    // The bytes as a piece list, each piece copied into memory of its own.
    TQPiece *cut(const std::string &data)
    {
        memory.clear();
        pieces.clear();
        size_t at = 0;
        std::vector<size_t> ends = cuts;
        ends.push_back(data.size());
        for (size_t end : ends) {
            end = std::min(end, data.size());
            if (end < at)
                continue;
            memory.emplace_back(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(end));
            // An empty piece still has an address: only the last entry has none.
            if (memory.back().empty())
                memory.back().reserve(1);
            pieces.push_back({static_cast<uint32_t>(end - at), memory.back().data()});
            at = end;
        }
        pieces.push_back({0, nullptr});
        return pieces.data();
    }
};

double evalInt16(TQStreamChannel *channel, const void *scan)
{
    int16_t v;
    memcpy(&v, static_cast<const unsigned char *>(scan) + channel->ownerWord, 2);
    return v;
}

int64_t reserve(TQReader *reader, TQPiece **pieces, uint32_t *, int64_t count)
{
    auto *o = static_cast<Owner *>(reader->context);
    if (o->reserveResult)
        return o->reserveResult;
    const int64_t got = std::max<int64_t>(0, std::min(count, o->scans - o->first));
    *pieces = o->cut(o->bytes(o->first, got));
    return got;
}

int64_t complete(TQReader *reader, int64_t count)
{
    static_cast<Owner *>(reader->context)->completed = true;
    return count;
}

TQReader *newReader(TQStream *stream, int64_t position, int32_t whence)
{
    auto *o = static_cast<Owner *>(stream->owner);
    if (o->refuseReader)
        return nullptr;
    TQReader *reader = g_handles.newReaderBase(stream, position, whence, o);
    reader->readerReserveRead = reserve;
    reader->readerCompleteRead = complete;
    o->first = whence == TQ_WHENCE_NEWEST ? std::max<int64_t>(0, o->scans + position) : position;
    return reader;
}

TQStreamChannel *channelByIndex(TQStream *stream, int32_t index)
{
    auto *o = static_cast<Owner *>(stream->owner);
    return index >= 0 && index < o->channels ? &o->channelRecords[static_cast<size_t>(index)] : nullptr;
}

class PieceStream : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_EQ(tqstream_getHandles(&g_handles), VI_SUCCESS); }
    void TearDown() override
    {
        if (stream)
            g_handles.destroyStream(stream);
    }

    void make(int channels, int64_t scans, std::vector<size_t> cuts = {})
    {
        owner.channels = channels;
        owner.scans = scans;
        owner.cuts = std::move(cuts);
        owner.channelRecords.assign(static_cast<size_t>(channels), TQStreamChannel{});
        stream = g_handles.newStream("pieces", 100.0, &owner);
        ASSERT_NE(stream, nullptr);
        g_handles.setNumberChannels(stream, static_cast<uint16_t>(channels));
        g_handles.setScanSize(stream, static_cast<uint16_t>(owner.scanSize()));
        for (int c = 0; c < channels; ++c) {
            TQStreamChannel &ch = owner.channelRecords[static_cast<size_t>(c)];
            snprintf(ch.name, sizeof ch.name, "ch%d", c);
            ch.ownerWord = c * 2;
            ch.streamChannelEval = evalInt16;
            ch.stream = stream;
        }
        stream->streamNewReader = newReader;
        stream->streamGetChannelByIndex = channelByIndex;
    }

    Owner owner;
    TQStream *stream = nullptr;
};

// Cuts of the data of 6 scans of 5 bytes (two channels and the pad byte).
const std::vector<std::vector<size_t>> kCuts = {
    {},                  // one piece
    {5, 10, 15, 20, 25}, // whole scans
    {7},                 // scan 1 split 2 + 3
    {1},                 // the first scan split at its first byte
    {4, 9, 14},          // every scan's pad byte in the next piece
    {3, 3, 8},           // an empty piece inside a split scan
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29},
    {12, 13}, // a piece shorter than a scan
};

std::string describe(const std::vector<size_t> &cuts)
{
    std::string s = "cuts";
    for (size_t c : cuts)
        s += " " + std::to_string(c);
    return s;
}

TEST_F(PieceStream, ValueAtAnIndexFindsScansSplitBetweenPieces)
{
    make(2, 6);
    for (const auto &cuts : kCuts) {
        owner.cuts = cuts;
        const TQPiece *pieces = owner.cut(owner.bytes(0, 6));
        for (int c = 0; c < 2; ++c) {
            TQStreamChannel *channel = &owner.channelRecords[static_cast<size_t>(c)];
            for (int16_t i = 0; i < 6; ++i) {
                double v = -1;
                ASSERT_EQ(tqstream_getChannelEvalEx2(channel, pieces, i, &v), VI_SUCCESS);
                EXPECT_EQ(v, sample(i, c)) << describe(cuts) << " index " << i << " channel " << c;
            }
            // One past the last scan, and before the first: no value.
            for (int16_t outside : {int16_t{6}, int16_t{100}, int16_t{-1}}) {
                double v = 0;
                EXPECT_EQ(tqstream_getChannelEvalEx2(channel, pieces, outside, &v), VI_SUCCESS);
                EXPECT_TRUE(std::isnan(v)) << describe(cuts) << " index " << outside;
            }
        }
    }
}

TEST_F(PieceStream, ValueAtAnIndexOfAFlatBlock)
{
    make(3, 4);
    const std::string block = owner.bytes(0, 4);
    TQStreamChannel *channel = &owner.channelRecords[2];
    for (int16_t i = 0; i < 4; ++i) {
        double v = 0;
        EXPECT_EQ(tqstream_getChannelEvalEx(channel, block.data(), i, &v), VI_SUCCESS);
        EXPECT_EQ(v, sample(i, 2));
    }
    double v = 0;
    EXPECT_EQ(tqstream_getChannelEvalEx(channel, block.data(), -1, &v), VI_SUCCESS);
    EXPECT_TRUE(std::isnan(v));
}

struct AverageCase {
    const char *name;
    int channels;
    int64_t held;
    int64_t asked;
    uint16_t maximum;
    std::vector<size_t> cuts;
    int64_t done;
};

TEST_F(PieceStream, AveragesTheNewestScansOverPiecesCutAnywhere)
{
    const AverageCase cases[] = {
        {"one piece", 2, 20, 6, 2, {}, 6},
        {"split scans", 2, 20, 6, 2, {7, 13, 22}, 6},
        {"byte pieces", 2, 20, 3, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 3},
        {"empty piece", 2, 20, 4, 2, {3, 3, 11}, 4},
        {"fewer held than asked", 3, 4, 10, 3, {9}, 4},
        {"maximum beyond the channels", 3, 10, 5, 10, {8}, 5},
        {"maximum below the channels", 4, 10, 5, 2, {8}, 5},
        {"more channels than kept locally", 20, 12, 7, 20, {50, 100}, 7},
        {"nothing held", 2, 0, 5, 2, {}, 0},
        {"nothing asked", 2, 10, 0, 2, {}, 0},
    };
    for (const AverageCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (stream)
            g_handles.destroyStream(stream);
        stream = nullptr;
        make(c.channels, c.held, c.cuts);
        owner.completed = false;

        std::vector<double> out(32, 99.0);
        int64_t done = -1;
        ASSERT_EQ(tqstream_getAveraged(stream, c.asked, &done, c.maximum, out.data()), VI_SUCCESS);
        EXPECT_EQ(done, c.done);
        const int filled = std::min<int>(c.maximum, c.channels);
        for (int ch = 0; ch < filled; ++ch) {
            double sum = 0;
            for (int64_t i = c.held - c.done; i < c.held; ++i)
                sum += sample(i, ch);
            EXPECT_DOUBLE_EQ(out[static_cast<size_t>(ch)], c.done ? sum / static_cast<double>(c.done) : 0.0)
                << "channel " << ch;
        }
        for (size_t ch = static_cast<size_t>(filled); ch < out.size(); ++ch)
            EXPECT_EQ(out[ch], 99.0) << "channel " << ch << " beyond those asked for";
        // Nothing consumed, and the reader gone again.
        EXPECT_FALSE(owner.completed);
        EXPECT_EQ(g_handles.firstReader(stream), nullptr);

        int32_t done32 = -1;
        ASSERT_EQ(tqstream_getAveragedl(stream, static_cast<int32_t>(c.asked), &done32, c.maximum, out.data()),
                  VI_SUCCESS);
        EXPECT_EQ(done32, c.done);
    }
}

TEST_F(PieceStream, AveragingFailuresGiveTheirStatusZerosAndNothingDone)
{
    struct Case {
        const char *name;
        int64_t reserveResult;
        bool refuseReader;
        ViStatus status;
    };
    const Case cases[] = {
        {"no reader", 0, true, static_cast<ViStatus>(0xBFFF003C)},
        {"lock time-out while reserving", -22, false, static_cast<ViStatus>(0xBFFF0015)},
        {"reservation failure", -6, false, static_cast<ViStatus>(0xBFFF0000)},
        {"end of the data", -7, false, VI_SUCCESS},
    };
    make(2, 10);
    for (const Case &c : cases) {
        owner.reserveResult = c.reserveResult;
        owner.refuseReader = c.refuseReader;
        double out[2] = {5, 5};
        int64_t done = 9;
        EXPECT_EQ(static_cast<uint32_t>(tqstream_getAveraged(stream, 4, &done, 2, out)),
                  static_cast<uint32_t>(c.status))
            << c.name;
        EXPECT_EQ(done, 0) << c.name;
        EXPECT_EQ(out[0], 0.0) << c.name;
        EXPECT_EQ(out[1], 0.0) << c.name;
        EXPECT_EQ(g_handles.firstReader(stream), nullptr) << c.name;
    }
}

// ---- the 32-bit twins ----------------------------------------------------------

int64_t g_wide = 0;     // what the faked operations give
int64_t g_argument = 0; // the count or offset they were given

int64_t giveWide(TQReader *, int64_t argument)
{
    g_argument = argument;
    return g_wide;
}

TEST(ExportTwins, ResultsOutsideThe32BitRangeBecomeTheNearest32BitValue)
{
    struct Case {
        int64_t wide;
        int32_t narrow;
    };
    const Case cases[] = {
        {0, 0},
        {5, 5},
        {INT32_MAX, INT32_MAX},
        {int64_t{INT32_MAX} + 1, INT32_MAX},
        {(int64_t{1} << 32) + 5, INT32_MAX},
        {-7, -7},
        {INT32_MIN, INT32_MIN},
        {INT64_MIN, INT32_MIN},
    };
    TQReader reader{};
    reader.readerAvail = [](TQReader *) { return g_wide; };
    reader.readerSeek = [](TQReader *, int64_t offset, int32_t) { return giveWide(nullptr, offset); };
    reader.readerRead = [](TQReader *, void *, int64_t count) { return giveWide(nullptr, count); };
    reader.readerCompleteRead = giveWide;
    reader.readerReserveRead = [](TQReader *, TQPiece **, uint32_t *, int64_t count) {
        return giveWide(nullptr, count);
    };
    reader.readerPeek = [](TQReader *, int64_t *count, int64_t *position) -> void * {
        *count = g_wide;
        *position = g_wide;
        return nullptr;
    };
    TQFormulaEngine engine{};
    engine.formulaEngineEvalScans = [](TQFormulaEngine *, int64_t count) { return giveWide(nullptr, count); };

    for (const Case &c : cases) {
        g_wide = c.wide;
        int32_t r = 1;
        EXPECT_EQ(tqstream_readerAvaill(&reader, &r), VI_SUCCESS);
        EXPECT_EQ(r, c.narrow) << "avail " << c.wide;
        EXPECT_EQ(tqstream_readerSeekl(&reader, -3, TQ_WHENCE_CURRENT, &r), VI_SUCCESS);
        EXPECT_EQ(r, c.narrow) << "seek " << c.wide;
        EXPECT_EQ(g_argument, -3) << "the offset widened with its sign";
        EXPECT_EQ(tqstream_readerReadl(&reader, nullptr, -1, &r), VI_SUCCESS);
        EXPECT_EQ(r, c.narrow) << "read " << c.wide;
        EXPECT_EQ(g_argument, -1);
        EXPECT_EQ(tqstream_readerCompleteReadl(&reader, INT32_MAX, &r), VI_SUCCESS);
        EXPECT_EQ(r, c.narrow) << "completeRead " << c.wide;
        EXPECT_EQ(g_argument, INT32_MAX);
        EXPECT_EQ(tqstream_formulaEngineEvalScansl(&engine, 9, &r), VI_SUCCESS);
        EXPECT_EQ(r, c.narrow) << "evalScans " << c.wide;
        int64_t r64 = 1;
        EXPECT_EQ(tqstream_readerReserveReadl(&reader, nullptr, nullptr, int64_t{1} << 40, &r64), VI_SUCCESS);
        EXPECT_EQ(r64, c.narrow) << "reserveRead " << c.wide;
        EXPECT_EQ(g_argument, int64_t{1} << 40) << "the count stays 64-bit";
        int32_t count = 1, position = 1;
        void *data = &data;
        EXPECT_EQ(tqstream_readerPeekl(&reader, &data, &count, &position), VI_SUCCESS);
        EXPECT_EQ(count, c.narrow);
        EXPECT_EQ(position, c.narrow);
        EXPECT_EQ(data, nullptr);
    }
}

TEST_F(PieceStream, NewReaderlWidensANegativePositionWithItsSign)
{
    make(2, 10);
    TQReader *reader = nullptr;
    ASSERT_EQ(tqstream_newReaderl(stream, -4, TQ_WHENCE_NEWEST, &reader), VI_SUCCESS);
    EXPECT_EQ(owner.first, 6);
    EXPECT_EQ(tqstream_readerClose(reader), VI_SUCCESS);
    EXPECT_EQ(g_handles.firstReader(stream), nullptr);
}

// ---- names and channels ----------------------------------------------------------

TEST_F(PieceStream, NameCopiesAtMostSizeMinusOneCharactersAndTerminates)
{
    make(1, 0);
    ASSERT_EQ(stream->streamSetName(stream, "abcdefghijklmnopqrst"), 0);
    struct Case {
        uint16_t size;
        const char *text;
    };
    const Case cases[] = {{8, "abcdefg"},
                          {1, ""},
                          {20, "abcdefghijklmnopqrs"},
                          {21, "abcdefghijklmnopqrst"},
                          {200, "abcdefghijklmnopqrst"}};
    for (const Case &c : cases) {
        char buffer[256];
        memset(buffer, 'X', sizeof buffer);
        uint16_t length = 999;
        EXPECT_EQ(tqstream_getName(stream, buffer, c.size, &length), VI_SUCCESS);
        EXPECT_STREQ(buffer, c.text) << "size " << c.size;
        EXPECT_EQ(length, strlen(c.text));
        EXPECT_EQ(buffer[c.size], 'X') << "nothing written beyond the size";
    }
    // Size 0: nothing written at all.
    char untouched = 'X';
    uint16_t length = 999;
    EXPECT_EQ(tqstream_getName(stream, &untouched, 0, &length), VI_SUCCESS);
    EXPECT_EQ(untouched, 'X');
    EXPECT_EQ(length, 0);
    // A stream that gives no name.
    stream->streamGetName = [](TQStream *) -> char * { return nullptr; };
    char buffer[8] = "old";
    EXPECT_EQ(static_cast<uint32_t>(tqstream_getName(stream, buffer, sizeof buffer, &length)), 0xBFFF0000u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(length, 0);
}

TEST_F(PieceStream, ChannelNamesUnitsAndSyncTypes)
{
    make(1, 0);
    TQStreamChannel *channel = &owner.channelRecords[0];
    memset(channel->name, 'n', sizeof channel->name); // not terminated within its field
    strcpy(channel->eu, "mV");
    char name[TQ_CHANNEL_NAME_SIZE + 8];
    memset(name, 'X', sizeof name);
    EXPECT_EQ(tqstream_getChannelName(channel, name), VI_SUCCESS);
    EXPECT_EQ(strlen(name), TQ_CHANNEL_NAME_SIZE - 1u);
    EXPECT_EQ(name[TQ_CHANNEL_NAME_SIZE], 'X');
    char eu[TQ_CHANNEL_EU_SIZE];
    EXPECT_EQ(tqstream_getChannelEU(channel, eu), VI_SUCCESS);
    EXPECT_STREQ(eu, "mV");

    struct Case {
        int16_t given;
        int16_t stored;
    };
    const Case cases[] = {{0, 2}, {2, 2}, {7, 2}, {-1, 2}, {1, 1}};
    static int32_t slotType = 0;
    void (*slot)(TQStreamChannel *, int32_t) = [](TQStreamChannel *ch, int32_t type) {
        ch->outputSyncType = slotType = type;
    };
    for (bool withSlot : {false, true}) {
        channel->streamChannelSetOutputSyncType = withSlot ? slot : nullptr;
        for (const Case &c : cases) {
            slotType = 0;
            EXPECT_EQ(tqstream_setOutputChannelSyncType(channel, c.given), VI_SUCCESS);
            int16_t type = 0;
            EXPECT_EQ(tqstream_getOutputChannelSyncType(channel, &type), VI_SUCCESS);
            EXPECT_EQ(type, c.stored) << "given " << c.given;
            EXPECT_EQ(slotType, withSlot ? c.stored : 0) << "given " << c.given;
        }
    }
}

} // namespace
