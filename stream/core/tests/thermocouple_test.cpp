// Thermocouple conversion: the published sample values, every table row
// against the reference functions evaluated here on their own, and the
// inverse against the published inverse polynomials.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tqstream.h"

namespace {

const char kLetters[] = "BEJKNRST"; // type numbers 1 to 8
const int kFirst[] = {0, -270, -210, -270, -270, -50, -50, -270};
const int kLast[] = {1820, 1000, 1200, 1372, 1300, 1768, 1768, 400};

int typeOf(char letter) { return static_cast<int>(std::string(kLetters).find(letter)) + 1; }

TEST(Thermocouple, PublishedValues)
{
    struct {
        double celsius;
        int type;
        double millivolts;
    } cases[] = {
        {100.0, TQ_THERMOCOUPLE_K, 4.09623},   {400.0, TQ_THERMOCOUPLE_T, 20.87197},
        {2000.0, TQ_THERMOCOUPLE_K, 54.88636}, {-300.0, TQ_THERMOCOUPLE_T, -6.25751},
        {25.0, 9, 0.0},                        {25.0, 0, 0.0},
        {25.0, -1, 0.0},                       {0.0, TQ_THERMOCOUPLE_K, 0.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.celsius) + " type " + std::to_string(c.type));
        EXPECT_EQ(thermoc2mv(c.celsius, c.type), c.millivolts);
    }
    // Between rows: linear interpolation.
    EXPECT_DOUBLE_EQ(thermoc2mv(100.5, TQ_THERMOCOUPLE_K),
                     (thermoc2mv(100.0, TQ_THERMOCOUPLE_K) + thermoc2mv(101.0, TQ_THERMOCOUPLE_K)) / 2);
    // Not a number reads as below the table.
    EXPECT_EQ(thermoc2mv(std::numeric_limits<double>::quiet_NaN(), TQ_THERMOCOUPLE_K), thermoc2mv(-270.0, 4));

    EXPECT_EQ(thermomv2c(4.09623, TQ_THERMOCOUPLE_K), 100.0);
    EXPECT_EQ(thermomv2c(100.0, TQ_THERMOCOUPLE_K), 1372.0);
    EXPECT_EQ(thermomv2c(-100.0, TQ_THERMOCOUPLE_K), -270.0);
    EXPECT_EQ(thermomv2c(1.0, 9), 0.0);
    EXPECT_EQ(thermomv2c(1.0, 0), 0.0);
    // Type B dips below zero near room temperature: a small negative voltage
    // is below the first row's 0.0 and gives the first temperature.
    EXPECT_EQ(thermomv2c(-0.001, TQ_THERMOCOUPLE_B), 0.0);
    double dip = thermomv2c(-0.00001, TQ_THERMOCOUPLE_B);
    EXPECT_EQ(dip, 0.0);
}

// Values of the published tables at three decimals (microvolts).
TEST(Thermocouple, AgreesWithThePublishedTables)
{
    struct {
        char type;
        int celsius;
        double millivolts;
    } points[] = {
        {'B', 250, 0.291},   {'B', 700, 2.431},   {'B', 1820, 13.820}, {'E', -200, -8.825}, {'E', 1000, 76.373},
        {'J', -210, -8.095}, {'J', 760, 42.919},  {'J', 1200, 69.553}, {'K', -200, -5.891}, {'K', 500, 20.644},
        {'K', 1372, 54.886}, {'N', -200, -3.990}, {'N', 600, 20.613},  {'N', 1300, 47.513}, {'R', -50, -0.226},
        {'R', 250, 1.923},   {'R', 1200, 13.228}, {'S', -50, -0.236},  {'S', 250, 1.874},   {'S', 1200, 11.951},
        {'T', -200, -5.603}, {'T', 400, 20.872},
    };
    for (const auto &p : points) {
        SCOPED_TRACE(std::string(1, p.type) + " at " + std::to_string(p.celsius));
        EXPECT_NEAR(thermoc2mv(p.celsius, typeOf(p.type)), p.millivolts, 0.0005 + 1e-9);
    }
}

// The reference functions, highest power first, each up to its subrange's
// upper temperature; type K adds a0 exp(a1 (t - a2)^2) above 0 degrees.
struct Polynomial {
    char type;
    double upper;
    std::vector<long double> highestFirst;
};

