// What the training keeps of one network while it builds the tree: its
// cells, parameters, validities and errors. The current network, the best
// one so far and each thread's candidate are one of these each.
#pragma once

#include "core/common/workspace.h"
#include "core/training/training.h"

namespace localmodels::training {

struct slot {
    double *lower, *upper;  // n*c_max: the cells' corners
    double *centres, *norm_matrices, *consequents;
    double* phi;         // c_max*N: model i's normalised validities from i*N
    double* local_loss;  // c_max: sum of phi times the squared error
    double* theta;       // p*(n_reg+1): one local model's coefficients
    double* scratch;     // fit_local's normal equations
    network::point_state point;
    double* y;  // p: the network's output at one point
    int c;
    double sse, criterion;
};

// Takes a slot's blocks for up to c_max models.
void take_slot(slot* sl, workspace* w, const problem& pr, const settings& s);

// Fits the local models of sl's c cells and evaluates the result: the
// network, phi, local_loss, sse and criterion.
void fit_slot(slot* sl, const problem& pr, const settings& s);

// Copies from's cells, parameters, errors and criterion into to.
void copy_slot(slot* to, const slot& from, const problem& pr);

// The network a slot holds, as netsim reads it.
inline network::view view_of(const slot& sl, const problem& pr)
{
    return network::view{sl.centres, sl.norm_matrices, sl.consequents, pr.n, pr.p, sl.c};
}

// Sum of squared errors of a network on samples x (n-by-N), y (p-by-N).
double network_sse(const network::view& net, const double* x, const double* y, int N,
                   network::point_state* point, double* out);

// The Levenberg-Marquardt refinement of sl's network, in place.
struct refine_scratch {
    double *params, *trial;  // the three arrays one after another
    double *jacobian, *residual, *normal, *damped, *step, *gradient;
    int* offsets;
    double* derivatives;    // per thread: dmat_params' R*p
    unsigned char* memory;  // per thread: dmat_params' workspace
    std::size_t each;       // bytes of one thread's workspace
};
void take_refine(refine_scratch* r, workspace* w, const problem& pr, int c, const settings& s);
void refine(slot* sl, const problem& pr, const settings& s, const refine_scratch& r);

}  // namespace localmodels::training
