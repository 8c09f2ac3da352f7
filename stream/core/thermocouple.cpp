// Thermocouple conversion.
//
// The reference tables hold the thermoelectric voltage of each type at every
// whole degree of its range, rounded to 0.00001 mV. They are computed once,
// on first use, from the ITS-90 reference functions (NIST Monograph 175):
// E = sum c_i t^i over the subrange that holds t, plus a0 exp(a1 (t - a2)^2)
// for type K above 0 degrees. The coefficients below are the published
// ones, constant term first, in degrees Celsius and millivolts.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "tqstream.h"

namespace {

// Fixed storage throughout: building the tables allocates nothing, so the
// exported functions cannot fail or throw on first use.
constexpr int kMaxCoefficients = 15;
constexpr int kMaxSubranges = 3;

struct Subrange {
    double upper; // highest temperature of the subrange; the first subrange that reaches t applies
    long double c[kMaxCoefficients];
};

struct ReferenceFunction {
    int first; // whole degrees covered by the table
    int last;
    Subrange subranges[kMaxSubranges];
    bool gaussian = false; // type K above 0 degrees
};

constexpr long double kA0 = 0.118597600000E+00L;
constexpr long double kA1 = -0.118343200000E-03L;
constexpr long double kA2 = 0.126968600000E+03L;

// Index = type number - 1: B, E, J, K, N, R, S, T.
const ReferenceFunction &referenceFunction(int index)
{
    static const ReferenceFunction functions[8] = {
        {0,
         1820,
         {{630.615,
           {0.000000000000E+00L, -0.246508183460E-03L, 0.590404211710E-05L, -0.132579316360E-08L,
            0.156682919010E-11L, -0.169445292400E-14L, 0.629903470940E-18L}},
          {1820.0,
           {-0.389381686210E+01L, 0.285717474700E-01L, -0.848851047850E-04L, 0.157852801640E-06L,
            -0.168353448640E-09L, 0.111097940130E-12L, -0.445154310330E-16L, 0.989756408210E-20L,
            -0.937913302890E-24L}}}},
        {-270,
         1000,
         {{0.0,
           {0.000000000000E+00L, 0.586655087080E-01L, 0.454109771240E-04L, -0.779980486860E-06L,
            -0.258001608430E-07L, -0.594525830570E-09L, -0.932140586670E-11L, -0.102876055340E-12L,
            -0.803701236210E-15L, -0.439794973910E-17L, -0.164147763550E-19L, -0.396736195160E-22L,
            -0.558273287210E-25L, -0.346578420130E-28L}},
          {1000.0,
           {0.000000000000E+00L, 0.586655087100E-01L, 0.450322755820E-04L, 0.289084072120E-07L,
            -0.330568966520E-09L, 0.650244032700E-12L, -0.191974955040E-15L, -0.125366004970E-17L,
            0.214892175690E-20L, -0.143880417820E-23L, 0.359608994810E-27L}}}},
        {-210,
         1200,
         {{760.0,
           {0.000000000000E+00L, 0.503811878150E-01L, 0.304758369300E-04L, -0.856810657200E-07L,
            0.132281952950E-09L, -0.170529583370E-12L, 0.209480906970E-15L, -0.125383953360E-18L,
            0.156317256970E-22L}},
          {1200.0,
           {0.296456256810E+03L, -0.149761277860E+01L, 0.317871039240E-02L, -0.318476867010E-05L,
            0.157208190040E-08L, -0.306913690560E-12L}}}},
        {-270,
         1372,
         {{0.0,
           {0.000000000000E+00L, 0.394501280250E-01L, 0.236223735980E-04L, -0.328589067840E-06L,
            -0.499048287770E-08L, -0.675090591730E-10L, -0.574103274280E-12L, -0.310888728940E-14L,
            -0.104516093650E-16L, -0.198892668780E-19L, -0.163226974860E-22L}},
          {1372.0,
           {-0.176004136860E-01L, 0.389212049750E-01L, 0.185587700320E-04L, -0.994575928740E-07L,
            0.318409457190E-09L, -0.560728448890E-12L, 0.560750590590E-15L, -0.320207200030E-18L,
            0.971511471520E-22L, -0.121047212750E-25L}}},
         true},
        {-270,
         1300,
         {{0.0,
           {0.000000000000E+00L, 0.261591059620E-01L, 0.109574842280E-04L, -0.938411115540E-07L,
            -0.464120397590E-10L, -0.263033577160E-11L, -0.226534380030E-13L, -0.760893007910E-16L,
            -0.934196678350E-19L}},
          {1300.0,
           {0.000000000000E+00L, 0.259293946010E-01L, 0.157101418800E-04L, 0.438256272370E-07L,
            -0.252611697940E-09L, 0.643118193390E-12L, -0.100634715190E-14L, 0.997453389920E-18L,
            -0.608632456070E-21L, 0.208492293390E-24L, -0.306821961510E-28L}}}},
        {-50,
         1768,
         {{1064.18,
           {0.000000000000E+00L, 0.528961729765E-02L, 0.139166589782E-04L, -0.238855693017E-07L,
            0.356916001063E-10L, -0.462347666298E-13L, 0.500777441034E-16L, -0.373105886191E-19L,
            0.157716482367E-22L, -0.281038625251E-26L}},
          {1664.5,
           {0.295157925316E+01L, -0.252061251332E-02L, 0.159564501865E-04L, -0.764085947576E-08L,
            0.205305291024E-11L, -0.293359668173E-15L}},
          {1768.1,
           {0.152232118209E+03L, -0.268819888545E+00L, 0.171280280471E-03L, -0.345895706453E-07L,
            -0.934633971046E-14L}}}},
        {-50,
         1768,
         {{1064.18,
           {0.000000000000E+00L, 0.540313308631E-02L, 0.125934289740E-04L, -0.232477968689E-07L,
            0.322028823036E-10L, -0.331465196389E-13L, 0.255744251786E-16L, -0.125068871393E-19L,
            0.271443176145E-23L}},
          {1664.5,
           {0.132900444085E+01L, 0.334509311344E-02L, 0.654805192818E-05L, -0.164856259209E-08L,
            0.129989605174E-13L}},
          {1768.1,
           {0.146628232636E+03L, -0.258430516752E+00L, 0.163693574641E-03L, -0.330439046987E-07L,
            -0.943223690612E-14L}}}},
        {-270,
         400,
         {{0.0,
           {0.000000000000E+00L, 0.387481063640E-01L, 0.441944343470E-04L, 0.118443231050E-06L,
            0.200329735540E-07L, 0.901380195590E-09L, 0.226511565930E-10L, 0.360711542050E-12L,
            0.384939398830E-14L, 0.282135219250E-16L, 0.142515947790E-18L, 0.487686622860E-21L,
            0.107955392700E-23L, 0.139450270620E-26L, 0.797951539270E-30L}},
          {400.0,
           {0.000000000000E+00L, 0.387481063640E-01L, 0.332922278800E-04L, 0.206182434040E-06L,
            -0.218822568460E-08L, 0.109968809280E-10L, -0.308157587720E-13L, 0.454791352900E-16L,
            -0.275129016730E-19L}}}},
    };
    return functions[index];
}

// The reference function in extended precision, so that rounding to
// 0.00001 mV is decided on the exact polynomial value.
long double referenceMillivolts(const ReferenceFunction &function, int celsius)
{
    const long double t = celsius;
    const Subrange *range = nullptr;
    for (const Subrange &candidate : function.subranges) {
        range = &candidate;
        if (t <= candidate.upper)
            break;
    }
    long double e = 0;
    for (int i = kMaxCoefficients; i-- > 0;)
        e = e * t + range->c[i]; // unused coefficients are 0
    if (function.gaussian && t > 0) {
        const long double d = t - kA2;
        e += kA0 * std::exp(kA1 * d * d);
    }
    return e;
}

struct Row {
    double celsius;
    double millivolts;
};

constexpr int kRowCount = 1821 + 1271 + 1411 + 1643 + 1571 + 1819 + 1819 + 671;

struct Table {
    const Row *rows;
    size_t count;
};

struct Tables {
    Row rows[kRowCount];
    Table table[8];

