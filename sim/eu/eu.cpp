// Engineering-units library stand-in: the table "eustd" of named calibration
// polynomials behind EUInit and the three functions the stream engine calls.
#include <cstring>

#include "tq/eu.h"
#include "tq/export.h"

namespace {

struct Calibration {
    const char *name;
    int32_t count;
    double coefficients[4]; // lowest order first
};

// Sensor polynomials, each turning the channel's value (volts) into its unit.
constexpr Calibration kTable[] = {
    {"unity", 2, {0.0, 1.0}},
    {"gain_10", 2, {0.0, 10.0}},
    {"pressure_500psi", 2, {0.0, 100.0}},
    {"load_2kn", 2, {-5.0, 400.0}},
    {"flow_quadratic", 3, {0.5, 2.0, 0.25}},
    {"temperature_cubic", 4, {-20.0, 30.0, -0.5, 0.01}},
};
constexpr intptr_t kTableSize = sizeof kTable / sizeof kTable[0];

// Sessions are plain tokens: the table is constant.
constexpr intptr_t kSession = 0x45550001;

int32_t openSession(TQEUInterface *, int32_t, intptr_t *session)
{
    if (!session)
        return -1;
    *session = kSession;
    return 0;
}

int32_t lookup(TQEUInterface *, intptr_t session, const char *name, intptr_t *a, intptr_t *b, int32_t *n)
{
    if (session != kSession || !name || !a || !b || !n)
        return -1;
    for (intptr_t i = 0; i < kTableSize; ++i) {
        if (strcmp(kTable[i].name, name) == 0) {
            *a = i;
            *b = 0;
            *n = kTable[i].count;
            return 0;
        }
    }
    return -2;
}

int32_t fill(TQEUInterface *, intptr_t a, intptr_t, int32_t n, int32_t, int32_t *count, double *coefficients)
{
    if (a < 0 || a >= kTableSize || n < 0 || !coefficients)
        return -1;
    const Calibration &c = kTable[a];
    int32_t copied = n < c.count ? n : c.count;
    memcpy(coefficients, c.coefficients, sizeof(double) * static_cast<size_t>(copied));
    if (count)
        *count = copied;
    return 0;
}

TQEUInterface gInterface = {{}, fill, openSession, nullptr, lookup};

} // namespace

TQ_API int32_t EUInit(const char *name, TQEUInterface **eu)
{
    if (!name || !eu || strcmp(name, "eustd") != 0)
        return -1;
    *eu = &gInterface;
    return 0;
}
