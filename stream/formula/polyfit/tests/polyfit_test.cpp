// Row operations and the polynomial fit: fixed cases, singular point sets,
// and random point sets against an independent Lagrange evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "tq/polyfit.h"

namespace
{

using tq::fit::addScaledMatrixRow;
using tq::fit::fitMultipoint;
using tq::fit::fitPolynomial;
using tq::fit::kFitNoMemory;
using tq::fit::kFitOk;
using tq::fit::kFitSingular;
using tq::fit::scaleMatrixRow;
using tq::fit::swapMatrixRows;

// ---- Row operations ----------------------------------------------------------------

enum class Op { Scale, Add, Swap };
struct RowCase {
    const char *what;
    Op op;
    int32_t a, b;
    double factor;
    int32_t columns;
    std::vector<double> expected; // the 2 x 3 matrix {1, 2, 3, 4, 5, 6} afterwards
};

const RowCase kRowCases[] = {
    {"scale row 1", Op::Scale, 1, 0, 2.0, 3, {1, 2, 3, 8, 10, 12}},
    {"scale by zero", Op::Scale, 0, 0, 0.0, 3, {0, 0, 0, 4, 5, 6}},
    {"add row 0 into row 1", Op::Add, 0, 1, -4.0, 3, {1, 2, 3, 0, -3, -6}},
    {"add a row to itself doubles it", Op::Add, 1, 1, 1.0, 3, {1, 2, 3, 8, 10, 12}},
    {"swap", Op::Swap, 0, 1, 0.0, 3, {4, 5, 6, 1, 2, 3}},
    {"swap a row with itself", Op::Swap, 1, 1, 0.0, 3, {1, 2, 3, 4, 5, 6}},
    {"scale, no columns", Op::Scale, 0, 0, 9.0, 0, {1, 2, 3, 4, 5, 6}},
    {"add, negative columns", Op::Add, 0, 1, 9.0, -3, {1, 2, 3, 4, 5, 6}},
    {"swap, no columns", Op::Swap, 0, 1, 0.0, 0, {1, 2, 3, 4, 5, 6}},
    // Two columns read the same storage as a 3 x 2 matrix: row 1 is {3, 4}.
    {"columns decide where a row lies", Op::Scale, 1, 0, 10.0, 2, {1, 2, 30, 40, 5, 6}},
};

TEST(RowOperations, Table)
{
    for (const RowCase &c : kRowCases) {
        std::vector<double> m = {1, 2, 3, 4, 5, 6};
        switch (c.op) {
        case Op::Scale:
            scaleMatrixRow(m.data(), c.a, c.factor, c.columns);
            break;
        case Op::Add:
            addScaledMatrixRow(m.data(), c.a, c.factor, c.b, c.columns);
            break;
        case Op::Swap:
            swapMatrixRows(m.data(), c.a, c.b, c.columns);
            break;
        }
        EXPECT_EQ(m, c.expected) << c.what;
    }
}

// ---- Multipoint lists -----------------------------------------------------------------

// The shape of a multipoint pair as the formula parser builds it: a constant
// holding x whose first operand holds y and whose second operand is the next
// pair.
struct Node {
    double value = 0.0;
    const Node *operand[2] = {nullptr, nullptr};
};

struct PairList {
    std::vector<Node> ys, xs;
    explicit PairList(const std::vector<std::pair<double, double>> &pairs) : ys(pairs.size()), xs(pairs.size())
    {
        for (size_t i = 0; i < pairs.size(); ++i) {
            xs[i].value = pairs[i].first;
            ys[i].value = pairs[i].second;
            xs[i].operand[0] = &ys[i];
            xs[i].operand[1] = i + 1 < pairs.size() ? &xs[i + 1] : nullptr;
        }
    }
    const Node *first() const { return xs.empty() ? nullptr : &xs[0]; }
};

int fit(const PairList &list, int32_t *count, double **coefficients)
{
    return fitMultipoint(
        list.first(), count, coefficients, [](const Node *p) { return p->value; },
        [](const Node *p) { return p->operand[0]->value; }, [](const Node *p) { return p->operand[1]; });
}

struct FitCase {
    const char *what;
    std::vector<std::pair<double, double>> pairs;
    int result;
    std::vector<double> coefficients; // expected on success
};

const FitCase kFitCases[] = {
    {"the line 2x", {{0, 0}, {1, 2}}, kFitOk, {0, 2}},
    {"x squared", {{-1, 1}, {0, 0}, {1, 1}}, kFitOk, {0, 0, 1}},
    {"1 + 2x through three points", {{0, 1}, {10, 21}, {20, 41}}, kFitOk, {1, 2, 0}},
    {"one pair: a constant", {{5, 3}}, kFitOk, {3}},
    {"cubic", {{-2, -8}, {-1, -1}, {1, 1}, {2, 8}}, kFitOk, {0, 0, 0, 1}},
    {"order of the pairs does not matter", {{20, 41}, {0, 1}, {10, 21}}, kFitOk, {1, 2, 0}},
    {"points in ADC counts", {{-32000, -5}, {0, 1}, {32000, 3}}, kFitOk, {1, 8.0 / 64000, -4.0 / 2048000000}},
    {"equal x", {{1, 1}, {1, 2}}, kFitSingular, {}},
    {"equal x among three", {{0.1, 1}, {0.3, 2}, {0.1, 3}}, kFitSingular, {}},
    {"equal x among four", {{-0.7, 1}, {0.2, 2}, {1.3, 0}, {0.2, 5}}, kFitSingular, {}},
    {"all x equal", {{3, 1}, {3, 1}, {3, 1}}, kFitSingular, {}},
    {"x not finite", {{0, 0}, {INFINITY, 1}}, kFitSingular, {}},
    {"y not a number", {{0, 0}, {1, NAN}}, kFitSingular, {}},
    {"no pairs", {}, kFitSingular, {}},
};

TEST(FitMultipoint, Table)
{
    for (const FitCase &c : kFitCases) {
        PairList list(c.pairs);
        int32_t count = -7;
        double *coefficients = nullptr;
        const int result = fit(list, &count, &coefficients);
        EXPECT_EQ(result, c.result) << c.what;
        if (c.result == kFitOk) {
            ASSERT_EQ(count, static_cast<int32_t>(c.coefficients.size())) << c.what;
            ASSERT_NE(coefficients, nullptr) << c.what;
            for (int32_t k = 0; k < count; ++k) {
                const double tolerance = 1e-9 * std::fmax(1.0, std::fabs(c.coefficients[k]));
                EXPECT_NEAR(coefficients[k], c.coefficients[k], tolerance) << c.what << ", a" << k;
            }
        } else {
            // A failed fit leaves the count alone; the array it handed over
            // stays with the caller, all zeros.
            EXPECT_EQ(count, -7) << c.what;
            if (!c.pairs.empty()) {
                ASSERT_NE(coefficients, nullptr) << c.what;
                for (size_t k = 0; k < c.pairs.size(); ++k)
                    EXPECT_EQ(coefficients[k], 0.0) << c.what << ", a" << k;
            } else {
                EXPECT_EQ(coefficients, nullptr) << c.what;
            }
        }
        std::free(coefficients);
    }
}

TEST(FitMultipoint, FittingAgainReplacesTheArray)
{
    PairList line({{0, 0}, {1, 2}}), parabola({{-1, 1}, {0, 0}, {1, 1}});
    int32_t count = 0;
    double *coefficients = nullptr;
    ASSERT_EQ(fit(line, &count, &coefficients), kFitOk);
    ASSERT_EQ(fit(parabola, &count, &coefficients), kFitOk); // the first array is freed (the leak check sees it)
    ASSERT_EQ(count, 3);
    EXPECT_NEAR(coefficients[2], 1.0, 1e-12);
    std::free(coefficients);
}

// ---- Random point sets ------------------------------------------------------------------

// Value of the interpolating polynomial at t, from Lagrange's formula:
// independent of the normal equations that the fit solves.
double lagrange(const std::vector<double> &x, const std::vector<double> &y, double t)
{
    double sum = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        double term = y[i];
        for (size_t j = 0; j < x.size(); ++j)
            if (j != i)
                term *= (t - x[j]) / (x[i] - x[j]);
        sum += term;
    }
    return sum;
}

