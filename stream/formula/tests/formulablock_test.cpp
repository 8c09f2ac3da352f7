// Formulas computed a block of scans at a time give, to the bit, the values,
// channel writes and alarm events of the scan-by-scan walk of the same trees.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "formula/formulaengine.h"
#include "core/tests/memstream.h"
#include "core/streamimpl.h"

using namespace tq::formula;

namespace {

// Channel values made from the scan's count k by the generator in ownerWord:
// signed fractions, small integers with zeros, a slow ramp, and a signal
// with NaN gaps.
double channelValue(TQStreamChannel *channel, const void *scan)
{
    int64_t k;
    std::memcpy(&k, scan, sizeof k);
    const double x = static_cast<double>(k);
    switch (channel->ownerWord) {
    case 1: return std::sin(x * 0.37) * 5.0;
    case 2: return static_cast<double>(k % 7 - 3);
    case 3: return x * 0.001;
    case 4: return k % 13 == 0 ? std::nan("") : std::cos(x) * 2.0;
    // The edges of doubles: subnormals, a negative zero, infinities, the
    // smallest normals, and plain values.
    default: {
        const double edges[] = {4.9e-324 * static_cast<double>(k % 11), -0.0, HUGE_VAL, -HUGE_VAL, 2.2250738585072014e-308,
                                std::nan(""), -x, x * 1e300};
        return edges[k % 8];
    }
    }
}

// Every value an output channel is given, in order, from either engine.
std::vector<std::pair<intptr_t, double>> outputLog;
void logOutput(TQStreamChannel *channel, double value, void *) { outputLog.emplace_back(channel->ownerWord, value); }

struct Event {
    uint32_t bits;
    std::string text;
    bool operator==(const Event &) const = default;
};
int32_t logEvent(TQStream *, uint32_t event, void *user, uint32_t *, char *message)
{
    static_cast<std::vector<Event> *>(user)->push_back({event, message});
    return 0;
}

// Streams "fast" (1000 scans/s: c1 to c5 and the outputs o1, o2), "mid"
// (500: m2) and "slow" (250: s1), each with N scans' worth written.
constexpr int64_t kScans = 2000;
struct Sources {
    memstream::Owner fast, mid, slow;
    Sources()
    {
        memstream::make(fast, "fast", 1000.0, {"c1", "c2", "c3", "c4", "c5", "o1", "o2"});
        memstream::make(mid, "mid", 500.0, {"m2"});
        memstream::make(slow, "slow", 250.0, {"s1"});
        for (intptr_t i = 0; i < 5; ++i) {
            fast.channels[i].ownerWord = i + 1;
            fast.channels[i].streamChannelEval = channelValue;
        }
        for (intptr_t i = 5; i < 7; ++i) {
            fast.channels[i].ownerWord = i - 4;
            fast.channels[i].streamChannelSetEval = logOutput;
        }
        mid.channels[0].ownerWord = 2;
        mid.channels[0].streamChannelEval = channelValue;
        mid.channels[0].streamChannelEvalRaw = channelValue;
        slow.channels[0].ownerWord = 1;
        slow.channels[0].streamChannelEval = channelValue;
        fast.write(kScans);
        mid.write(kScans / 2);
        slow.write(kScans / 4);
    }
    ~Sources()
    {
        destroyStream(fast.stream);
        destroyStream(mid.stream);
        destroyStream(slow.stream);
    }
};

using FormulaSet = std::vector<std::pair<std::string, std::string>>;

struct Engine {
    TQFormulaEngine *e = NewFormulaEngine(nullptr);
    std::vector<Event> events;
    char handlerText[TQ_STREAM_MESSAGE_SIZE] = "";
    Engine(Sources &s, const FormulaSet &formulas)
    {
        for (TQStream *stream : {s.fast.stream, s.mid.stream, s.slow.stream})
            e->formulaEngineRegisterStream(e, stream);
        for (const auto &[name, expression] : formulas)
            e->formulaEngineAddFormula(e, name.c_str(), name[0] == '<' ? " <- " : "=", expression.c_str());
        tq::stream::streamInstallEventHandler(e->outputStream, 0, logEvent, &events, handlerText);
    }
    ~Engine() { e->formulaEngineRelease(&e); }
};

// Both sides take the scans in these uneven chunks, so that blocks start and
// end anywhere. (Members slower than the collection are read at positions
// counted from the first scan of each chunk, so the chunks must be the same.)
const int64_t kChunks[] = {1, 3, 255, 256, 257, 700, 1};
int64_t chunk(size_t i, int64_t left) { return std::min<int64_t>(kChunks[i % std::size(kChunks)], left); }

// The reference: every input formula, then every synchronous output formula,
// walked scan by scan.
std::vector<double> walk(TQFormulaEngine *e, int64_t scans)
{
    TQStreamCollection *c = e->collection;
    priv(e)->context.rate = c->StreamCollectionGetMaxRate(c);
    std::vector<double> values;
    int64_t done = 0;
    for (size_t i = 0; done < scans; ++i) {
        void **table = nullptr;
        int64_t aligned = 0, position = 0;
        if (c->StreamCollectionPeek(c, &table, &aligned, &position) != 0 || aligned <= 0)
            break;
        const int64_t n = std::min(aligned, chunk(i, scans - done));
        for (int64_t j = 0; j < n; ++j) {
            for (Formula *f = listFirst(&e->inputFormulas); f; f = listNext(f, kListInput))
                values.push_back(exprEval(f->root, table, j, position + j));
            for (Formula *f = listFirst(&e->syncOutputFormulas); f; f = listNext(f, kListSyncOutput))
                exprEval(f->root, table, j, position + j);
        }
        c->StreamCollectionSeek(c, n, TQ_WHENCE_CURRENT);
        done += n;
    }
    return values;
}

// The engine's own production, read through its output stream.
std::vector<double> produce(TQFormulaEngine *e, int64_t scans)
{
    TQStream *out = e->outputStream;
    TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
    std::vector<double> values;
    const size_t channels = static_cast<size_t>(out->streamGetNumberChannels(out));
    for (size_t i = 0; values.size() < static_cast<size_t>(scans) * channels; ++i) {
        TQPiece *pieces = nullptr;
        uint32_t count = 0;
        const int64_t wanted = chunk(i, scans - static_cast<int64_t>(values.size() / channels));
        const int64_t got = reader->readerReserveRead(reader, &pieces, &count, wanted);
        if (got != wanted)
            break;
        for (uint32_t p = 0; p < count; ++p) {
            const auto *data = static_cast<const double *>(pieces[p].data);
            values.insert(values.end(), data, data + pieces[p].length / 8);
        }
        reader->readerCompleteRead(reader, got);
    }
    reader->readerRelease(&reader);
    return values;
}

struct BlockCase {
    const char *what;
    FormulaSet formulas;
};

const std::vector<BlockCase> &cases()
{
    static const std::vector<BlockCase> table = {
        {"arithmetic and functions",
         {{"a", "(<fast-c1> * 3 + <fast-c2>) / 2 - sqrt(<fast-c1> * <fast-c1> + 1) 'v'"},
          {"f", "sin(<fast-c1>) + asin(<fast-c3> - 1) - sqrt(<fast-c2>) 'v'"},
          {"d", "<fast-c1> / <fast-c2> + -<fast-c4> 'v'"},
          {"i", "(<fast-c2> | 4) + (<fast-c2> & 6) + <fast-c1> % <fast-c2> + (<fast-c2> << 3) + (<fast-c1> >> 1) 'v'"},
          {"c", "(<fast-c1> > 1) + (<fast-c1> < 0) * 2 + (<fast-c2> >= 0) * 4 + (<fast-c2> <= 1) * 8 + "
                "(<fast-c2> == 0) * 16 + (<fast-c4> != <fast-c4>) * 32 'v'"},
          {"q", "<fast-c4> ? <fast-c1> : <fast-c2> ? 7 : -7 'v'"},
          {"k", "2.5 'v'"},
          {"n", "scan() * 0.5 'v'"}}},
        {"constants on either side, and the edges of doubles",
         {{"h", "<fast-c5> / 2 'v'"},
          {"e", "<fast-c5> / 0.125 + 0 'v'"},
          {"p", "<fast-c5> / 1024 - <fast-c5> / 3 'v'"},
          {"l", "4 / <fast-c5> + (1 - <fast-c5>) * (2 + <fast-c5>) 'v'"},
          {"r", "sqrt(<fast-c5>) * <fast-c5> 'v'"}}},
        {"tables and thermocouples",
         {{"t1", "thermo(<fast-c3>, <fast-c2> + 20, typek) 'C'"},
          {"t2", "thermo(<fast-c1> * 0.001, 25, typej) 'C'"},
          {"t3", "thermo(<fast-c3>, 25, typej) + unrefthermo(<fast-c3> * 0.01, typet) 'C'"},
          {"m", "multi(<fast-c1>, {(0, 1); (1, 3); (2, 11)}) 'v'"},
          {"b", "bridge(<fast-c3>, (0.5, 1, -0.25), (2, 1)) 'v'"},
          {"mac", "macro(p * p + p, p, <fast-c1> - 1) 'v'"}}},
        {"every stateful kind, evaluated at every scan",
         {{"r", "autocycle(<fast-c2>, 10, 7) 'v'"},
          {"s", "autoseq({1, -2, 3.5}, 11) 'v'"},
          {"hi", "max(<fast-c1>, <fast-c2> == 3, -1) 'v'"},
          {"lo", "min(<fast-c4>, <fast-c2> == -3, 100) 'v'"},
          {"avg", "average(<fast-c1>, 5) 'v'"},
          {"var", "variance(<fast-c4> + <fast-c1>, 9) 'v'"},
          {"der", "deriv(<fast-c1> * <fast-c3>) 'v'"},
          {"mix", "hi - lo + avg * var + der / 1000 + r * s 'v'"}}},
        {"stateful nodes reached only now and then",
         {{"g", "<fast-c2> > 0 ? max(<fast-c1>, 0, 0) : average(<fast-c1>, 4) 'v'"},
          {"h", "max(average(<fast-c1>, 3), <fast-c2> == 1, autocycle(0, 5, 30)) 'v'"},
          {"u", "<fast-c2> == 2 ? deriv(<fast-c1>) : autoseq({4, 5}, 50) 'v'"},
          // Shared with a formula that evaluates it at every scan.
          {"w", "min(<fast-c1>, 0, 9) 'v'"},
          {"x", "<fast-c2> > 1 ? w : -w 'v'"}}},
        {"alarms and their events",
         {{"al1", "alarm(<fast-c1> > 4, <fast-c2> == 0, 1, \"hot\") 'v'"},
          {"al2", "alarm(<fast-c2> == 3, <fast-c2> == -3, 6, \"three\") + alarm(<fast-c4> < -1.5, <fast-c2> > 1, 2, "
                  "\"low\") 'v'"},
          {"al3", "<fast-c2> > 0 ? alarm(<fast-c1> < -4, 1, 9, \"cold\") : 0 'v'"},
          {"al4", "max(alarm(<fast-c3> > 1, 0, 16, \"once\"), 0, 0) + al1 'v'"}}},
        {"common subtrees, several streams and outputs",
         {{"base", "<fast-c1> * <slow-s1> 'v'"},
          {"two", "base + base * <mid-m2> 'v'"},
          {"three", "two - base / 3 + [mid-m2] 'v'"},
          {"<fast-o1>", "two * 2"},
          {"<fast-o2>", "sync alarm(base > 10, base < 0, 3, \"both\") + <slow-s1>"},
          {"last", "three + average(<slow-s1>, 4) 'v'"}}},
    };
    return table;
}

TEST(FormulaBlocks, EqualTheScanByScanWalk)
{
    for (const BlockCase &c : cases()) {
        SCOPED_TRACE(c.what);
        Sources sources;
        Engine blocks(sources, c.formulas), reference(sources, c.formulas);
        char message[TQ_FORMULA_MESSAGE_SIZE];
        ASSERT_EQ(blocks.e->parseFormulas(blocks.e, message), 0) << message;
        ASSERT_EQ(reference.e->parseFormulas(reference.e, message), 0) << message;

        outputLog.clear();
        const std::vector<double> got = produce(blocks.e, kScans);
        const auto gotOutputs = outputLog;
        outputLog.clear();
        const std::vector<double> want = walk(reference.e, kScans);
        const auto wantOutputs = outputLog;

        ASSERT_EQ(got.size(), want.size());
        ASSERT_EQ(got.size() % kScans, 0u);
        const size_t channels = got.size() / kScans;
        for (size_t i = 0; i < got.size(); ++i) {
            uint64_t g, w;
            std::memcpy(&g, &got[i], 8);
            std::memcpy(&w, &want[i], 8);
            ASSERT_EQ(g, w) << "scan " << i / channels << ", formula " << i % channels << ": " << got[i] << " against "
                            << want[i];
        }
        ASSERT_EQ(gotOutputs.size(), wantOutputs.size());
        for (size_t i = 0; i < gotOutputs.size(); ++i) {
            ASSERT_EQ(gotOutputs[i].first, wantOutputs[i].first) << i;
            ASSERT_EQ(std::memcmp(&gotOutputs[i].second, &wantOutputs[i].second, 8), 0) << i;
        }
        EXPECT_EQ(blocks.events, reference.events);
    }
}

// The cases above must reach what they are about: alarms fire more than
// once in an order that interleaves them, outputs are written at every scan.
TEST(FormulaBlocks, TheTableExercisesEventsAndOutputs)
{
    Sources sources;
    const BlockCase &alarms = cases()[5];
    Engine engine(sources, alarms.formulas);
    char message[TQ_FORMULA_MESSAGE_SIZE];
    ASSERT_EQ(engine.e->parseFormulas(engine.e, message), 0) << message;
    produce(engine.e, kScans);
    std::vector<uint32_t> kinds;
    for (const Event &event : engine.events)
        if (kinds.empty() || kinds.back() != event.bits)
            kinds.push_back(event.bits);
    EXPECT_GT(engine.events.size(), 20u);
    EXPECT_GT(kinds.size(), 10u);

    const BlockCase &outputs = cases()[6];
    Engine writer(sources, outputs.formulas);
    ASSERT_EQ(writer.e->parseFormulas(writer.e, message), 0) << message;
    outputLog.clear();
    produce(writer.e, kScans);
    EXPECT_EQ(outputLog.size(), 2u * kScans);
    EXPECT_FALSE(writer.events.empty());
}

} // namespace