const Polynomial kReference[] = {
    {'B', 630.615, {0.629903470940E-18L, -0.169445292400E-14L, 0.156682919010E-11L, -0.132579316360E-08L,
     0.590404211710E-05L, -0.246508183460E-03L, 0.000000000000E+00L}},
    {'B', 1820, {-0.937913302890E-24L, 0.989756408210E-20L, -0.445154310330E-16L, 0.111097940130E-12L,
     -0.168353448640E-09L, 0.157852801640E-06L, -0.848851047850E-04L, 0.285717474700E-01L,
     -0.389381686210E+01L}},
    {'E', 0, {-0.346578420130E-28L, -0.558273287210E-25L, -0.396736195160E-22L, -0.164147763550E-19L,
     -0.439794973910E-17L, -0.803701236210E-15L, -0.102876055340E-12L, -0.932140586670E-11L,
     -0.594525830570E-09L, -0.258001608430E-07L, -0.779980486860E-06L, 0.454109771240E-04L,
     0.586655087080E-01L, 0.000000000000E+00L}},
    {'E', 1000, {0.359608994810E-27L, -0.143880417820E-23L, 0.214892175690E-20L, -0.125366004970E-17L,
     -0.191974955040E-15L, 0.650244032700E-12L, -0.330568966520E-09L, 0.289084072120E-07L,
     0.450322755820E-04L, 0.586655087100E-01L, 0.000000000000E+00L}},
    {'J', 760, {0.156317256970E-22L, -0.125383953360E-18L, 0.209480906970E-15L, -0.170529583370E-12L,
     0.132281952950E-09L, -0.856810657200E-07L, 0.304758369300E-04L, 0.503811878150E-01L,
     0.000000000000E+00L}},
    {'J', 1200, {-0.306913690560E-12L, 0.157208190040E-08L, -0.318476867010E-05L, 0.317871039240E-02L,
     -0.149761277860E+01L, 0.296456256810E+03L}},
    {'K', 0, {-0.163226974860E-22L, -0.198892668780E-19L, -0.104516093650E-16L, -0.310888728940E-14L,
     -0.574103274280E-12L, -0.675090591730E-10L, -0.499048287770E-08L, -0.328589067840E-06L,
     0.236223735980E-04L, 0.394501280250E-01L, 0.000000000000E+00L}},
    {'K', 1372, {-0.121047212750E-25L, 0.971511471520E-22L, -0.320207200030E-18L, 0.560750590590E-15L,
     -0.560728448890E-12L, 0.318409457190E-09L, -0.994575928740E-07L, 0.185587700320E-04L,
     0.389212049750E-01L, -0.176004136860E-01L}},
    {'N', 0, {-0.934196678350E-19L, -0.760893007910E-16L, -0.226534380030E-13L, -0.263033577160E-11L,
     -0.464120397590E-10L, -0.938411115540E-07L, 0.109574842280E-04L, 0.261591059620E-01L,
     0.000000000000E+00L}},
    {'N', 1300, {-0.306821961510E-28L, 0.208492293390E-24L, -0.608632456070E-21L, 0.997453389920E-18L,
     -0.100634715190E-14L, 0.643118193390E-12L, -0.252611697940E-09L, 0.438256272370E-07L,
     0.157101418800E-04L, 0.259293946010E-01L, 0.000000000000E+00L}},
    {'R', 1064.18, {-0.281038625251E-26L, 0.157716482367E-22L, -0.373105886191E-19L, 0.500777441034E-16L,
     -0.462347666298E-13L, 0.356916001063E-10L, -0.238855693017E-07L, 0.139166589782E-04L,
     0.528961729765E-02L, 0.000000000000E+00L}},
    {'R', 1664.5, {-0.293359668173E-15L, 0.205305291024E-11L, -0.764085947576E-08L, 0.159564501865E-04L,
     -0.252061251332E-02L, 0.295157925316E+01L}},
    {'R', 1768.1, {-0.934633971046E-14L, -0.345895706453E-07L, 0.171280280471E-03L, -0.268819888545E+00L,
     0.152232118209E+03L}},
    {'S', 1064.18, {0.271443176145E-23L, -0.125068871393E-19L, 0.255744251786E-16L, -0.331465196389E-13L,
     0.322028823036E-10L, -0.232477968689E-07L, 0.125934289740E-04L, 0.540313308631E-02L,
     0.000000000000E+00L}},
    {'S', 1664.5, {0.129989605174E-13L, -0.164856259209E-08L, 0.654805192818E-05L, 0.334509311344E-02L,
     0.132900444085E+01L}},
    {'S', 1768.1, {-0.943223690612E-14L, -0.330439046987E-07L, 0.163693574641E-03L, -0.258430516752E+00L,
     0.146628232636E+03L}},
    {'T', 0, {0.797951539270E-30L, 0.139450270620E-26L, 0.107955392700E-23L, 0.487686622860E-21L,
     0.142515947790E-18L, 0.282135219250E-16L, 0.384939398830E-14L, 0.360711542050E-12L,
     0.226511565930E-10L, 0.901380195590E-09L, 0.200329735540E-07L, 0.118443231050E-06L,
     0.441944343470E-04L, 0.387481063640E-01L, 0.000000000000E+00L}},
    {'T', 400, {-0.275129016730E-19L, 0.454791352900E-16L, -0.308157587720E-13L, 0.109968809280E-10L,
     -0.218822568460E-08L, 0.206182434040E-06L, 0.332922278800E-04L, 0.387481063640E-01L,
     0.000000000000E+00L}},
};

