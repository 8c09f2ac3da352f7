// The formula engine: formula sets and their messages, node sharing,
// production over streams at different rates, formulae.xml.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formula/formulaengine.h"
#include "core/tests/memstream.h"
#include "core/tests/stream_test_util.h"

using namespace tq::formula;

namespace {

// Channel value: the scan's 64-bit count times the channel's factor (kept
// in ownerWord); ownerWord2 counts the evaluations.
double countingEval(TQStreamChannel *channel, const void *scan)
{
    channel->ownerWord2++;
    int64_t k;
    std::memcpy(&k, scan, sizeof k);
    return static_cast<double>(k) * static_cast<double>(channel->ownerWord);
}

double storedOutput = 0;
void outputSetEval(TQStreamChannel *channel, double value, void *scan)
{
    channel->ownerWord2++;
    if (scan)
        std::memcpy(scan, &value, sizeof value);
    else
        storedOutput = value;
}

// Streams "rack1" (channels ch0, ch1, ch7, ao0 at 1000 scans/s) and "slow"
// (ch0 at 250 scans/s), and an engine over them.
struct Rig {
    memstream::Owner fast, slow;
    TQFormulaEngine *engine = nullptr;
    char message[TQ_FORMULA_MESSAGE_SIZE] = "";

    explicit Rig(bool registered = true, void *owner = nullptr)
    {
        memstream::make(fast, "rack1", 1000.0, {"ch0", "ch1", "ch7", "ao0"});
        memstream::make(slow, "slow", 250.0, {"ch0"});
        const intptr_t factors[] = {1, 2, 10, 0};
        for (size_t i = 0; i < fast.channels.size(); ++i) {
            fast.channels[i].ownerWord = factors[i];
            fast.channels[i].streamChannelEval = countingEval;
            std::snprintf(fast.channels[i].eu, sizeof fast.channels[i].eu, "volts");
        }
        fast.channels[3].streamChannelSetEval = outputSetEval;
        slow.channels[0].ownerWord = 1;
        slow.channels[0].streamChannelEval = countingEval;
        engine = NewFormulaEngine(owner);
        if (registered) {
            engine->formulaEngineRegisterStream(engine, fast.stream);
            engine->formulaEngineRegisterStream(engine, slow.stream);
        }
    }
    ~Rig()
    {
        engine->formulaEngineRelease(&engine);
        destroyStream(fast.stream);
        destroyStream(slow.stream);
    }
    int32_t parse(const std::vector<std::pair<std::string, std::string>> &formulas)
    {
        engine->formulaEngineRmvAllFormulas(engine);
        for (const auto &[name, expression] : formulas) {
            const bool output = name[0] == '<';
            engine->formulaEngineAddFormula(engine, name.c_str(), output ? " <- " : "=", expression.c_str());
        }
        return engine->parseFormulas(engine, message);
    }
    Formula *formula(const char *name) { return findFormula(engine, name); }
};

struct SetCase {
    std::vector<std::pair<std::string, std::string>> formulas;
    int32_t result;
    std::string message;
};

TEST(FormulaEngine, FormulaSetsAndTheirMessages)
{
    const std::string longName(63, 'n');
    const std::vector<SetCase> cases = {
        // A successful parse leaves the last formula's prefix.
        {{{"a", "<rack1-ch0> 'v'"}}, 0, "Expression for a: "},
        {{}, 0, "No formulas to parse"},
        {{{"a", "a 'v'"}}, -2, "Expression for a: Internal Error"},
        // A cycle of aliases is reported for the formula that closes it.
        {{{"a", "b 'v'"}, {"b", "a 'v'"}}, -2, "Expression for b: Internal Error"},
        {{{"x", "<rack1-ch0> 'v'"}, {"a", "b 'v'"}, {"b", "c 'v'"}, {"c", "a 'v'"}}, -2,
         "Expression for b: Internal Error"},
        {{{"a", "b + 1 'v'"}, {"b", "c + 1 'v'"}, {"c", "a + 1 'v'"}}, -2, "Expression for c: Internal Error"},
        {{{"x", "<rack1-nope> 'v'"}}, -1, "Expression for x: Physical Channel Name \"<rack1-nope>\" does not exist."},
        {{{"x", "<nowhere-ch0> 'v'"}}, -1, "Expression for x: Physical Channel Name \"<nowhere-ch0>\" does not exist."},
        {{{"x", "[rack1-nope] 'v'"}}, -1, "Expression for x: Raw Channel Name \"[rack1-nope]\" does not exist."},
        {{{"x", "y 'v'"}}, -1, "Expression for x: Logical Channel Name \"y\" does not exist."},
        {{{"<rack1-ao0>", "async <rack1-ch0>"}}, -2,
         "Expression for <rack1-ao0>: Physical channel not allowed in async expression"},
        {{{"<rack1-ao0>", "async [rack1-ch0]"}}, -2,
         "Expression for <rack1-ao0>: Raw Physical channel not allowed in async expression"},
        {{{"a", "1 'v'"}, {"<rack1-ao0>", "async a"}}, -2,
         "Expression for <rack1-ao0>: Logical channel not allowed in async expression"},
        // The junction reference of an asynchronous thermocouple is checked
        // before it is looked up, even when a shared one exists.
        {{{"t", "thermo(<rack1-ch0>, <rack1-ch7>, typek) 'C'"}, {"<rack1-ao0>", "async thermo(1, <rack1-ch7>, typek)"}},
         -2, "Expression for <rack1-ao0>: Physical channel not allowed in async expression"},
        {{{"<rack1-ao0>", "async scan()"}}, 0, "Expression for <rack1-ao0>: "},
        {{{"<rack1-nope>", "async scan()"}}, -1, "Expression for <rack1-nope>: "},
        {{{"b", "bridge(<rack1-ch0>, (1, - 2), (3)) 'v'"}}, -9,
         "Expression for b: Non-constant not allowed in expression"},
        {{{"b", "bridge(<rack1-ch0>, (1, -2), (3)) 'v'"}}, 0, "Expression for b: "},
        {{{"m", "multi(<rack1-ch0>, {(1, 2); (1, 3)}) 'v'"}}, -3, "Expression for m: Multipoint sequence has no solution."},
        {{{"w", "average(<rack1-ch0>, 0) 'v'"}}, -9, "Expression for w: Window length must be a number from 1 to 16777216"},
        {{{longName, "1 'v'"}}, -9, "Expression for " + longName + ": name '" + longName + "' too many characters"},
        {{{"a", "1 + 'v'"}}, -9, "Expression for a: syntax error"},
        // Aliases and forward references resolve whatever their order.
        {{{"a", "b 'v'"}, {"b", "c 'v'"}, {"c", "<rack1-ch0> * 2 'v'"}}, 0, "Expression for c: "},
        {{{"a", "b + c 'v'"}, {"b", "c 'v'"}, {"c", "<rack1-ch1> 'v'"}}, 0, "Expression for c: "},
    };
    for (const SetCase &c : cases) {
        SCOPED_TRACE(c.formulas.empty() ? std::string("(none)") : c.formulas.front().second);
        Rig rig;
        EXPECT_EQ(rig.parse(c.formulas), c.result);
        EXPECT_EQ(std::string(rig.message), c.message);
        EXPECT_EQ(rig.engine->parsed, c.result >= 0 ? 1 : 0);
        if (c.result < 0) {
            // A failed parse leaves nothing to run.
            EXPECT_EQ(rig.engine->inputFormulas.first, nullptr);
            EXPECT_EQ(rig.engine->asyncOutputFormulas.first, nullptr);
        }
    }
}

TEST(FormulaEngine, ParseReportsAMemberWhoseStreamIsGone)
{
    Rig rig;
    memstream::Owner gone;
    memstream::make(gone, "gone", 100.0, {"c"});
    ASSERT_EQ(rig.engine->formulaEngineRegisterStream(rig.engine, gone.stream), 0);
    // Its owner destroys the stream while it is still registered.
    destroyStream(gone.stream);
    testing::internal::CaptureStdout();
    rig.parse({{"a", "<rack1-ch0> 'v'"}});
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "null stream\n");
}

