// Finds arguments of exp, pow and log whose results lie within 2^-18 units in
// the last place of a rounding boundary (a midpoint between two doubles),
// and of exp whose subnormal results lie within 2^-18 of one in units of
// 2^-1074, by GNU MPFR at 256 bits, for the list in tests/cpp/crmath_cases.h:
//   g++ -O2 tools/crmath_hard_cases.cpp -lmpfr -lgmp -o hard && ./hard
// Such arguments defeat the fast paths' rounding test and so exercise the
// fixed-point path; the ranges are those the network plug-ins use.
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

// Distance of v (normal range) to the nearest midpoint, in units of its ulp.
double to_midpoint(mpfr_t v)
{
    mpfr_t s;
    mpfr_init2(s, 256);
    long e;
    mpfr_get_d_2exp(&e, v, MPFR_RNDN);
    mpfr_mul_2si(s, v, 53 - e, MPFR_RNDN);  // in [2^52, 2^53)
    mpfr_frac(s, s, MPFR_RNDN);
    const double f = mpfr_get_d(s, MPFR_RNDN);
    mpfr_clear(s);
    return std::fabs(std::fabs(f) - 0.5);
}

// The same for v below 2^-1022, in units of the subnormals' spacing 2^-1074.
double to_subnormal_midpoint(mpfr_t v)
{
    mpfr_t s;
    mpfr_init2(s, 256);
    mpfr_mul_2si(s, v, 1074, MPFR_RNDN);
    mpfr_frac(s, s, MPFR_RNDN);
    const double f = mpfr_get_d(s, MPFR_RNDN);
    mpfr_clear(s);
    return std::fabs(std::fabs(f) - 0.5);
}

}  // namespace

int main()
{
    std::mt19937_64 g(20);
    mpfr_t x, y, r;
    mpfr_inits2(256, x, y, r, (mpfr_ptr)0);
    std::uniform_real_distribution<double> ue(-700, 700), un(-40, 0), ud(-12, 6), um(1.05, 5);
    for (long i = 0; i < 4000000; ++i) {
        const double a = i % 2 ? ue(g) : un(g);
        mpfr_set_d(x, a, MPFR_RNDN);
        mpfr_exp(r, x, MPFR_RNDN);
        if (to_midpoint(r) < 0x1p-18) std::printf("exp %a\n", a);
    }
    for (long i = 0; i < 2000000; ++i) {
        const double b = std::exp(ud(g)), m = um(g);
        const double e = i % 3 == 0 ? m : -1.0 / (m - 1.0);
        mpfr_set_d(x, b, MPFR_RNDN);
        mpfr_set_d(y, e, MPFR_RNDN);
        mpfr_pow(r, x, y, MPFR_RNDN);
        if (to_midpoint(r) < 0x1p-18) std::printf("pow %a %a\n", b, e);
    }
    // log: any positive double (the training's criteria), and near 1.
    std::uniform_real_distribution<double> ul(-1074, 1024), u1(-0x1p-8, 0x1p-8);
    for (long i = 0; i < 3000000; ++i) {
        const double a = i % 2 ? std::exp2(ul(g)) : 1 + u1(g);
        if (!(a > 0) || std::isinf(a) || a == 1) continue;
        mpfr_set_d(x, a, MPFR_RNDN);
        mpfr_log(r, x, MPFR_RNDN);
        if (to_midpoint(r) < 0x1p-18) std::printf("log %a\n", a);
    }
    // exp's subnormal results, near 2^-1022 where a unit of 2^-1074 is
    // relatively smallest: within 2^-18 of a midpoint (printed as "sub").
    std::uniform_real_distribution<double> us(-710, -708.4);
    for (long i = 0; i < 8000000; ++i) {
        const double a = us(g);
        mpfr_set_d(x, a, MPFR_RNDN);
        mpfr_exp(r, x, MPFR_RNDN);
        if (mpfr_cmp_d(r, 0x1p-1022) < 0 && to_subnormal_midpoint(r) < 0x1p-18)
            std::printf("sub %a\n", a);
    }
    mpfr_clears(x, y, r, (mpfr_ptr)0);
    return 0;
}