long double reference(char type, int celsius)
{
    const Polynomial *chosen = nullptr;
    for (const Polynomial &p : kReference) {
        if (p.type == type && celsius <= p.upper) {
            chosen = &p;
            break;
        }
    }
    long double t = celsius, e = 0;
    for (long double c : chosen->highestFirst)
        e = e * t + c;
    if (type == 'K' && celsius > 0)
        e += 0.1185976L * std::exp(-0.0001183432L * (t - 126.9686L) * (t - 126.9686L));
    return e;
}

TEST(Thermocouple, EveryRowIsTheReferenceFunctionRoundedToTenNanovolts)
{
    for (int type = 1; type <= 8; ++type) {
        const char letter = kLetters[type - 1];
        int exact = 0;
        for (int t = kFirst[type - 1]; t <= kLast[type - 1]; ++t) {
            const long double scaled = reference(letter, t) * 100000.0L;
            const double row = thermoc2mv(t, type);
            // A value that lies on a rounding edge may go either way.
            const long double fraction = scaled - std::floor(scaled);
            if (std::fabs(fraction - 0.5L) < 1e-6L) {
                EXPECT_NEAR(row * 100000.0, static_cast<double>(scaled), 0.5 + 1e-6) << letter << " at " << t;
                continue;
            }
            ASSERT_EQ(row, static_cast<double>(std::round(scaled)) / 100000.0) << letter << " at " << t;
            ++exact;
        }
        EXPECT_GT(exact, kLast[type - 1] - kFirst[type - 1] - 3) << letter;
        // Nothing between the rows is left out: the ends hold.
        EXPECT_EQ(thermoc2mv(kFirst[type - 1] - 1000.0, type), thermoc2mv(kFirst[type - 1], type));
        EXPECT_EQ(thermoc2mv(kLast[type - 1] + 0.25, type), thermoc2mv(kLast[type - 1], type));
    }
}

// The lookup as a plain bisection over the rows, the way the voltage column
// is searched: the direct index must give the same bits.
double bisect(const std::vector<double> &keys, const std::vector<double> &values, double x)
{
    size_t lo = 0, hi = keys.size() - 1;
    if (!(x >= keys[lo]))
        return values[lo];
    if (x > keys[hi])
        return values[hi];
    do {
        if (keys[lo] == x)
            return values[lo];
        if (keys[hi] == x)
            return values[hi];
        size_t mid = (lo + hi) / 2;
        if (keys[mid] == x)
            return values[mid];
        if (x >= keys[mid])
            lo = mid;
        else
            hi = mid;
    } while (hi != lo + 1);
    return values[lo] + (x - keys[lo]) / (keys[hi] - keys[lo]) * (values[hi] - values[lo]);
}

TEST(Thermocouple, DirectLookupGivesTheBisectionResult)
{
    std::mt19937 rng(7);
    for (int type = 1; type <= 8; ++type) {
        std::vector<double> celsius, millivolts;
        for (int t = kFirst[type - 1]; t <= kLast[type - 1]; ++t) {
            celsius.push_back(t);
            millivolts.push_back(thermoc2mv(t, type));
        }
        std::uniform_real_distribution<double> anywhere(kFirst[type - 1] - 20.0, kLast[type - 1] + 20.0);
        for (int i = 0; i < 20000; ++i) {
            double x = i % 10 == 0 ? std::floor(anywhere(rng)) : anywhere(rng);
            ASSERT_EQ(thermoc2mv(x, type), bisect(celsius, millivolts, x)) << kLetters[type - 1] << " at " << x;
        }
        std::uniform_real_distribution<double> voltages(millivolts.front() - 1.0, millivolts.back() + 1.0);
        for (int i = 0; i < 20000; ++i) {
            double x = i % 10 == 0 ? millivolts[rng() % millivolts.size()] : voltages(rng);
            ASSERT_EQ(thermomv2c(x, type), bisect(millivolts, celsius, x)) << kLetters[type - 1] << " at " << x;
        }
    }
}

