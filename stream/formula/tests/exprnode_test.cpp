// Expression nodes: the value of each kind over a run of scans, integer and
// IEEE edge cases, the per-scan cache and the stateful kinds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "formula/exprnode.h"
#include "formula/formulaparse.h"
#include "core/streamimpl.h"

using namespace tq::formula;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A channel that reads one double of its scan and counts its evaluations.
struct FakeChannel {
    TQStreamChannel head;
    int offset;
    int evaluations;
    int rawEvaluations;
};

double fakeEval(TQStreamChannel *channel, const void *scan)
{
    auto *fake = reinterpret_cast<FakeChannel *>(channel);
    fake->evaluations++;
    double value;
    std::memcpy(&value, static_cast<const char *>(scan) + fake->offset, sizeof value);
    return value;
}
double fakeEvalRaw(TQStreamChannel *channel, const void *scan)
{
    auto *fake = reinterpret_cast<FakeChannel *>(channel);
    fake->rawEvaluations++;
    double value;
    std::memcpy(&value, static_cast<const char *>(scan) + fake->offset, sizeof value);
    return value * 10.0;
}
void fakeSetEval(TQStreamChannel *channel, double value, void *scan)
{
    auto *fake = reinterpret_cast<FakeChannel *>(channel);
    fake->evaluations++;
    if (scan)
        std::memcpy(static_cast<char *>(scan) + fake->offset, &value, sizeof value);
}

FakeChannel makeChannel(const char *name, int offset)
{
    FakeChannel c{};
    std::snprintf(c.head.name, sizeof c.head.name, "%s", name);
    c.head.streamChannelEval = fakeEval;
    c.head.streamChannelEvalRaw = fakeEvalRaw;
    c.head.streamChannelSetEval = fakeSetEval;
    c.offset = offset;
    return c;
}

// Two members: "s" with scans of two doubles (channels a and b) at the
// collection's rate, "t" with one double per scan (channel c) at half of it.
struct Fixture {
    FakeChannel a = makeChannel("a", 0);
    FakeChannel b = makeChannel("b", 8);
    FakeChannel c = makeChannel("c", 0);
    EvalContext context{10.0, nullptr};
    std::vector<double> member0; // a, b per scan
    std::vector<double> member1; // c per scan

    // What the resolution does for these tests: channels bound, windows and
    // coefficients prepared.
    void resolve(ExprNode *n)
    {
        if (!n)
            return;
        n->engine = &context;
        if (n->kind == kChannelRef || n->kind == kRawChannelRef) {
            const std::string name = n->name;
            const bool raw = n->kind == kRawChannelRef;
            if (name == (raw ? "[s-a]" : "<s-a>"))
                exprBindChannel(n, 0, &a.head, 1.0, 16);
            else if (name == (raw ? "[s-b]" : "<s-b>"))
                exprBindChannel(n, 0, &b.head, 1.0, 16);
            else if (name == (raw ? "[t-c]" : "<t-c>"))
                exprBindChannel(n, 1, &c.head, 0.5, 8);
        }
        if (n->kind == kAverage || n->kind == kVariance)
            exprPrepareWindow(n);
        if (n->kind == kBridge) {
            for (int i = 1; i <= 2; ++i) {
                std::vector<double> values;
                for (ExprNode *e = n->operand[i]; e; e = e->next)
                    values.push_back(e->cachedValue);
                auto *coefficients = static_cast<double *>(std::malloc(values.size() * sizeof(double)));
                std::memcpy(coefficients, values.data(), values.size() * sizeof(double));
                exprSetCoefficients(n->operand[i], coefficients, static_cast<int32_t>(values.size()));
            }
        }
        for (int i = 0; i < n->operandCount; ++i)
            resolve(n->operand[i]);
        for (ExprNode *e = n->next; e; e = e->next)
            resolve(e);
    }

    ExprNode *parse(const std::string &expression)
    {
        const std::string text = "r=" + expression + " 'v' x";
        ExprNode *root = nullptr;
        char message[128] = "";
        EXPECT_EQ(parseStatement(text.data(), text.size(), &root, message, sizeof message), 0)
            << expression << ": " << message;
        if (root)
            resolve(root);
        return root;
    }

    // Values of the expression for scans 0..n-1 of one block.
    std::vector<double> run(ExprNode *root, size_t n, int64_t firstIndex = 0)
    {
        member0.resize(2 * n);
        member1.resize(n);
        void *scans[2] = {member0.data(), member1.data()};
        std::vector<double> out;
        for (size_t j = 0; j < n; ++j)
            out.push_back(exprEval(root, scans, static_cast<int64_t>(j), firstIndex + static_cast<int64_t>(j)));
        return out;
    }
    void setA(const std::vector<double> &values)
    {
        member0.resize(std::max(member0.size(), 2 * values.size()));
        for (size_t i = 0; i < values.size(); ++i)
            member0[2 * i] = values[i];
    }
    void setB(const std::vector<double> &values)
    {
        member0.resize(std::max(member0.size(), 2 * values.size()));
        for (size_t i = 0; i < values.size(); ++i)
            member0[2 * i + 1] = values[i];
    }
};

