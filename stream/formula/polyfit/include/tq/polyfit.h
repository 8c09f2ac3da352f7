// Elementary row operations on a dense matrix of doubles and the polynomial
// fit built on them. One static library, compiled into the stream engine
// (multipoint formulas) and into the model 718 driver (its calibration), so
// that both solve their systems with the same code.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace tq::fit
{

// Results of the fit.
constexpr int kFitOk = 0;
constexpr int kFitSingular = -3; // the points determine no polynomial
constexpr int kFitNoMemory = -4;

// The matrix is row-major: row r, column c is matrix[r * columns + c]. Each
// operation does nothing for a column count of zero or less.

// Every element of the row is multiplied by factor.
void scaleMatrixRow(double *matrix, int32_t row, double factor, int32_t columns);
// Row destination += factor x row source, element by element. Source and
// destination may be the same row.
void addScaledMatrixRow(double *matrix, int32_t source, double factor, int32_t destination, int32_t columns);
// The two rows exchange their elements.
void swapMatrixRows(double *matrix, int32_t rowA, int32_t rowB, int32_t columns);

// The polynomial a[0] + a[1] x + ... + a[n-1] x^(n-1) through n points, as
// the solution of the least-squares normal equations S a = b with
// S[r][c] = sum x^(r+c), b[r] = sum x^r y. coefficients receives n values
// only on success.
//
// kFitSingular when the points do not determine the polynomial: fewer than
// one point, a value that is not finite, two points with the same x (or so
// close that doubles cannot tell the system from a singular one), or a
// solution that is not finite. kFitNoMemory when the work arrays cannot be
// allocated.
int fitPolynomial(const double *x, const double *y, int32_t n, double *coefficients);

// Fit of a multipoint list: the pairs are walked from first through
// next(pair) until null; x(pair) and y(pair) give the pair's numbers.
//
// The coefficient array (n doubles, all 0.0, from calloc; free it with
// free) is handed to the caller before the fit runs: *coefficients then
// holds it even when the fit fails; an array already there is freed first,
// so that fitting a list again does not leak the previous coefficients.
// *count becomes n only on success. Results kFitOk, kFitSingular (also for
// an empty list), kFitNoMemory.
template <typename Pair, typename X, typename Y, typename Next>
int fitMultipoint(const Pair *first, int32_t *count, double **coefficients, X x, Y y, Next next);

// ---- implementation of the template ------------------------------------------------

namespace detail
{
// Takes over the arrays of a pair walk (malloc'd, n values each) and fits
// them into coefficients; frees the arrays.
int fitCollected(double *xs, double *ys, int32_t n, double *coefficients);
} // namespace detail

template <typename Pair, typename X, typename Y, typename Next>
int fitMultipoint(const Pair *first, int32_t *count, double **coefficients, X x, Y y, Next next)
{
    int64_t n = 0;
    for (const Pair *p = first; p && n <= INT32_MAX; p = next(p))
        ++n;
    if (n == 0 || n > INT32_MAX)
        return kFitSingular;
    double *a = static_cast<double *>(std::calloc(static_cast<size_t>(n), sizeof(double)));
    if (!a)
        return kFitNoMemory;
    std::free(*coefficients);
    *coefficients = a;

    double *xs = static_cast<double *>(std::malloc(static_cast<size_t>(n) * sizeof(double)));
    double *ys = static_cast<double *>(std::malloc(static_cast<size_t>(n) * sizeof(double)));
    if (!xs || !ys) {
        std::free(xs);
        std::free(ys);
        return kFitNoMemory;
    }
    int32_t i = 0;
    for (const Pair *p = first; p && i < n; p = next(p), ++i) {
        xs[i] = x(p);
        ys[i] = y(p);
    }
    const int result = detail::fitCollected(xs, ys, static_cast<int32_t>(n), a);
    if (result == kFitOk)
        *count = static_cast<int32_t>(n);
    return result;
}

} // namespace tq::fit
