// A local-model network and its evaluation at one point: the core shared by
// netsim, dmat_inputs and dmat_params.
//
// Parameter layout, all column-major and 0-based:
//   centres        n-by-c          C(k, i)    at k + i*n
//   norm_matrices  n-by-n-by-c     A_i(r, s)  at r + s*n + i*n*n
//   consequents    p-by-(n+1)-by-c T(j, k, i) at j + k*p + i*p*(n+1);
//                                  k = n is the constant term
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/common/simd.h"
#include "core/common/threads.h"
#include "core/common/workspace.h"
#include "core/math/exp.h"
#include "core/math/pow.h"

namespace localmodels::network {

// Starting value of the validity sum: the decimal 2.2251e-308, a little
// above the smallest normal double; it keeps the normalising division finite.
constexpr double validity_sum_start = 2.2251e-308;

// Added to the distance before the fuzzy power, so a point at a centre gets
// a large finite validity instead of a division by zero.
constexpr double distance_floor = 1e-100;

struct view {
    const double* centres;
    const double* norm_matrices;  // only the diagonal and below are read
    const double* consequents;
    int n, p, c;  // inputs, outputs, clusters
};

// How a distance d becomes a validity w.
enum class validity { gaussian, fuzzy, distance };

// validity_type 1 is Gaussian, 2 fuzzy inverse distance, anything else the
// distance itself.
inline validity validity_of_type(int validity_type)
{
    return validity_type == 1   ? validity::gaussian
           : validity_type == 2 ? validity::fuzzy
                                : validity::distance;
}

struct options {
    int normalize;  // != 0 divides the blend by the validity sum
    validity kind;
    double fuzziness;  // m of the fuzzy validity
};

// The power of w in -dw/dd: -dw/dd = w for the Gaussian and w^m / (m - 1)
// for the fuzzy validity. The derivative plug-ins complete the chain rule
// each in its own documented order; the raw distance has no such factor.
inline double validity_power(double w, const options& o)
{
    return o.kind == validity::fuzzy ? math::pow(w, o.fuzziness) : w;
}

// The core's results at one point, in caller-owned buffers.
struct point_state {
    double* differences;    // n*c: x minus each centre
    double* validities;     // c
    double* local_outputs;  // p*c
    double validity_sum;
};

// Evaluates the network at x[n]: writes y[p] and every element of s.
// Allocates nothing, checks nothing; buffers must not overlap.
void evaluate_point(double* y, point_state* s, const double* x, const view& net, const options& o);

// netsim: column t of out (p-by-N) the output at the point x[t*n … t*n+n-1],
// for t in [j.first, j.last). j.memory holds j.r.threads workspaces of
// simulate_workspace_size(net) bytes each; simulate_threads_for gives the
// threads worth running (threads::count_for). Vectors of points run at
// j.r.level.
std::size_t simulate_workspace_size(const view& net);
std::size_t simulate_memory_size(const view& net, int threads);  // r.threads workspaces
int simulate_threads_for(const view& net, int first, int last,
                         int asked = threads::from_environment);
void simulate(double* out, const double* x, const view& net, const options& o,
              const threads::job& j);

// Where a derivative plug-in writes: the derivative blocks, and the outputs
// unless y is null.
struct derivative_out {
    double* derivatives;
    double* y;
};

// dmat_inputs: out.derivatives[n*p], entry (k, j) at k + j*n the derivative
// of output j with respect to input k, at x[n]; and the outputs out.y[p]
// unless out.y is null. Exact for symmetric norm matrices and the Gaussian or fuzzy
// validity; zero for the raw distance.
std::size_t input_derivatives_workspace_size(const view& net);
void input_derivatives(const derivative_out& out, const double* x, const view& net,
                       const options& o, memory_block m);

// Bits of the parameter selection of dmat_params.
enum : unsigned {
    select_centres = 1,        // n*c rows
    select_norm_matrices = 2,  // n*n*c rows
    select_consequents = 4,    // (n+1)*p*c rows
    select_offsets = 8         // offset rows carry their derivatives, else hold 0
};

// Number of rows of the derivative matrix for a selection, in 64 bits.
std::int64_t selected_rows(int n, int p, int c, unsigned selection);

// dmat_params: out.derivatives[R*p], column j the derivatives of output j
// with respect to the selected parameters (blocks centres, norm matrices,
// consequents, each in the storage order of its array), at x[n]; and the
// outputs out.y[p] unless out.y is null. R = selected_rows(…) must be positive: with
// nothing selected, the plug-in computes nothing at all.
std::size_t parameter_derivatives_workspace_size(const view& net);
void parameter_derivatives(const derivative_out& out, const double* x, const view& net,
                           const options& o, unsigned selection, memory_block m);

// Both derivatives at the points [j.first, j.last) of x (n-by-N), each
// point t computed by the one-point call above, bit for bit: its block of
// derivatives at t*n*p (inputs) or t*R*p (parameters, R = selected_rows(…),
// which must be positive), its outputs at out.y + t*p unless out.y is null.
// The derivative blocks must be zero-filled (offset rows left unselected
// stay 0). j.memory holds j.r.threads workspaces of the one-point call's size;
// derivatives_threads_for gives the threads worth running, and the
// *_memory_size calls the bytes of `memory` for that many.
int derivatives_threads_for(const view& net, std::int64_t rows, int first, int last,
                            int asked = threads::from_environment);
std::size_t input_derivatives_memory_size(const view& net, int threads);
std::size_t parameter_derivatives_memory_size(const view& net, int threads);
void input_derivatives_at(const derivative_out& out, const double* x, const view& net,
                          const options& o, const threads::job& j);
void parameter_derivatives_at(const derivative_out& out, const double* x, const view& net,
                              const options& o, unsigned selection, const threads::job& j);

namespace detail {

// Element (r, s) of the n-by-n norm matrix of cluster i.
inline double norm_at(const double* a, int n, int r, int s, int i)
{
    const std::size_t nn = static_cast<std::size_t>(n);
    return a[static_cast<std::size_t>(r) +
             nn * (static_cast<std::size_t>(s) + nn * static_cast<std::size_t>(i))];
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
inline std::size_t matrix_offset(int r, int i, int r_count)
{
    return static_cast<std::size_t>(r) +
           static_cast<std::size_t>(i) * static_cast<std::size_t>(r_count);
}

// The point state's buffers and y[p] laid out in w.
point_state take_point_state(workspace* w, const view& net, double** y);

// Where a one-point derivative plug-in evaluates the network: the point
// state and the outputs, the caller's y or, when y is null, a block of w.
// Laid out before the plug-in's own blocks.
struct evaluated_point {
    point_state s;
    double* y;
};
evaluated_point take_evaluated_point(workspace* w, const view& net, double* y);

// netsim's scratch for two vectors of points (up to 2 * max_lanes): the
// points, their differences to one centre, the arguments of the validity
// function and the validities at every cluster.
struct lane_scratch {
    double *x, *d, *args, *w;
};
lane_scratch take_lane_scratch(workspace* w, const view& net);

// What every pass of netsim's lanes reads beside the points: the network,
// its options and the scratch.
struct lane_setup {
    const view& net;
    const options& o;
    const lane_scratch& s;
};

// netsim's points from `begin` on, two vectors of them at a time at
// `level`, bit for bit as evaluate_point; returns the first point left over
// (fewer than two vectors' worth, or all of them at the scalar level).
int simulate_lanes(simd::level level, double* out, const double* x, const lane_setup& a, int begin,
                   int end);

}  // namespace detail

}  // namespace localmodels::network