TEST(FormulaEngine, InputFormulasNeedStreams)
{
    Rig rig(false);
    EXPECT_EQ(rig.parse({{"a", "1 'v'"}}), -9);
    EXPECT_STREQ(rig.message, "Input formulas but no input streams registered");
}

// Values of the input formulas for n aligned scans, read through the output
// stream from the oldest scan.
std::vector<std::vector<double>> readScans(TQFormulaEngine *engine, int64_t n)
{
    TQStream *out = nullptr;
    engine->formulaEngineGetStream(engine, nullptr, &out);
    TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
    std::vector<std::vector<double>> rows;
    const int channels = out->streamGetNumberChannels(out);
    while (static_cast<int64_t>(rows.size()) < n) {
        TQPiece *pieces = nullptr;
        uint32_t count = 0;
        const int64_t got = reader->readerReserveRead(reader, &pieces, &count, n - static_cast<int64_t>(rows.size()));
        if (got <= 0)
            break;
        for (uint32_t p = 0; p < count; ++p) {
            const auto *values = static_cast<const double *>(pieces[p].data);
            for (uint32_t k = 0; k < pieces[p].length / 8 / channels; ++k)
                rows.emplace_back(values + k * channels, values + (k + 1) * channels);
        }
        reader->readerCompleteRead(reader, got);
    }
    reader->readerRelease(&reader);
    out->streamRelease(&out);
    return rows;
}