    Tables()
    {
        size_t next = 0;
        for (int index = 0; index < 8; ++index) {
            const ReferenceFunction &function = referenceFunction(index);
            table[index].rows = rows + next;
            for (int t = function.first; t <= function.last; ++t) {
                // Whole hundred-thousandths as an exact integer, then one
                // correctly rounded division: the nearest double to the
                // five-decimal value.
                long double scaled = std::round(referenceMillivolts(function, t) * 100000.0L);
                rows[next++] = {static_cast<double>(t), static_cast<double>(scaled) / 100000.0};
            }
            table[index].count = static_cast<size_t>(rows + next - table[index].rows);
        }
    }
};

const Table *tableFor(int32_t type)
{
    if (type < 1 || type > 8)
        return nullptr;
    static const Tables tables;
    return &tables.table[type - 1];
}

} // namespace

TQ_API double thermoc2mv(double celsius, int32_t type)
{
    const Table *table = tableFor(type);
    if (!table)
        return 0.0;
    const Row *rows = table->rows;
    const size_t last = table->count - 1;
    if (!(celsius >= rows[0].celsius))
        return rows[0].millivolts;
    if (celsius > rows[last].celsius)
        return rows[last].millivolts;
    // The rows are consecutive whole degrees, so the bracket a bisection
    // would find is found by index; exact keys and the interpolation give
    // the same results as the bisection.
    // floor without a library call: the value lies within the table here.
    int64_t whole = static_cast<int64_t>(celsius);
    if (static_cast<double>(whole) > celsius)
        --whole;
    const size_t lo = static_cast<size_t>(whole - static_cast<int64_t>(rows[0].celsius));
    if (rows[lo].celsius == celsius)
        return rows[lo].millivolts;
    const size_t hi = lo + 1;
    return rows[lo].millivolts + (celsius - rows[lo].celsius) / (rows[hi].celsius - rows[lo].celsius) *
                                     (rows[hi].millivolts - rows[lo].millivolts);
}

// The voltage column is not monotonic everywhere (type B dips below zero
// near room temperature), so the inverse keeps the plain bisection: its
// bracket is what defines the result there.
TQ_API double thermomv2c(double millivolts, int32_t type)
{
    const Table *table = tableFor(type);
    if (!table)
        return 0.0;
    const Row *rows = table->rows;
    size_t lo = 0;
    size_t hi = table->count - 1;
    if (!(millivolts >= rows[lo].millivolts))
        return rows[lo].celsius;
    if (millivolts > rows[hi].millivolts)
        return rows[hi].celsius;
    do {
        if (rows[lo].millivolts == millivolts)
            return rows[lo].celsius;
        if (rows[hi].millivolts == millivolts)
            return rows[hi].celsius;
        const size_t mid = (lo + hi) / 2;
        if (rows[mid].millivolts == millivolts)
            return rows[mid].celsius;
        if (millivolts >= rows[mid].millivolts)
            lo = mid;
        else
            hi = mid;
    } while (hi != lo + 1);
    return rows[lo].celsius + (millivolts - rows[lo].millivolts) / (rows[hi].millivolts - rows[lo].millivolts) *
                                  (rows[hi].celsius - rows[lo].celsius);
}
