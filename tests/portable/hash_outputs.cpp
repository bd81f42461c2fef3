// A 64-bit hash per plug-in of the outputs of a fixed set of random problems
// run through the core, so that builds on different CPUs, operating systems
// and C libraries can be compared: every line must be the same everywhere
// (cross_check.sh compares x86-64 with aarch64, Windows and i386). The
// network plug-ins' exp and pow are the core's own, correctly rounded; the
// `exp_pow` and `log` lines hash those functions on arguments of every
// range; `lmn_train` the networks the training builds (its AICc through the
// core's log). Plain C++ on the core's own interface, no test framework, so
// that it cross-builds with nothing but a cross compiler.
//
//   hash_outputs                  the hashes
//   hash_outputs --dump           every output, a line each
//   hash_outputs --show NAME I    the inputs and outputs of problem I of plug-in NAME
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "core/gridval/gridval.h"
#include "core/math/exp.h"
#include "core/math/log.h"
#include "core/math/pow.h"
#include "core/nearpoly/nearpoly.h"
#include "core/network/network.h"
#include "core/training/training.h"

namespace net = localmodels::network;
namespace np = localmodels::nearpoly;
namespace gv = localmodels::gridval;
namespace math = localmodels::math;
namespace tr = localmodels::training;

namespace {

using u64 = std::uint64_t;
using vec = std::vector<double>;

// --- Generator: splitmix64, and doubles from its bits only -------------------

struct rng {
    u64 s;
};

u64 next(rng* r)
{
    u64 z = (r->s += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// Problem i of a plug-in has a generator of its own, so --show can rebuild it.
rng seeded(int plugin, int index)
{
    rng r{(static_cast<u64>(plugin) << 32) + static_cast<u64>(index)};
    next(&r);
    return r;
}

int below(rng* r, int n)
{
    return static_cast<int>(next(r) % static_cast<u64>(n));
}

// Uniform in [0, 1): 53 random bits, exactly.
double unit(rng* r)
{
    return static_cast<double>(next(r) >> 11) * 0x1.0p-53;
}

double uniform(rng* r, double a, double b)
{
    return a + (b - a) * unit(r);
}

// A coordinate: mostly uniform, often on a coarse grid (ties, exact
// examples), sometimes of a wide scale, sometimes zero.
double value(rng* r)
{
    const int kind = below(r, 20);
    if (kind < 11) return uniform(r, -1, 1);
    if (kind < 16) return (below(r, 17) - 8) * 0.25;
    if (kind < 19) {
        const double v = uniform(r, -1, 1);  // before the exponent: operands are unsequenced
        return std::ldexp(v, below(r, 61) - 30);
    }
    return 0.0;
}

vec values(rng* r, std::size_t count)
{
    vec v(count);
    for (double& x : v) x = value(r);
    return v;
}

template <class T>
T pick(rng* r, std::initializer_list<T> choices)
{
    return choices.begin()[below(r, static_cast<int>(choices.size()))];
}

// --- Hashes and the three modes ------------------------------------------------

enum class mode { hash, dump, show };
mode run_mode = mode::hash;

// FNV-1a, a byte at a time, low byte first.
struct fnv {
    u64 h = 14695981039346656037ull;
    u64 count = 0;
};

void add_bytes(fnv* f, u64 bits, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        f->h ^= (bits >> (8 * i)) & 0xff;
        f->h *= 1099511628211ull;
    }
}

// The bit pattern of v; every NaN as the one quiet NaN. The sign and payload
// of a NaN made by an invalid operation are the hardware's (x86-64 sets the
// sign, aarch64 does not), not part of any result.
u64 bits_of(double v)
{
    if (std::isnan(v)) return 0x7ff8000000000000ull;
    u64 b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// v for printing: a NaN without its sign.
double shown(double v)
{
    return std::isnan(v) ? std::numeric_limits<double>::quiet_NaN() : v;
}

// An output line: a plug-in, or a network plug-in's problems with the
// Gaussian and fuzzy validities (those that go through exp and pow).
enum line_id {
    l_nearpoly,
    l_gridval,
    l_netsim,
    l_dmat_inputs,
    l_dmat_params,
    l_netsim_exp_pow,
    l_dmat_inputs_exp_pow,
    l_dmat_params_exp_pow,
    l_crmath,
    l_log,
    l_lmn_train,
    n_lines
};
const char* const line_names[n_lines] = {"nearpoly",
                                         "gridval",
                                         "netsim",
                                         "dmat_inputs",
                                         "dmat_params",
                                         "netsim+exp_pow",
                                         "dmat_inputs+exp_pow",
                                         "dmat_params+exp_pow",
                                         "exp_pow",
                                         "log",
                                         "lmn_train"};

fnv lines[n_lines], total;
bool thread_mismatch = false;

// The problem being emitted, for --dump and --show.
struct sink {
    line_id line;
    int problem;
    int index;  // next output of the problem
};

void print_values(const char* name, const double* v, std::size_t n)
{
    std::printf("%s (%zu):\n", name, n);
    for (std::size_t i = 0; i < n; ++i)
        std::printf("  [%zu] %016llx %.17g\n", i, static_cast<unsigned long long>(bits_of(v[i])),
                    shown(v[i]));
}

void input(const char* name, const double* v, std::size_t n)
{
    if (run_mode == mode::show) print_values(name, v, n);
}

void input(const char* name, const vec& v)
{
    input(name, v.data(), v.size());
}

void note(const char* format, long long a)
{
    if (run_mode == mode::show) {
        std::printf(format, a);
        std::printf("\n");
    }
}

void emit(sink* s, const double* v, std::size_t n)
{
    if (run_mode == mode::show) {
        print_values("output", v, n);
        return;
    }
    for (std::size_t i = 0; i < n; ++i, ++s->index) {
        const u64 b = bits_of(v[i]);
        if (run_mode == mode::dump)
            std::printf("%s %d %d %016llx %.17g\n", line_names[s->line], s->problem, s->index,
                        static_cast<unsigned long long>(b), shown(v[i]));
        add_bytes(&lines[s->line], b, 8);
        add_bytes(&total, b, 8);
        ++lines[s->line].count;
        ++total.count;
    }
}

// A refusal is a result too: its identifier is hashed.
void emit_refusal(sink* s, const char* id)
{
    if (run_mode != mode::hash)
        std::printf("%s %d refused %s\n", line_names[s->line], s->problem, id);
    for (const char* c = id; *c; ++c) add_bytes(&lines[s->line], static_cast<unsigned char>(*c), 1);
}

// Every fifth problem runs on three threads too: under qemu, starting a
// thread costs about 3 ms.
bool with_three_threads(int problem)
{
    return problem % 5 == 0;
}

// Results of one thread and of three must be the same bits.
void expect_same(const vec& a, const vec& b, const sink& s)
{
    if (a.size() == b.size() &&
        (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0))
        return;
    std::printf("%s problem %d: 3 threads differ from 1\n", line_names[s.line], s.problem);
    thread_mismatch = true;
}

// --- exp and pow themselves: a fixed set of arguments of every range -------

// The network's ranges, the subnormal and overflow edges, any double, and
// (for pow) exact and midpoint results; each call's bits are hashed.
void crmath_case(int index)
{
    rng r = seeded(5, index);
    sink s{l_crmath, index, 0};
    const auto any = [&r] {
        const u64 b = next(&r);
        double v;
        std::memcpy(&v, &b, sizeof v);
        return v;
    };
    // Each draw in a statement of its own: the order of a call's arguments
    // is the compiler's.
    double out[6];
    const double a0 = uniform(&r, -40, 0), a1 = uniform(&r, -745.2, 709.8);
    const double a2 = index % 2 ? any() : uniform(&r, -745.2, -708);
    out[0] = math::exp(a0);
    out[1] = math::exp(a1);
    out[2] = math::exp(a2);
    const double unit_d = unit(&r);
    const double d = std::ldexp(unit_d, below(&r, 80) - 60) + 1e-100;
    const double m = uniform(&r, 1.0, 5.0);
    out[3] = math::pow(d, -1.0 / (m - 1.0));
    const double x4 = index % 2 ? any() : d;
    const double y4 = index % 3 ? any() : uniform(&r, 1.0, 5.0);
    out[4] = math::pow(x4, y4);
    const double z = static_cast<double>(1 + 2 * below(&r, 1 << 26));
    const int shift = below(&r, 200) - 100;
    out[5] = math::pow(std::ldexp(z * z, shift), 0.5 * (1 + below(&r, 6)));
    emit(&s, out, 6);
}

// log on every binade, near 1, the subnormals and any double.
void log_case(int index)
{
    rng r = seeded(6, index);
    sink s{l_log, index, 0};
    const double e = uniform(&r, -1074, 1024);
    const double near = uniform(&r, -0x1p-8, 0x1p-8);
    u64 b = next(&r);
    double any;
    std::memcpy(&any, &b, sizeof any);
    const double ratio = uniform(&r, 1e-6, 1e3);
    double out[4] = {math::log(std::ldexp(1 + unit(&r), static_cast<int>(e))), math::log(1 + near),
                     math::log(any), math::log(ratio)};
    emit(&s, out, 4);
}

// --- nearpoly: every id_par form, windows, weights, ties, NaN queries ----------

const int nearpoly_problems = 1500;

void nearpoly_case(int index)
{
    rng r = seeded(0, index);
    const int n = below(&r, 20) == 0 ? 0 : 1 + below(&r, 4);
    const int N = 2 + below(&r, 60), M = 1 + below(&r, 6);
    const std::size_t nN = static_cast<std::size_t>(N) * n, nM = static_cast<std::size_t>(M) * n;

    // Examples, with repeated rows and tied targets now and then.
    vec x = values(&r, nN), y = values(&r, N), q = values(&r, nM);
    if (below(&r, 3) == 0)
        for (int i = 1; i < N; ++i)
            if (below(&r, 3) == 0)
                for (int j = 0; j < n; ++j) x[i + j * N] = x[i - 1 + j * N];
    if (below(&r, 4) == 0)
        for (double& v : y) v = below(&r, 3);
    // Queries at examples, and queries without a distance.
    for (int k = 0; k < M; ++k) {
        const int kind = below(&r, 10), row = below(&r, N);
        for (int j = 0; kind < 2 && j < n; ++j) q[k + j * M] = x[row + j * N];
        if (kind == 2 && n > 0) {
            const int j = below(&r, n);
            q[k + j * M] = pick(&r, {std::nan(""), HUGE_VAL, -HUGE_VAL});
        }
    }

    // id_par: factors, [k_min k_max] or [k_min k_max window].
    const int cols = 1 + below(&r, 3);
    vec id(3 * static_cast<std::size_t>(cols));
    for (int f = 0; f < 3; ++f) {
        if (cols == 1) {
            id[f] = pick(&r, {0.0, 0.5, 1.0, 1.0, 1.5, 2.0, -1.0, std::nan("")});
            if (below(&r, 4) == 0) id[f] = uniform(&r, 0, 2);
        } else {
            id[f] = below(&r, N + 3) - 1;
            id[3 + f] = id[f] + below(&r, N + 4) - 2;
            if (below(&r, 10) == 0) id[3 + f] = 1e12;
            if (cols == 3) id[6 + f] = pick(&r, {0.0, 1.0, 2.0, 3.0, 5.0, 1e12, -1.0});
        }
    }
    const int comb_count = pick(&r, {1, 1, 3});
    vec comb(comb_count);
    for (double& c : comb)
        c = comb_count == 1 ? pick(&r, {1.0, 1.0, 2.0, 3.0, 5.0, 2.7, 1e12}) : below(&r, 4);

    vec weights;
    if (below(&r, 2) == 0) {
        weights.resize(n);
        for (double& w : weights) w = pick(&r, {0.0, 0.5, 1.0, 2.0, uniform(&r, 0, 3)});
    }

    np::call_args a{};
    a.nrhs = weights.empty() ? 4 + below(&r, 3) : 7;
    a.nlhs = 1 + below(&r, 2);
    a.N = N;
    a.n = n;
    a.rows_y = N;
    a.cols_y = 1;
    a.cols_q = n;
    a.rows_id = 3;
    a.cols_id = cols;
    a.id_par = id.data();
    a.comb_count = a.nrhs >= 5 ? comb_count : 0;
    a.comb_par = comb.data();
    a.has_cov_init = a.nrhs >= 6 && below(&r, 3) > 0;
    a.cov_init = pick(&r, {1e6, 1e6, 1.0, 100.0, 1e-3, 0.0, -1.0});

    input("data_x", x);
    input("data_y", y);
    input("query_x", q);
    input("id_par", id);
    input("comb_par", comb);
    input("weights", weights);
    note("nrhs %lld", a.nrhs);
    note("nlhs %lld", a.nlhs);
    note("cov_init given %lld", a.has_cov_init);
    if (a.has_cov_init) input("cov_init", &a.cov_init, 1);

    sink s{l_nearpoly, index, 0};
    np::settings st;
    const localmodels::error e = np::decode_settings(a, &st);
    if (localmodels::failed(e)) {
        emit_refusal(&s, e.id);
        return;
    }
    const np::problem p{x.data(), y.data(), q.data(), weights.empty() ? nullptr : weights.data(),
                        N,        n,        M};
    const auto run = [&](int threads) {
        vec out(M + (st.want_coefs ? static_cast<std::size_t>(M) * st.n_coef : 0));
        std::vector<unsigned char> ws(np::memory_size(p, st, threads));
        np::predict({out.data(), st.want_coefs ? out.data() + M : nullptr}, p, st, {0, M, threads},
                    {ws.data(), ws.size()});
        return out;
    };
    const vec out = run(1);
    if (with_three_threads(index)) expect_same(run(3), out, s);
    emit(&s, out.data(), out.size());
}

// --- gridval: d = 1 … 5, tied breakpoints, points outside and at breakpoints ---

const int gridval_problems = 1000;

void gridval_case(int index)
{
    rng r = seeded(1, index);
    const int d = 1 + index % 5, N = 1 + below(&r, 20);
    gv::problem p{};
    p.d = d;
    p.N = N;
    std::vector<vec> b(d);
    std::size_t size = 1;
    for (int k = 0; k < d; ++k) {
        const int m = 1 + below(&r, 5);
        double at = value(&r);
        for (int i = 0; i < m; ++i) {
            b[k].push_back(at);
            if (below(&r, 5) > 0) at = at + pick(&r, {0.25, 0.5, 1.0, uniform(&r, 0, 2)});
        }
        p.breakpoints[k] = b[k].data();
        p.counts[k] = m;
        size *= static_cast<std::size_t>(m);
    }
    const vec table = values(&r, size);
    vec q(static_cast<std::size_t>(d) * N);
    for (std::size_t i = 0; i < q.size(); ++i) {
        const vec& bk = b[i % d];
        const int kind = below(&r, 24);
        q[i] = kind < 6    ? bk[below(&r, static_cast<int>(bk.size()))]
               : kind < 8  ? bk.front() - uniform(&r, 0, 3)
               : kind < 10 ? bk.back() + uniform(&r, 0, 3)
               : kind < 11 ? std::nan("")
                           : uniform(&r, bk.front() - 0.5, bk.back() + 0.5);
    }
    p.table = table.data();
    p.queries = q.data();
    if (run_mode == mode::show)
        for (int k = 0; k < d; ++k) print_values("breakpoints", b[k].data(), b[k].size());
    input("table", table);
    input("queries", q);

    sink s{l_gridval, index, 0};
    const auto run = [&](int threads) {
        vec out(N);
        std::vector<unsigned char> ws(gv::memory_size(p, threads));
        gv::interpolate(out.data(), p, {0, N, threads, ws.data(), ws.size()});
        return out;
    };
    const vec out = run(1);
    if (with_three_threads(index)) expect_same(run(3), out, s);
    emit(&s, out.data(), out.size());
}

// --- The network plug-ins: every validity type, normalisation, selection -------

struct network {
    vec centres, norms, consequents;
    net::view v;
    net::options o;
    int type;
};

network make_network(rng* r)
{
    network w;
    const int n = below(r, 5), p = below(r, 4), c = below(r, 6);
    w.centres = values(r, static_cast<std::size_t>(n) * c);
    w.consequents = values(r, static_cast<std::size_t>(p) * (n + 1) * c);
    // Mostly positive definite; sometimes any numbers at all.
    w.norms = values(r, static_cast<std::size_t>(n) * n * c);
    if (below(r, 5) > 0)
        for (int i = 0; i < c; ++i)
            for (int s = 0; s < n; ++s)
                for (int k = 0; k < n; ++k) {
                    double& a = w.norms[static_cast<std::size_t>(k + s * n + i * n * n)];
                    a = k == s ? uniform(r, 0.05, 3) : uniform(r, -0.2, 0.2) / n;
                }
    w.v = {w.centres.data(), w.norms.data(), w.consequents.data(), n, p, c};
    w.type = pick(r, {1, 1, 2, 2, 0, 3, -1});
    w.o.normalize = pick(r, {1, 1, 0, -3});
    w.o.kind = net::validity_of_type(w.type);
    w.o.fuzziness = pick(r, {2.0, 2.0, 1.5, 3.0, 1.25, 1.0, uniform(r, 1.05, 4)});
    return w;
}

void show_network(const network& w)
{
    input("centres", w.centres);
    input("norm_matrices", w.norms);
    input("consequents", w.consequents);
    note("n %lld", w.v.n);
    note("p %lld", w.v.p);
    note("c %lld", w.v.c);
    note("normalize %lld", w.o.normalize);
    note("validity_type %lld", w.type);
    input("fuzziness", &w.o.fuzziness, 1);
}

line_id network_line(const network& w, line_id plain, line_id with_exp_pow)
{
    return w.o.kind == net::validity::distance ? plain : with_exp_pow;
}

const int network_problems = 600;

void netsim_case(int index)
{
    rng r = seeded(2, index);
    const network w = make_network(&r);
    const int N = 1 + below(&r, 20);
    const vec x = values(&r, static_cast<std::size_t>(w.v.n) * N);
    show_network(w);
    input("x", x);
    sink s{network_line(w, l_netsim, l_netsim_exp_pow), index, 0};
    const auto run = [&](int threads) {
        vec out(static_cast<std::size_t>(w.v.p) * N);
        std::vector<unsigned char> ws(net::simulate_memory_size(w.v, threads));
        net::simulate(out.data(), x.data(), w.v, w.o, {0, N, threads, ws.data(), ws.size()});
        return out;
    };
    const vec out = run(1);
    if (with_three_threads(index)) expect_same(run(3), out, s);
    emit(&s, out.data(), out.size());
}

void dmat_inputs_case(int index)
{
    rng r = seeded(3, index);
    const network w = make_network(&r);
    const vec x = values(&r, w.v.n);
    show_network(w);
    input("x", x);
    sink s{network_line(w, l_dmat_inputs, l_dmat_inputs_exp_pow), index, 0};
    vec out(static_cast<std::size_t>(w.v.n) * w.v.p + w.v.p);
    std::vector<unsigned char> ws(net::input_derivatives_workspace_size(w.v));
    net::input_derivatives({out.data(), out.data() + w.v.n * w.v.p}, x.data(), w.v, w.o,
                           {ws.data(), ws.size()});
    emit(&s, out.data(), out.size());
}

void dmat_params_case(int index)
{
    rng r = seeded(4, index);
    const network w = make_network(&r);
    const vec x = values(&r, w.v.n);
    // The selection byte: each bit, and bits above the four that count.
    const unsigned selection = index < 256 ? static_cast<unsigned>(index) : 1u + below(&r, 255);
    show_network(w);
    input("x", x);
    note("selection %lld", selection);
    sink s{network_line(w, l_dmat_params, l_dmat_params_exp_pow), index, 0};
    const std::int64_t R = net::selected_rows(w.v.n, w.v.p, w.v.c, selection);
    if (R == 0) return;  // the plug-in computes nothing
    vec out(static_cast<std::size_t>(R) * w.v.p + w.v.p);
    std::vector<unsigned char> ws(net::parameter_derivatives_workspace_size(w.v));
    net::parameter_derivatives({out.data(), out.data() + R * w.v.p}, x.data(), w.v, w.o, selection,
                               {ws.data(), ws.size()});
    emit(&s, out.data(), out.size());
}

// --- lmn_train: the tree on 1 to 3 inputs, AICc or a validation set --------------

const int train_problems = 40;

void lmn_train_case(int index)
{
    rng r = seeded(7, index);
    const int n = 1 + below(&r, 3), p = 1 + below(&r, 2), N = 30 + below(&r, 50);
    const bool validation = index % 3 == 2;
    const int N_val = validation ? 20 : 0;
    vec x(static_cast<std::size_t>(n) * (N + N_val)), y(static_cast<std::size_t>(p) * (N + N_val));
    for (double& v : x) v = uniform(&r, -1, 1);
    // Smooth targets with noise: polynomials, so no libm call shapes them.
    for (int t = 0; t < N + N_val; ++t)
        for (int j = 0; j < p; ++j) {
            const double* xt = &x[static_cast<std::size_t>(t) * n];
            double v = uniform(&r, -0.05, 0.05);
            for (int k = 0; k < n; ++k)
                v += (j + 1) * xt[k] * xt[k] * xt[k] - xt[k] * (k + 1) * 0.5;
            y[static_cast<std::size_t>(t) * p + j] = v;
        }
    input("x", x);
    input("y", y);
    tr::problem pr{x.data(), y.data(), n, p, N, nullptr, nullptr, 0};
    if (validation) {
        pr.x_val = x.data() + static_cast<std::size_t>(n) * N;
        pr.y_val = y.data() + static_cast<std::size_t>(p) * N;
        pr.N_val = N_val;
    }
    tr::settings st = tr::default_settings(n);
    st.max_models = 2 + below(&r, 5);
    st.lm_iterations = index % 4 == 1 ? 3 : 0;
    st.patience = 2;
    note("max_models %lld", st.max_models);
    note("lm_iterations %lld", st.lm_iterations);
    sink s{l_lmn_train, index, 0};
    const int c = st.max_models;
    const auto run = [&](int threads) {
        st.threads = threads;
        const std::size_t nc = static_cast<std::size_t>(n) * c;
        vec out(nc * (n + 3) + static_cast<std::size_t>(p) * (n + 1) * c + 2 * c + 3);
        double* o = out.data();
        tr::result res{};
        res.centres = o;
        res.norm_matrices = res.centres + nc;
        res.consequents = res.norm_matrices + nc * n;
        res.lower = res.consequents + static_cast<std::size_t>(p) * (n + 1) * c;
        res.upper = res.lower + nc;
        res.criterion = res.upper + nc;
        res.models_per_step = res.criterion + c;
        std::vector<unsigned char> ws(tr::workspace_size(pr, st));
        tr::train(&res, pr, st, ws.data(), ws.size());
        double* tail = res.models_per_step + c;
        tail[0] = res.models;
        tail[1] = res.steps;
        tail[2] = res.sse;
        return out;
    };
    const vec out = run(1);
    if (with_three_threads(index)) expect_same(run(3), out, s);
    emit(&s, out.data(), out.size());
}

struct plugin {
    const char* name;
    void (*run)(int);
    int problems;
};

const plugin plugins[] = {{"nearpoly", nearpoly_case, nearpoly_problems},
                          {"gridval", gridval_case, gridval_problems},
                          {"netsim", netsim_case, network_problems},
                          {"dmat_inputs", dmat_inputs_case, network_problems},
                          {"dmat_params", dmat_params_case, network_problems},
                          {"exp_pow", crmath_case, 20000},
                          {"log", log_case, 5000},
                          {"lmn_train", lmn_train_case, train_problems}};

int usage()
{
    std::fprintf(stderr, "usage: hash_outputs [--dump | --show PLUGIN PROBLEM]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* show_name = nullptr;
    int show_problem = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0) {
            run_mode = mode::dump;
        } else if (std::strcmp(argv[i], "--show") == 0 && i + 2 < argc) {
            run_mode = mode::show;
            show_name = argv[i + 1];
            show_problem = std::atoi(argv[i + 2]);
            i += 2;
        } else {
            return usage();
        }
    }

    if (run_mode == mode::show) {
        // A network line's name is its plug-in's, with "+exp_pow".
        for (const plugin& p : plugins)
            if (std::strncmp(show_name, p.name, std::strlen(p.name)) == 0 &&
                (show_name[std::strlen(p.name)] == '\0' || show_name[std::strlen(p.name)] == '+')) {
                std::printf("%s problem %d\n", p.name, show_problem);
                p.run(show_problem);
                return 0;
            }
        return usage();
    }

    for (const plugin& p : plugins)
        for (int i = 0; i < p.problems; ++i) p.run(i);

    if (run_mode == mode::dump) return thread_mismatch ? 1 : 0;
    for (int l = 0; l < n_lines; ++l)
        std::printf("%-17s %016llx %llu outputs\n", line_names[l],
                    static_cast<unsigned long long>(lines[l].h),
                    static_cast<unsigned long long>(lines[l].count));
    std::printf("%-17s %016llx %llu outputs\n", "total", static_cast<unsigned long long>(total.h),
                static_cast<unsigned long long>(total.count));
    return thread_mismatch ? 1 : 0;
}