TEST(FormulaEngine, ProducesScansOverStreamsAtDifferentRates)
{
    Rig rig;
    ASSERT_EQ(rig.parse({{"sum", "<rack1-ch0> + <slow-ch0> 'v'"},
                         {"twice", "<rack1-ch1> 'v'"},
                         {"mean", "average(<rack1-ch0>, 4) 'v'"},
                         {"both", "sum + twice 'v'"}}),
              0);
    EXPECT_EQ(rig.engine->inputCount, 4);
    // Nothing is computed before someone reads.
    rig.fast.write(400);
    rig.slow.write(100);
    EXPECT_EQ(rig.engine->newestIndex, 0);
    const auto rows = readScans(rig.engine, 400);
    ASSERT_EQ(rows.size(), 400u);
    for (int64_t k = 0; k < 400; ++k) {
        SCOPED_TRACE(k);
        const double sum = static_cast<double>(k + k / 4);
        EXPECT_EQ(rows[k][0], sum);
        EXPECT_EQ(rows[k][1], 2.0 * k);
        const int64_t first = k >= 3 ? k - 3 : 0;
        EXPECT_DOUBLE_EQ(rows[k][2], (first + k) / 2.0);
        EXPECT_EQ(rows[k][3], sum + 2.0 * k);
    }
    // Each channel was read once per scan, though "sum" is shared.
    EXPECT_EQ(rig.fast.channels[0].ownerWord2, 400);
    EXPECT_EQ(rig.fast.channels[1].ownerWord2, 400);
    // The output stream describes the formulas.
    TQStream *out = rig.engine->outputStream;
    EXPECT_EQ(out->streamGetRate(out), 1000.0);
    EXPECT_EQ(out->streamGetScanSize(out), 32);
    TQStreamChannel *mean = out->streamGetChannel(out, "mean");
    ASSERT_NE(mean, nullptr);
    EXPECT_STREQ(mean->eu, "v");
    EXPECT_EQ(out->streamGetChannelByIndex(out, 4), nullptr);
    const double scan[4] = {1, 2, 3, 4};
    EXPECT_EQ(mean->streamChannelEval(mean, scan), 3);
}

TEST(FormulaEngine, PushModeComputesAsMembersNotify)
{
    int owner = 0;
    Rig rig(true, &owner);
    ASSERT_EQ(rig.parse({{"x", "<rack1-ch0> * 3 'v'"}, {"y", "<slow-ch0> 'v'"}}), 0);
    rig.fast.write(40);
    rig.slow.write(10);
    rig.fast.stream->notifyListeners(rig.fast.stream, 0, 0, 0);
    EXPECT_EQ(rig.engine->newestIndex, 40);
    const auto rows = readScans(rig.engine, 40);
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_EQ(rows[39][0], 117);
    EXPECT_EQ(rows[39][1], 9);
}