// The published inverse polynomials, constant term first, with the voltage
// range each covers and the range of its own error in degrees.
struct Inverse {
    char type;
    double lowMv, highMv;
    double lowError, highError;
    std::vector<double> d;
};

const Inverse kInverse[] = {
    {'B', 0.291, 2.431, -0.02, 0.03,
     {9.8423321E+01, 6.9971500E+02, -8.4765304E+02, 1.0052644E+03, -8.3345952E+02, 4.5508542E+02, -1.5523037E+02,
      2.9886750E+01, -2.4742860E+00}},
    {'B', 2.431, 13.820, -0.01, 0.02,
     {2.1315071E+02, 2.8510504E+02, -5.2742887E+01, 9.9160804E+00, -1.2965303E+00, 1.1195870E-01, -6.0625199E-03,
      1.8661696E-04, -2.4878585E-06}},
    {'E', -8.825, 0.0, -0.01, 0.03,
     {0.0, 1.6977288E+01, -4.3514970E-01, -1.5859697E-01, -9.2502871E-02, -2.6084314E-02, -4.1360199E-03,
      -3.4034030E-04, -1.1564890E-05}},
    {'E', 0.0, 76.373, -0.02, 0.02,
     {0.0, 1.7057035E+01, -2.3301759E-01, 6.5435585E-03, -7.3562749E-05, -1.7896001E-06, 8.4036165E-08,
      -1.3735879E-09, 1.0629823E-11, -3.2447087E-14}},
    {'J', -8.095, 0.0, -0.05, 0.03,
     {0.0, 1.9528268E+01, -1.2286185E+00, -1.0752178E+00, -5.9086933E-01, -1.7256713E-01, -2.8131513E-02,
      -2.3963370E-03, -8.3823321E-05}},
    {'J', 0.0, 42.919, -0.04, 0.04,
     {0.0, 1.978425E+01, -2.001204E-01, 1.036969E-02, -2.549687E-04, 3.585153E-06, -5.344285E-08, 5.099890E-10}},
    {'J', 42.919, 69.553, -0.04, 0.03,
     {-3.11358187E+03, 3.00543684E+02, -9.94773230E+00, 1.70276630E-01, -1.43033468E-03, 4.73886084E-06}},
    {'K', -5.891, 0.0, -0.02, 0.04,
     {0.0, 2.5173462E+01, -1.1662878E+00, -1.0833638E+00, -8.9773540E-01, -3.7342377E-01, -8.6632643E-02,
      -1.0450598E-02, -5.1920577E-04}},
    {'K', 0.0, 20.644, -0.05, 0.04,
     {0.0, 2.508355E+01, 7.860106E-02, -2.503131E-01, 8.315270E-02, -1.228034E-02, 9.804036E-04, -4.413030E-05,
      1.057734E-06, -1.052755E-08}},
    {'K', 20.644, 54.886, -0.05, 0.06,
     {-1.318058E+02, 4.830222E+01, -1.646031E+00, 5.464731E-02, -9.650715E-04, 8.802193E-06, -3.110810E-08}},
    {'N', -3.990, 0.0, -0.02, 0.03,
     {0.0, 3.8436847E+01, 1.1010485E+00, 5.2229312E+00, 7.2060525E+00, 5.8488586E+00, 2.7754916E+00, 7.7075166E-01,
      1.1582665E-01, 7.3138868E-03}},
    {'N', 0.0, 20.613, -0.02, 0.03,
     {0.0, 3.86896E+01, -1.08267E+00, 4.70205E-02, -2.12169E-06, -1.17272E-04, 5.39280E-06, -7.98156E-08}},
    {'N', 20.613, 47.513, -0.04, 0.02,
     {1.972485E+01, 3.300943E+01, -3.915159E-01, 9.855391E-03, -1.274371E-04, 7.767022E-07}},
    {'R', -0.226, 1.923, -0.02, 0.02,
     {0.0, 1.8891380E+02, -9.3835290E+01, 1.3068619E+02, -2.2703580E+02, 3.5145659E+02, -3.8953900E+02,
      2.8239471E+02, -1.2607281E+02, 3.1353611E+01, -3.3187769E+00}},
    {'R', 1.923, 13.228, -0.005, 0.005,
     {1.334584505E+01, 1.472644573E+02, -1.844024844E+01, 4.031129726E+00, -6.249428360E-01, 6.468412046E-02,
      -4.458750426E-03, 1.994710149E-04, -5.313401790E-06, 6.481976217E-08}},
    {'R', 11.361, 19.739, -0.0005, 0.001,
     {-8.199599416E+01, 1.553962042E+02, -8.342197663E+00, 4.279433549E-01, -1.191577910E-02, 1.492290091E-04}},
    {'R', 19.739, 21.103, -0.001, 0.002,
     {3.406177836E+04, -7.023729171E+03, 5.582903813E+02, -1.952394635E+01, 2.560740231E-01}},
    {'S', -0.235, 1.874, -0.02, 0.02,
     {0.0, 1.84949460E+02, -8.00504062E+01, 1.02237430E+02, -1.52248592E+02, 1.88821343E+02, -1.59085941E+02,
      8.23027880E+01, -2.34181944E+01, 2.79786260E+00}},
    {'S', 1.874, 11.950, -0.01, 0.01,
     {1.291507177E+01, 1.466298863E+02, -1.534713402E+01, 3.145945973E+00, -4.163257839E-01, 3.187963771E-02,
      -1.291637500E-03, 2.183475087E-05, -1.447379511E-07, 8.211272125E-09}},
    {'S', 10.332, 17.536, -0.0002, 0.0002,
     {-8.087801117E+01, 1.621573104E+02, -8.536869453E+00, 4.719686976E-01, -1.441693666E-02, 2.081618890E-04}},
    {'S', 17.536, 18.693, -0.002, 0.002,
     {5.333875126E+04, -1.235892298E+04, 1.092657613E+03, -4.265693686E+01, 6.247205420E-01}},
    {'T', -5.603, 0.0, -0.02, 0.04,
     {0.0, 2.5949192E+01, -2.1316967E-01, 7.9018692E-01, 4.2527777E-01, 1.3304473E-01, 2.0241446E-02,
      1.2668171E-03}},
    {'T', 0.0, 20.872, -0.03, 0.03,
     {0.0, 2.592800E+01, -7.602961E-01, 4.637791E-02, -2.165394E-03, 6.048144E-05, -7.293422E-07}},
};