double horner(const std::vector<double> &a, double t)
{
    double v = 0.0;
    for (size_t k = a.size(); k-- > 0;)
        v = v * t + a[k];
    return v;
}

TEST(FitPolynomial, RandomSetsAgreeWithLagrange)
{
    std::mt19937 random(718);
    struct Shape {
        int points;
        double span;      // x drawn from [-span, span]
        double offset;    // and moved by this much
        double tolerance; // relative to the larger of 100 (the largest |y|) and the value
    };
    // Sets away from 0 make the normal equations worse conditioned (the
    // powers of x grow alike): they get a wider tolerance.
    const Shape shapes[] = {{2, 10, 0, 1e-10},   {3, 10, 0, 1e-10}, {4, 50, 0, 1e-9},     {5, 50, 0, 1e-9},
                            {6, 20, 0, 1e-7},    {7, 20, 0, 1e-7},  {3, 32767, 0, 1e-10}, {5, 32767, 0, 1e-7},
                            {3, 1e-3, 0, 1e-10}, {4, 10, 25, 1e-5}, {3, 10, 100, 1e-6}};
    for (const Shape &shape : shapes) {
        std::uniform_real_distribution<double> xs(-shape.span, shape.span), ys(-100.0, 100.0);
        for (int trial = 0; trial < 200; ++trial) {
            // Points at least a tenth of the span apart: the sets are well
            // determined, so any disagreement is the fit's.
            std::vector<double> x, y;
            while (static_cast<int>(x.size()) < shape.points) {
                const double candidate = xs(random) + shape.offset;
                bool apart = true;
                for (double v : x)
                    apart = apart && std::fabs(v - candidate) > shape.span / 10.0;
                if (apart) {
                    x.push_back(candidate);
                    y.push_back(ys(random));
                }
            }
            std::vector<double> a(x.size());
            ASSERT_EQ(fitPolynomial(x.data(), y.data(), static_cast<int32_t>(x.size()), a.data()), kFitOk)
                << shape.points << " points, trial " << trial;
            for (size_t i = 0; i < x.size(); ++i)
                EXPECT_NEAR(horner(a, x[i]), y[i], shape.tolerance * 100.0)
                    << shape.points << " points, trial " << trial;
            for (int k = 0; k < 5; ++k) {
                const double t = xs(random) + shape.offset;
                const double expected = lagrange(x, y, t);
                EXPECT_NEAR(horner(a, t), expected, shape.tolerance * std::fmax(100.0, std::fabs(expected)))
                    << shape.points << " points, trial " << trial << " at " << t;
            }
        }
    }
}

TEST(FitPolynomial, NearlyEqualXIsSingularNotGarbage)
{
    // Two x values a few units in the last place apart: the normal
    // equations cannot tell this from equal x; a fit would be noise.
    const double x[] = {1.0, std::nextafter(1.0, 2.0), 2.0};
    const double y[] = {0.0, 1.0, 2.0};
    double a[3] = {7, 7, 7};
    EXPECT_EQ(fitPolynomial(x, y, 3, a), kFitSingular);
    EXPECT_EQ(a[0], 7.0); // left untouched
}

TEST(FitPolynomial, NoPointsIsSingular)
{
    double a[1] = {7};
    EXPECT_EQ(fitPolynomial(nullptr, nullptr, 0, a), kFitSingular);
    EXPECT_EQ(fitPolynomial(nullptr, nullptr, -1, a), kFitSingular);
    EXPECT_EQ(kFitNoMemory, -4);
}

} // namespace