TEST(FormulaEngine, SharingChannelsThermocouplesAndMacros)
{
    Rig rig;
    ASSERT_EQ(rig.parse({{"t1", "thermo(<rack1-ch0>, <rack1-ch7>, typek) 'C'"},
                         {"t2", "thermo(<rack1-ch1>, <rack1-ch7>, typek) 'C'"},
                         {"t3", "thermo(<rack1-ch1>, <rack1-ch7>, typej) 'C'"},
                         {"m", "macro(p * p + 1, p, <rack1-ch1>) 'v'"}}),
              0);
    ExprNode *r1 = rig.formula("t1")->root->operand[1]->operand[1];
    ExprNode *r2 = rig.formula("t2")->root->operand[1]->operand[1];
    ExprNode *r3 = rig.formula("t3")->root->operand[1]->operand[1];
    EXPECT_EQ(r1->kind, kThermoRef);
    EXPECT_EQ(r1, r2);
    EXPECT_NE(r1, r3);
    ASSERT_NE(rig.formula("4<rack1-ch7>"), nullptr);
    ASSERT_NE(rig.formula("3<rack1-ch7>"), nullptr);
    // The hidden formulas are neither counted nor written.
    EXPECT_EQ(rig.engine->formulaCount, 4);
    rig.fast.write(8);
    rig.slow.write(2);
    const auto rows = readScans(rig.engine, 8);
    ASSERT_EQ(rows.size(), 8u);
    for (int k = 0; k < 8; ++k) {
        const double ref = thermoc2mv(10.0 * k, 4);
        EXPECT_DOUBLE_EQ(rows[k][0], thermomv2c(1000.0 * k + ref, 4));
        EXPECT_DOUBLE_EQ(rows[k][3], 4.0 * k * k + 1);
    }
    // One reading of ch7 per scan for both type-K junctions and the type J.
    EXPECT_EQ(rig.fast.channels[2].ownerWord2, 8);
}

TEST(FormulaEngine, AddReplaceRemoveAndLimits)
{
    Rig rig;
    TQFormulaEngine *e = rig.engine;
    EXPECT_EQ(e->formulaEngineAddFormula(e, "a", "=", "1 'v'"), 0);
    EXPECT_EQ(e->formulaEngineAddFormula(e, "b", "=", "2 'v'"), 0);
    EXPECT_EQ(e->formulaEngineAddFormula(e, "a", "=", "3 'v'"), 0); // replaced in place
    EXPECT_EQ(e->formulaCount, 2);
    EXPECT_STREQ(listFirst(&e->storedFormulas)->expression, "3 'v'");
    EXPECT_EQ(e->formulaEngineRmvFormula(e, "zz"), -12);
    EXPECT_EQ(e->formulaEngineRmvFormula(e, "b"), 0);
    EXPECT_EQ(e->formulaCount, 1);
    // Name and expression of 1022 characters are refused; 1021 are taken.
    // (Text after a complete statement is ignored: the blanks pad it.)
    EXPECT_EQ(e->formulaEngineAddFormula(e, "n", "=", ("1 'v'" + std::string(1016, ' ')).c_str()), -1);
    EXPECT_EQ(e->formulaEngineAddFormula(e, "n", "=", ("1 'v'" + std::string(1015, ' ')).c_str()), 0);
    // Any change stops production until the next parse.
    ASSERT_EQ(e->parseFormulas(e, rig.message), 0);
    e->formulaEngineAddFormula(e, "c", "=", "4 'v'");
    EXPECT_EQ(e->parsed, 0);
    rig.fast.write(10);
    rig.slow.write(10);
    EXPECT_EQ(e->formulaEngineEvalScans(e, 10), 0);
    // Registering a stream does too: trees index the members as they were.
    ASSERT_EQ(e->parseFormulas(e, rig.message), 0);
    memstream::Owner third;
    memstream::make(third, "third", 100.0, {"c"});
    e->formulaEngineRegisterStream(e, third.stream);
    EXPECT_EQ(e->parsed, 0);
    e->formulaEngineUnregisterStream(e, third.stream);
    destroyStream(third.stream);
}

