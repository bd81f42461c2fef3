// make crcheck: the core's exp and pow against GNU MPFR on 10^7 random
// arguments each (COUNT on the command line changes it), over the ranges of
// the network plug-ins and over all doubles, on two threads. Prints the
// counts and every disagreement; exits 1 on any. Not part of make test.
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "core/math/exp.h"
#include "core/math/pow.h"

namespace {

double mpfr_result(double x, double y, bool power)
{
    mpfr_t a, b, r;
    mpfr_inits2(53, a, b, r, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_set_d(b, y, MPFR_RNDN);
    const int t = power ? mpfr_pow(r, a, b, MPFR_RNDN) : mpfr_exp(r, a, MPFR_RNDN);
    mpfr_subnormalize(r, t, MPFR_RNDN);
    const double v = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clears(a, b, r, static_cast<mpfr_ptr>(nullptr));
    return v;
}

bool same(double a, double b)
{
    return (a != a && b != b) || std::memcmp(&a, &b, sizeof a) == 0;
}

double any(std::mt19937_64& g)
{
    const std::uint64_t b = g();
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Argument i of the exp or pow series: the kinds take turns.
void arguments(std::mt19937_64& g, long i, bool power, double* x, double* y)
{
    std::uniform_real_distribution<double> u(0, 1);
    const int kind = static_cast<int>(i % 5);
    *y = 0;
    if (!power) {
        const double lo[] = {-40, -745.2, -745.2, -1};
        const double hi[] = {0, 709.8, -708, 1};
        *x = kind == 4 ? any(g) : lo[kind] + (hi[kind] - lo[kind]) * u(g);
        return;
    }
    const double d = std::exp(-240 + 265 * u(g)), m = 1 + 5 * u(g);
    switch (kind) {
        case 0: *x = d + 1e-100, *y = -1 / (m - 1); return;      // fuzzy validities
        case 1: *x = std::exp(-60 + 66 * u(g)), *y = m; return;  // the derivatives' w^m
        case 2: *x = std::exp(-80 + 88 * u(g)), *y = -2 - 2 * (i % 2); return;
        case 3: *x = 1 + (u(g) - 0.5) * 1e-3, *y = std::ldexp(m, 12); return;
        default: *x = any(g), *y = any(g); return;
    }
}

void check(long first, long last, bool power, long* failures)
{
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    std::mt19937_64 g(static_cast<std::uint64_t>(first) * 2 + power);
    for (long i = first; i < last; ++i) {
        double x, y;
        arguments(g, i, power, &x, &y);
        const double got = power ? localmodels::math::pow(x, y) : localmodels::math::exp(x);
        const double want = mpfr_result(x, y, power);
        if (same(got, want)) continue;
        ++*failures;
        std::printf("%s(%a, %a) = %a, MPFR %a\n", power ? "pow" : "exp", x, y, got, want);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const long count = argc > 1 ? std::atol(argv[1]) : 10000000;
    long total = 0;
    for (bool power : {false, true}) {
        long f[2] = {0, 0};
        std::thread other(check, count / 2, count, power, &f[1]);
        check(0, count / 2, power, &f[0]);
        other.join();
        std::printf("%s: %ld arguments, %ld differ from MPFR\n", power ? "pow" : "exp", count,
                    f[0] + f[1]);
        total += f[0] + f[1];
    }
    return total == 0 ? 0 : 1;
}
