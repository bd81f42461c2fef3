// The tree construction: from one global model, split the worst model's
// cell in half along the partition input that gives the best criterion,
// until max_models, no admissible split, no improvement for `patience`
// steps, or the caller stops it. Candidates are evaluated on threads, each
// in its own slot; the choice is made afterwards in candidate order, so the
// result does not depend on the thread count.
#include <algorithm>
#include <cstring>
#include <limits>

#include "core/common/threads.h"
#include "core/training/inputs.h"
#include "core/training/state.h"

namespace localmodels::training {

namespace {

inline std::size_t sz(int v)
{
    return static_cast<std::size_t>(v);
}

struct layout {
    slot current, best;
    slot* threads;          // one candidate slot per thread
    double* candidate;      // criterion of each partition input's split
    unsigned char* usable;  // the split keeps min_samples in both halves
    int* order;             // models by decreasing local loss
    refine_scratch lm;
};

layout lay_out(workspace* w, const problem& pr, const settings& s)
{
    layout l;
    take_slot(&l.current, w, pr, s);
    take_slot(&l.best, w, pr, s);
    l.threads = take<slot>(w, sz(s.threads));
    for (int t = 0; t < s.threads; ++t) {
        slot sl;
        take_slot(&sl, w, pr, s);
        if (l.threads) l.threads[t] = sl;
    }
    const int k = partition_count(s, pr.n);
    l.candidate = take<double>(w, sz(k));
    l.usable = take<unsigned char>(w, sz(k));
    l.order = take<int>(w, sz(s.max_models));
    l.lm = refine_scratch{};
    if (s.lm_iterations > 0) take_refine(&l.lm, w, pr, s.max_models, s);
    return l;
}

// The data's bounding box as the one cell of the global model.
void bounding_box(slot* sl, const problem& pr)
{
    for (int k = 0; k < pr.n; ++k) {
        double lo = pr.x[sz(k)], hi = lo;
        for (int t = 1; t < pr.N; ++t) {
            const double v = pr.x[sz(k) + sz(t) * sz(pr.n)];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        sl->lower[sz(k)] = lo;
        sl->upper[sz(k)] = hi;
    }
    sl->c = 1;
}

// Model m's cell halved along input k: m keeps the lower half, the new
// model c the upper. The cells of `from` are copied first.
void split_cells(slot* to, const slot& from, const problem& pr, int m, int k)
{
    const std::size_t n = sz(pr.n), c = sz(from.c);
    std::memcpy(to->lower, from.lower, n * c * sizeof(double));
    std::memcpy(to->upper, from.upper, n * c * sizeof(double));
    std::memcpy(to->lower + n * c, from.lower + n * sz(m), n * sizeof(double));
    std::memcpy(to->upper + n * c, from.upper + n * sz(m), n * sizeof(double));
    const double mid = 0.5 * (from.lower[n * sz(m) + sz(k)] + from.upper[n * sz(m) + sz(k)]);
    to->upper[n * sz(m) + sz(k)] = mid;
    to->lower[n * c + sz(k)] = mid;
    to->c = from.c + 1;
}

double effective_samples(const slot& sl, int i, int N)
{
    double sum = 0.0;
    for (int t = 0; t < N; ++t) sum = sum + sl.phi[sz(i) * sz(N) + sz(t)];
    return sum;
}

// Fits candidate split (m, partition input a) in sl.
void evaluate_candidate(slot* sl, const layout& l, const problem& pr, const settings& s, int m,
                        int a)
{
    const int k = partition_input(s, a);
    const std::size_t at = sz(m) * sz(pr.n) + sz(k);
    l.usable[a] = 0;
    if (!(l.current.upper[at] > l.current.lower[at])) return;
    split_cells(sl, l.current, pr, m, k);
    fit_slot(sl, pr, s);
    l.candidate[a] = sl->criterion;
    l.usable[a] = effective_samples(*sl, m, pr.N) >= s.min_samples &&
                  effective_samples(*sl, sl->c - 1, pr.N) >= s.min_samples;
}

// The best usable split of model m, or -1: lowest criterion, ties to the
// lowest input.
int best_split(const layout& l, const problem& pr, const settings& s, int m)
{
    const int count = partition_count(s, pr.n);
    const int threads = std::min(s.threads, count);
    threads::run(threads, 0, sz(count), [&](int t, std::size_t b, std::size_t e) {
        for (std::size_t a = b; a < e; ++a)
            evaluate_candidate(&l.threads[t], l, pr, s, m, static_cast<int>(a));
    });
    int best = -1;
    for (int a = 0; a < count; ++a)
        if (l.usable[a] && (best < 0 || l.candidate[a] < l.candidate[best])) best = a;
    return best;
}

// Splits the worst model that has a usable split; false when none has.
bool grow(layout* l, const problem& pr, const settings& s)
{
    const int c = l->current.c;
    for (int i = 0; i < c; ++i) l->order[i] = i;
    const double* loss = l->current.local_loss;
    std::stable_sort(l->order, l->order + c, [loss](int a, int b) { return loss[a] > loss[b]; });
    for (int r = 0; r < c; ++r) {
        const int m = l->order[r], a = best_split(*l, pr, s, m);
        if (a < 0) continue;
        slot next = l->threads[0];
        split_cells(&next, l->current, pr, m, partition_input(s, a));
        fit_slot(&next, pr, s);
        copy_slot(&l->current, next, pr);
        return true;
    }
    return false;
}

// Records the current network as step r->steps; false when the caller
// asks to stop.
bool record(result* r, const layout& l, const settings& s)
{
    r->criterion[r->steps] = l.current.criterion;
    r->models_per_step[r->steps] = l.current.c;
    ++r->steps;
    if (s.progress && !s.progress(s.user, r->steps, l.current.c, l.current.criterion)) {
        r->interrupted = true;
        return false;
    }
    return true;
}

void write_result(result* r, const slot& best, const problem& pr)
{
    const std::size_t n = sz(pr.n), c = sz(best.c), p = sz(pr.p), d = sizeof(double);
    std::memcpy(r->centres, best.centres, n * c * d);
    std::memcpy(r->norm_matrices, best.norm_matrices, n * n * c * d);
    std::memcpy(r->consequents, best.consequents, p * (n + 1) * c * d);
    std::memcpy(r->lower, best.lower, n * c * d);
    std::memcpy(r->upper, best.upper, n * c * d);
    r->models = best.c;
    r->sse = best.sse;
}

}  // namespace

settings default_settings(int n)
{
    settings s;
    s.max_models = 10;
    s.min_samples = default_min_samples(n);
    s.width_factor = 1.0 / 3.0;
    s.regularization = 1e-9;
    s.lm_iterations = 0;
    s.patience = 1;
    s.partition = s.regression = nullptr;
    s.n_partition = s.n_regression = n;
    s.threads = 1;
    s.progress = nullptr;
    s.user = nullptr;
    return s;
}

double default_min_samples(int n_regression)
{
    return n_regression + 1 + 2;
}

std::size_t workspace_size(const problem& pr, const settings& s)
{
    workspace w = counting_workspace();
    lay_out(&w, pr, s);
    return bytes_needed(w);
}

int threads_for(const problem& pr, const settings& s)
{
    // One candidate: validities, local fits and errors of up to c_max models.
    const double k = regression_count(s, pr.n) + 1.0, n = pr.n;
    const double cost = static_cast<double>(pr.N) * s.max_models * (n * n + k * k + 40);
    return threads::count_for(sz(std::max(partition_count(s, pr.n), 1)), cost);
}

void train(result* r, const problem& pr, const settings& s, void* memory, std::size_t bytes)
{
    workspace w = memory_workspace(memory, bytes);
    layout l = lay_out(&w, pr, s);
    r->steps = 0;
    r->interrupted = false;
    bounding_box(&l.current, pr);
    fit_slot(&l.current, pr, s);
    copy_slot(&l.best, l.current, pr);
    int since_best = 0;
    bool go = record(r, l, s);
    while (go && l.current.c < s.max_models && grow(&l, pr, s)) {
        if (l.current.criterion < l.best.criterion) {
            copy_slot(&l.best, l.current, pr);
            since_best = 0;
        } else {
            ++since_best;
        }
        go = record(r, l, s) && since_best < s.patience;
    }
    if (s.lm_iterations > 0 && !r->interrupted) refine(&l.best, pr, s, l.lm);
    write_result(r, l.best, pr);
}

}  // namespace localmodels::training