TEST(FormulaEngine, DefaultFormulas)
{
    Rig rig;
    TQFormulaEngine *e = rig.engine;
    EXPECT_EQ(e->createDefaultFormulas(e), 0);
    Formula *f = rig.formula("rack1_ch0");
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->expression, "<rack1-ch0> 'volts'");
    EXPECT_NE(rig.formula("slow_ch0"), nullptr);
    EXPECT_EQ(e->formulaCount, 5);
    EXPECT_EQ(e->createDefaultFormulas(e), 0);
    EXPECT_EQ(e->formulaCount, 5);
}

TEST(FormulaEngine, OutputChannelsKeepTheirAddresses)
{
    Rig rig;
    ASSERT_EQ(rig.parse({{"a", "1 'v'"}}), 0);
    TQStream *out = rig.engine->outputStream;
    TQStreamChannel *held = out->streamGetChannelByIndex(out, 0);
    ASSERT_EQ(rig.parse({{"z", "2 'w'"}, {"y", "3 'u'"}, {"x", "4 't'"}}), 0);
    EXPECT_EQ(out->streamGetChannelByIndex(out, 0), held);
    EXPECT_STREQ(held->name, "z");
    EXPECT_STREQ(held->eu, "w");
}

TEST(FormulaEngine, FormulaeXmlRoundTrip)
{
    const std::string dir = streamtest::scratchDir("formulaexml");
    const std::string longExpression = "<rack1-ch0>" + std::string(600, ' ') + "+ 1 < 2 & 3 'v'";
    {
        Rig rig;
        ASSERT_EQ(rig.parse({{"a", "<rack1-ch0> < <rack1-ch1> & 1 'v'"},
                             {"b", longExpression},
                             {"<rack1-ao0>", "sync 1"}}),
                  0);
        // Added after the parse: not written.
        rig.engine->formulaEngineAddFormula(rig.engine, "late", "=", "1 'v'");
        ASSERT_EQ(rig.engine->formulaEngineWriteXML(rig.engine, dir.c_str()), 0);
    }
    const std::string text = streamtest::readFile(dir + "/formulae.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\"?><formulae><formula><name>a</name><expression>&lt;rack1-ch0&gt; "
                         "&lt; &lt;rack1-ch1&gt; &amp; 1 'v'</expression></formula>",
                         0),
              0u);
    EXPECT_EQ(text.find("late"), std::string::npos);
    EXPECT_EQ(text.find("ao0"), std::string::npos);
    if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("xmllint --noout " + dir + "/formulae.xml").c_str()), 0);
    }

    Rig other;
    EXPECT_EQ(other.engine->formulaEngineReadXML(other.engine, (dir + "/none").c_str()), -12);
    ASSERT_EQ(other.engine->formulaEngineReadXML(other.engine, dir.c_str()), 0);
    EXPECT_EQ(other.engine->parsed, 1);
    Formula *a = other.formula("a");
    Formula *b = other.formula("b");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(a->expression, "<rack1-ch0> < <rack1-ch1> & 1 'v'");
    EXPECT_EQ(std::string(b->expression), longExpression);
}

TEST(FormulaEngine, ReleaseBeforeItsOutputStream)
{
    // A holder of the output stream may keep it after the engine is gone.
    Rig rig;
    ASSERT_EQ(rig.parse({{"a", "<rack1-ch0> 'v'"}}), 0);
    TQStream *out = nullptr;
    rig.engine->formulaEngineGetStream(rig.engine, "formulas", &out);
    EXPECT_STREQ(out->name, "formulas");
    TQReader *reader = out->streamNewReader(out, 0, TQ_WHENCE_OLDEST);
    ASSERT_NE(reader, nullptr);
    rig.engine->formulaEngineRelease(&rig.engine);
    rig.engine = NewFormulaEngine(nullptr); // for the rig's own release
    int64_t count = -1;
    EXPECT_EQ(reader->readerPeek(reader, &count, nullptr), nullptr);
    EXPECT_EQ(out->streamGetChannelByIndex(out, 0), nullptr);
    reader->readerRelease(&reader);
    out->streamRelease(&out);
}

} // namespace