bool same(double x, double y)
{
    if (std::isnan(x) || std::isnan(y))
        return std::isnan(x) && std::isnan(y);
    if (std::isinf(x) || std::isinf(y))
        return x == y;
    return std::fabs(x - y) <= 1e-9 * std::max(1.0, std::fabs(y));
}

struct EvalCase {
    const char *expression;
    std::vector<double> a; // channel <s-a> per scan
    std::vector<double> b; // channel <s-b> per scan
    std::vector<double> expected;
    double rate = 10.0;
};

const std::vector<EvalCase> &evalCases()
{
    static const std::vector<EvalCase> cases = {
        // IEEE arithmetic.
        {"5 / 0", {}, {}, {kInf}},
        {"0 / 0 == 0 / 0", {}, {}, {0}},
        {"0 / 0 != 0 / 0", {}, {}, {1}},
        {"asin(2) ? 1 : 2", {}, {}, {1}},
        {"sqrt(-1) > 0", {}, {}, {0}},
        {"0 ? 1 : 2", {}, {}, {2}},
        {"-<s-a>", {3, -2}, {}, {-3, 2}},
        // Integer kinds truncate toward zero first.
        {"-7 % 2", {}, {}, {-1}},
        {"7 % -2", {}, {}, {1}},
        {"2.9 % 2", {}, {}, {0}},
        {"5 % 0", {}, {}, {kNaN}},
        {"asin(2) % -1", {}, {}, {0}},
        {"1 << 64", {}, {}, {0}},
        {"-8 >> 1", {}, {}, {-4}},
        {"-8 >> 70", {}, {}, {-1}},
        {"8 >> 70", {}, {}, {0}},
        {"1 << 256", {}, {}, {1}},
        {"1 << 62", {}, {}, {4611686018427387904.0}},
        {"6 | 3", {}, {}, {7}},
        {"6 & 3", {}, {}, {2}},
        {"-2.5 & -1", {}, {}, {-2}},
        {"asin(2) | 0", {}, {}, {-9223372036854775808.0}},
        {"10000000000000000000 & -1", {}, {}, {-9223372036854775808.0}},
        // Channels: engineering and raw values, members at their own rates.
        {"<s-a> + 2 * <s-b>", {1, 2, 3}, {10, 20, 30}, {21, 42, 63}},
        {"[s-a]", {1, 2}, {}, {10, 20}},
        // Generators at 10 scans per second.
        {"autocycle(0, 10, 1)", std::vector<double>(12), {}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1}},
        {"autocycle(3, 10, 100)", std::vector<double>(3), {}, {3, 3, 3}},
        {"autocycle(3, 10, 0)", std::vector<double>(3), {}, {3, 3, 3}},
        {"autocycle(3, 10, -1)", std::vector<double>(3), {}, {3, 3, 3}},
        {"autocycle(3, 10, asin(2))", std::vector<double>(3), {}, {3, 3, 3}},
        {"autoseq({1, 2, 3}, 1)", std::vector<double>(8), {}, {1, 1, 2, 2, 3, 3, 1, 1}, 6.0},
        {"autoseq({<s-a>, -<s-a>}, 5)", {1, 2, 3, 4}, {}, {1, -2, 3, -4}, 10.0},
        // Running extremes and their reset.
        {"max(<s-a>, <s-b>, 100)", {5, 7, 3, 200, 1, 9}, {0, 0, 0, 0, 1, 0}, {5, 7, 7, 200, 100, 100}},
        {"min(<s-a>, <s-b>, -1)", {5, 7, 3, 1, -5}, {0, 0, 0, 1, 0}, {5, 5, 3, -1, -5}},
        {"max(<s-a>, 0, 0)", {kNaN, 1}, {}, {kNaN, 1}},
        // Windows.
        {"average(<s-a>, 3)", {3, 6, 9, 12}, {}, {3, 4.5, 6, 9}},
        {"average(<s-a>, 1)", {3, 6}, {}, {3, 6}},
        {"variance(<s-a>, 2)", {1, 3, 5, 5}, {}, {0, 1, 1, 0}},
        // Scan index and the derivative (per second, from the previous scan).
        {"scan()", std::vector<double>(3), {}, {0, 1, 2}},
        {"deriv(<s-a>)", {0, 2, 4, 10}, {}, {0, 20, 20, 60}},
        // Polynomials: a bridge list is written from the highest power.
        {"bridge(<s-a>, (1, 0), (2, 1))", {0.25}, {}, {2 * (-4 * 0.25 / (2 * 0.25 - 1)) + 1}},
        // Thermocouples.
        {"unrefthermo(<s-a>, typek)", {0.004096}, {}, {thermomv2c(4.096, 4)}},
        {"thermo(<s-a>, 0.5, typej)", {0.001}, {}, {thermomv2c(1.0 + 0.5, 3)}},
    };
    return cases;
}