// Our inverse interpolates the whole-degree table, so besides the
// polynomial's own error it may differ by what rounding the table to
// 0.00001 mV and interpolating over one degree can make.
constexpr double kTableSlack = 0.005;

TEST(Thermocouple, InverseAgreesWithThePublishedInversePolynomials)
{
    for (const Inverse &inverse : kInverse) {
        const int type = typeOf(inverse.type);
        // The tables stop at the last whole degree (R and S at 1768, not 1768.1).
        const double low = std::max(inverse.lowMv, thermoc2mv(kFirst[type - 1], type));
        const double high = std::min(inverse.highMv, thermoc2mv(kLast[type - 1], type));
        double worstLow = 0, worstHigh = 0;
        for (int i = 0; i <= 4000; ++i) {
            const double e = low + (high - low) * i / 4000.0;
            double polynomial = 0;
            for (size_t k = inverse.d.size(); k-- > 0;)
                polynomial = polynomial * e + inverse.d[k];
            const double error = polynomial - thermomv2c(e, type);
            worstLow = std::min(worstLow, error);
            worstHigh = std::max(worstHigh, error);
        }
        SCOPED_TRACE(std::string(1, inverse.type) + " from " + std::to_string(inverse.lowMv) + " mV");
        EXPECT_GE(worstLow, inverse.lowError - kTableSlack);
        EXPECT_LE(worstHigh, inverse.highError + kTableSlack);
    }
}

TEST(Thermocouple, WholeDegreesSurviveTheRoundTrip)
{
    for (int type = 1; type <= 8; ++type) {
        // Type B's voltage is not single-valued below about 42 degrees.
        int from = type == TQ_THERMOCOUPLE_B ? 50 : kFirst[type - 1];
        for (int t = from; t <= kLast[type - 1]; ++t)
            ASSERT_EQ(thermomv2c(thermoc2mv(t, type), type), t) << kLetters[type - 1];
    }
}

} // namespace
