// Gauss-Jordan elimination over the normal equations of a polynomial fit.
#include "tq/polyfit.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace tq::fit
{

void scaleMatrixRow(double *matrix, int32_t row, double factor, int32_t columns)
{
    if (columns <= 0)
        return;
    double *r = matrix + static_cast<size_t>(row) * static_cast<size_t>(columns);
    for (int32_t c = 0; c < columns; ++c)
        r[c] *= factor;
}

void addScaledMatrixRow(double *matrix, int32_t source, double factor, int32_t destination, int32_t columns)
{
    if (columns <= 0)
        return;
    const double *s = matrix + static_cast<size_t>(source) * static_cast<size_t>(columns);
    double *d = matrix + static_cast<size_t>(destination) * static_cast<size_t>(columns);
    for (int32_t c = 0; c < columns; ++c)
        d[c] += factor * s[c];
}

void swapMatrixRows(double *matrix, int32_t rowA, int32_t rowB, int32_t columns)
{
    if (columns <= 0 || rowA == rowB)
        return;
    double *a = matrix + static_cast<size_t>(rowA) * static_cast<size_t>(columns);
    double *b = matrix + static_cast<size_t>(rowB) * static_cast<size_t>(columns);
    for (int32_t c = 0; c < columns; ++c) {
        const double t = a[c];
        a[c] = b[c];
        b[c] = t;
    }
}

int fitPolynomial(const double *x, const double *y, int32_t n, double *coefficients)
{
    if (n < 1)
        return kFitSingular;
    double largest = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            return kFitSingular;
        largest = std::fmax(largest, std::fabs(x[i]));
    }
    // The system is solved for t = x / 2^e with |t| below 1 and the
    // coefficients scaled back by 2^-ke: both steps are exact in binary, and
    // calibration points in ADC counts (tens of thousands, to the fourth
    // power in the sums) no longer swamp the constant term.
    int e = 0;
    if (largest > 0.0)
        std::frexp(largest, &e);

    const size_t rows = static_cast<size_t>(n);
    const size_t columns = rows + 1;
    const size_t sums = 2 * rows - 1;
    if (rows > std::numeric_limits<size_t>::max() / sizeof(double) / columns)
        return kFitNoMemory;
    double *s = static_cast<double *>(std::malloc(sums * sizeof(double)));
    double *m = static_cast<double *>(std::malloc(rows * columns * sizeof(double)));
    double *a = static_cast<double *>(std::malloc(rows * sizeof(double)));
    if (!s || !m || !a) {
        std::free(s);
        std::free(m);
        std::free(a);
        return kFitNoMemory;
    }

    for (size_t k = 0; k < sums; ++k)
        s[k] = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double t = std::ldexp(x[i], -e);
        for (size_t k = 0; k < sums; ++k)
            s[k] += std::pow(t, static_cast<double>(k)); // pow(0, 0) is 1
    }
    // The matrix holds -S and +b: the solution comes out negated.
    double scale = 0.0;
    for (size_t r = 0; r < rows; ++r) {
        double b = 0.0;
        for (int32_t i = 0; i < n; ++i)
            b += std::pow(std::ldexp(x[i], -e), static_cast<double>(r)) * y[i];
        for (size_t c = 0; c < rows; ++c) {
            m[r * columns + c] = -s[r + c];
            scale = std::fmax(scale, s[r + c]);
        }
        m[r * columns + rows] = b;
    }

    // A pivot this small is rounding noise of a singular system: equal x
    // values rarely cancel to an exact 0.0 once their powers are summed.
    const double tiny = 64.0 * static_cast<double>(n) * DBL_EPSILON * scale;
    int result = kFitOk;
    const auto cols = static_cast<int32_t>(columns);
    for (int32_t p = 0; p < n && result == kFitOk; ++p) {
        int32_t best = p;
        for (int32_t q = p + 1; q < n; ++q)
            if (std::fabs(m[q * columns + p]) > std::fabs(m[best * columns + p]))
                best = q;
        const double pivot = m[best * columns + p];
        if (pivot == 0.0 || !(std::fabs(pivot) > tiny)) {
            result = kFitSingular;
            break;
        }
        swapMatrixRows(m, p, best, cols);
        scaleMatrixRow(m, p, 1.0 / pivot, cols);
        for (int32_t q = 0; q < n; ++q)
            if (q != p && m[q * columns + p] != 0.0)
                addScaledMatrixRow(m, p, -m[q * columns + p], q, cols);
    }
    if (result == kFitOk) {
        for (int32_t k = 0; k < n; ++k) {
            a[k] = std::ldexp(-m[k * columns + rows], -k * e);
            if (!std::isfinite(a[k]))
                result = kFitSingular;
        }
    }
    if (result == kFitOk)
        std::memcpy(coefficients, a, rows * sizeof(double));
    std::free(s);
    std::free(m);
    std::free(a);
    return result;
}

namespace detail
{
int fitCollected(double *xs, double *ys, int32_t n, double *coefficients)
{
    const int result = fitPolynomial(xs, ys, n, coefficients);
    std::free(xs);
    std::free(ys);
    return result;
}
} // namespace detail

} // namespace tq::fit