TEST(ExprNode, ValuesOverScans)
{
    for (const EvalCase &c : evalCases()) {
        SCOPED_TRACE(c.expression);
        Fixture f;
        f.context.rate = c.rate;
        ExprNode *root = f.parse(c.expression);
        ASSERT_NE(root, nullptr);
        f.setA(c.a);
        f.setB(c.b);
        const size_t n = c.expected.size();
        f.member0.resize(std::max(f.member0.size(), 2 * n));
        const std::vector<double> got = f.run(root, n);
        for (size_t i = 0; i < n; ++i)
            EXPECT_TRUE(same(got[i], c.expected[i])) << "scan " << i << ": " << got[i] << " != " << c.expected[i];
        exprRelease(&root);
    }
}

TEST(ExprNode, MemberAtHalfRateIsReadAtHalfThePosition)
{
    Fixture f;
    ExprNode *root = f.parse("<t-c> + <s-a>");
    f.setA({1, 2, 3, 4});
    f.member1 = {100, 200};
    f.member1.resize(4);
    f.member1[0] = 100;
    f.member1[1] = 200;
    void *scans[2] = {f.member0.data(), f.member1.data()};
    std::vector<double> got;
    for (int j = 0; j < 4; ++j)
        got.push_back(exprEval(root, scans, j, j));
    EXPECT_EQ(got, (std::vector<double>{101, 102, 203, 204}));
    exprRelease(&root);
}

TEST(ExprNode, CacheEvaluatesOncePerScan)
{
    Fixture f;
    ExprNode *root = f.parse("max(<s-a> * 2, 0, 0)");
    f.setA({1, 5, 3});
    void *scans[2] = {f.member0.data(), f.member1.data()};
    ExprNode *expression = root->operand[1];
    // Twice for each scan index: the channel is read once per scan and the
    // running maximum advances once.
    for (int64_t s = 0; s < 3; ++s) {
        exprEval(expression, scans, s, s);
        exprEval(expression, scans, s, s);
    }
    EXPECT_EQ(f.a.evaluations, 3);
    EXPECT_EQ(expression->cachedValue, 10);
    // A node shared by two trees is computed once for both.
    ExprNode *shared = expression->operand[0]; // <s-a> * 2
    exprAddRef(shared);
    ExprNode *other = newOperator(kAdd, shared, newConstant(1));
    EXPECT_EQ(exprEval(other, scans, 2, 2), 7); // scan 2 already computed
    EXPECT_EQ(f.a.evaluations, 3);
    exprRelease(&other);
    exprRelease(&root);
}

struct Posted {
    int count = 0;
    uint32_t event = 0;
    std::string message;
};

int32_t countPosts(TQStream *, uint32_t event, void *user, uint32_t *, char *message)
{
    auto *posted = static_cast<Posted *>(user);
    posted->count++;
    posted->event = event;
    posted->message = message;
    return 0;
}

TEST(ExprNode, AlarmFiresOnceUntilRearmed)
{
    Fixture f;
    // The alarm posts on the formula output stream.
    TQStream *stream = newStream("out", 1.0, nullptr);
    ASSERT_NE(stream, nullptr);
    Posted posted;
    char message[256];
    ASSERT_EQ(tq::stream::streamInstallEventHandler(stream, 0, countPosts, &posted, message), 0);
    f.context.eventStream = stream;
    ExprNode *root = f.parse("alarm(<s-a>, <s-b>, 4, \"too hot\")");
    f.setA({0, 1, 1, 0, 0, 1, 1}); // condition
    f.setB({0, 0, 0, 1, 0, 0, 0}); // re-arm
    std::vector<double> got = f.run(root, 7);
    EXPECT_EQ(got, (std::vector<double>{0, 1, 1, 0, 0, 1, 1}));
    EXPECT_EQ(posted.count, 2); // scans 1 and 5
    EXPECT_EQ(posted.event, 4u);
    EXPECT_EQ(posted.message, "\"too hot\"");
    // An earlier scan index never recomputes.
    void *scans[2] = {f.member0.data(), f.member1.data()};
    const int before = f.a.evaluations;
    EXPECT_EQ(exprEval(root, scans, 2, 2), 1);
    EXPECT_EQ(f.a.evaluations, before);
    EXPECT_EQ(posted.count, 2);
    exprRelease(&root);
    destroyStream(stream);
}

