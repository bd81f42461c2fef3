// Evaluation of a local-model network at one point: the core shared by
// netsim, dmat_inputs and dmat_params.
//
// Parameter layout, all column-major and 0-based:
//   centres        n-by-c          C(k, i)    at k + i*n
//   norm_matrices  n-by-n-by-c     A_i(r, s)  at r + s*n + i*n*n
//   consequents    p-by-(n+1)-by-c T(j, k, i) at j + k*p + i*p*(n+1);
//                                  k = n is the constant term
#pragma once

#include <cstddef>

// Starting value of the validity sum: the decimal 2.2251e-308, a little
// above the smallest normal double; it keeps the normalising division finite.
constexpr double validity_sum_start = 2.2251e-308;

// Added to the distance before the fuzzy power, so a point at a centre gets
// a large finite validity instead of a division by zero.
constexpr double distance_floor = 1e-100;

// Evaluates the network at one point x[n].
// Writes y[p], differences[n*c] (x minus centre), validities[c],
// local_outputs[p*c] and *validity_sum, overwriting every element; reads
// centres[n*c], norm_matrices[n*n*c] (diagonal and below only) and
// consequents[p*(n+1)*c]. validity_type 1 is Gaussian, 2 fuzzy inverse
// distance with exponent -1/(fuzziness-1), anything else the distance
// itself; normalize != 0 divides the blend by the validity sum.
// Buffers belong to the caller and must not overlap. Allocates nothing,
// checks nothing.
void evaluate_network_point(double* y, double* differences, double* validities,
                            double* local_outputs, double* validity_sum, const double* x,
                            const double* centres, const double* norm_matrices,
                            const double* consequents, int n, int p, int c, int normalize,
                            int validity_type, double fuzziness);

// Element (r, s) of the n-by-n norm matrix of cluster i.
inline double norm_at(const double* a, int n, int r, int s, int i)
{
    const std::size_t nn = static_cast<std::size_t>(n);
    return a[static_cast<std::size_t>(r) + nn * (static_cast<std::size_t>(s) +
                                                 nn * static_cast<std::size_t>(i))];
}

// Element (j, k, i) of the p-by-(n+1)-by-c consequents.
inline double consequent_at(const double* t, int n, int p, int j, int k, int i)
{
    const std::size_t pp = static_cast<std::size_t>(p);
    return t[static_cast<std::size_t>(j) +
             pp * (static_cast<std::size_t>(k) +
                   (static_cast<std::size_t>(n) + 1) * static_cast<std::size_t>(i))];
}

// Offset of element (r, i) of an r_count-by-c matrix.
inline std::size_t at2(int r, int i, int r_count)
{
    return static_cast<std::size_t>(r) +
           static_cast<std::size_t>(i) * static_cast<std::size_t>(r_count);
}