TEST(ExprNode, OutputStatementWritesItsTarget)
{
    Fixture f;
    FakeChannel out = makeChannel("ao0", 8);
    ExprNode *root = nullptr;
    const std::string text = "<r-ao0> <- async <s-a> * 2 x";
    ASSERT_EQ(parseStatement(text.data(), text.size(), &root, nullptr, 0), 0);
    f.resolve(root);
    exprBindChannel(root->operand[0], 0, &out.head, 1.0, 16);
    EXPECT_EQ(root->syncMode, kSyncAsync);
    f.setA({1, 2, 3});
    std::vector<double> outputScans(6, 0.0);
    void *cell[1] = {outputScans.data()};
    void *inputs[2] = {f.member0.data(), f.member1.data()};
    for (int64_t j = 0; j < 3; ++j) {
        // Inputs are read first, then the value lands in output scan j.
        const double value = exprEval(root->operand[1], inputs, j, j);
        EXPECT_EQ(exprEval(root, cell, j, j), value);
    }
    EXPECT_EQ(outputScans, (std::vector<double>{0, 2, 0, 4, 0, 6}));
    // A synchronous target gets no scan address.
    ExprNode *sync = nullptr;
    ASSERT_EQ(parseStatement("<r-ao0> <- 7 x", 14, &sync, nullptr, 0), 0);
    exprBindChannel(sync->operand[0], 0, &out.head, 1.0, 16);
    EXPECT_EQ(exprEval(sync, nullptr, 0, 0), 7);
    exprRelease(&sync);
    exprRelease(&root);
}

TEST(ExprNode, UnresolvedAndUnpreparedNodesGiveNaN)
{
    Fixture f;
    // Names and macros have no evaluation; references without a channel,
    // windows and polynomials without their tables give NaN, not a crash.
    for (const char *text : {"x + 1", "macro(p, p, 1)", "<q-z>", "average(x, 3)", "multi(1, {(0,0);(1,1)})",
                             "bridge(1, (y, 1), (1))"}) {
        SCOPED_TRACE(text);
        const std::string statement = std::string("r=") + text + " 'v' x";
        ExprNode *root = nullptr;
        ASSERT_EQ(parseStatement(statement.data(), statement.size(), &root, nullptr, 0), 0);
        void *scans[2] = {f.member0.data(), f.member1.data()};
        EXPECT_TRUE(std::isnan(exprEval(root, scans, 0, 0)));
        exprRelease(&root);
    }
}

TEST(ExprNode, WindowLengthsAreChecked)
{
    for (const auto &[length, expected] : std::vector<std::pair<const char *, int>>{
             {"1", 0}, {"3.9", 0}, {"0", -1}, {"-3", -1}, {"0.5", -1}, {"16777216", 0}, {"16777217", -1}}) {
        SCOPED_TRACE(length);
        const std::string statement = std::string("r=variance(x, ") + length + ") 'v' x";
        ExprNode *root = nullptr;
        ASSERT_EQ(parseStatement(statement.data(), statement.size(), &root, nullptr, 0), 0);
        ExprNode *window = root->operand[1];
        EXPECT_EQ(exprPrepareWindow(window), expected);
        EXPECT_EQ(window->window != nullptr, expected == 0);
        exprRelease(&root);
    }
}

TEST(ExprNode, ListsKeepTheirElementsOperands)
{
    // A list element that is itself an expression keeps its operands: the
    // list is not linked through them.
    Fixture f;
    ExprNode *root = f.parse("autoseq({<s-a> * 3, <s-a> + 100}, 5)");
    f.setA({1, 2, 3, 4});
    EXPECT_EQ(f.run(root, 4), (std::vector<double>{3, 102, 9, 104}));
    exprRelease(&root);
}

TEST(ExprNode, Trunc64)
{
    EXPECT_EQ(trunc64(2.9), 2);
    EXPECT_EQ(trunc64(-2.9), -2);
    EXPECT_EQ(trunc64(kNaN), INT64_MIN);
    EXPECT_EQ(trunc64(kInf), INT64_MIN);
    EXPECT_EQ(trunc64(9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(trunc64(-9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(trunc64(9223372036854774784.0), 9223372036854774784LL);
}

TEST(ExprNode, ConstructorRefusesBadKinds)
{
    EXPECT_EQ(newOperator(0), nullptr);
    EXPECT_EQ(newOperator(37), nullptr);
    EXPECT_EQ(newTextNode(kAdd, "x"), nullptr);
    ExprNode *shift = newNamedOperator(kShift, "<>", newConstant(1), newConstant(2));
    ASSERT_NE(shift, nullptr);
    EXPECT_EQ(shift->evaluate, nullptr);
    exprRelease(&shift);
    EXPECT_EQ(shift, nullptr);
}

} // namespace
