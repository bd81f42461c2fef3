// The core's exp, pow and log against GNU MPFR, bit for bit: random arguments
// over every range the network plug-ins reach (and any double at all), the
// hard-to-round arguments of crmath_cases.h, results that are exactly a
// double or a midpoint, the C standard's special values; the fixed-point
// path on its own; and each vector width against the scalar functions.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/common/simd.h"
#include "core/math/exp.h"
#include "core/math/exp_pow_lanes.h"
#include "core/math/log.h"
#include "core/math/pow.h"
#include "core/math/variants.h"
#include "core/math/vectors.h"
#include "core/math/wide.h"
#include "crmath_cases.h"

namespace {

namespace math = localmodels::math;

// MPFR's results rounded as doubles are, subnormals included.
struct mpfr_double_range {
    mpfr_double_range()
    {
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
    }
};

double mpfr_exp_of(double x)
{
    static const mpfr_double_range range;
    mpfr_t a, r;
    mpfr_init2(a, 53);
    mpfr_init2(r, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    const int t = mpfr_exp(r, a, MPFR_RNDN);
    mpfr_subnormalize(r, t, MPFR_RNDN);
    const double v = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clears(a, r, static_cast<mpfr_ptr>(nullptr));
    return v;
}

double mpfr_pow_of(double x, double y)
{
    static const mpfr_double_range range;
    mpfr_t a, b, r;
    mpfr_inits2(53, a, b, r, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_set_d(b, y, MPFR_RNDN);
    const int t = mpfr_pow(r, a, b, MPFR_RNDN);
    mpfr_subnormalize(r, t, MPFR_RNDN);
    const double v = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clears(a, b, r, static_cast<mpfr_ptr>(nullptr));
    return v;
}

double mpfr_log_of(double x)
{
    static const mpfr_double_range range;
    mpfr_t a, r;
    mpfr_init2(a, 53);
    mpfr_init2(r, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_log(r, a, MPFR_RNDN);
    const double v = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clears(a, r, static_cast<mpfr_ptr>(nullptr));
    return v;
}

// Equal bits; any NaN equals any NaN.
bool same(double a, double b)
{
    if (a != a && b != b) return true;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

double any_double(std::mt19937_64& g)
{
    const std::uint64_t b = g();
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Checks exp, log or pow at x, with the products the CPU offers and with
// Dekker's; counts and reports the first few failures.
struct checker {
    int failures = 0;
    long checked = 0;
    void exp(double x)
    {
        ++checked;
        const double want = mpfr_exp_of(x);
        for (const double got : {math::exp(x), math::detail::exp_dekker(x)})
            if (!same(got, want) && ++failures <= 5)
                ADD_FAILURE() << std::hexfloat << "exp(" << x << ") = " << got << ", not " << want;
    }
    void log(double x)
    {
        ++checked;
        const double want = mpfr_log_of(x);
        for (const double got : {math::log(x), math::detail::log_dekker(x)})
            if (!same(got, want) && ++failures <= 5)
                ADD_FAILURE() << std::hexfloat << "log(" << x << ") = " << got << ", not " << want;
    }
    void pow(double x, double y)
    {
        ++checked;
        const double want = mpfr_pow_of(x, y);
        for (const double got : {math::pow(x, y), math::detail::pow_dekker(x, y)})
            if (!same(got, want) && ++failures <= 5)
                ADD_FAILURE() << std::hexfloat << "pow(" << x << ", " << y << ") = " << got
                              << ", not " << want;
    }
};

TEST(CorrectlyRounded, ExpOfRandomArguments)
{
    std::mt19937_64 g(1);
    checker c;
    // The Gaussian validity exp(-d), d >= 0 mostly; every finite result;
    // the subnormal results; the overflow edge; near 0; any double.
    const double ranges[][2] = {{-40, 0},      {-745.2, 709.8}, {-745.2, -708}, {709, 709.8},
                                {-1e-5, 1e-5}, {-1, 1},         {-1e-12, 1e-12}};
    for (const auto& r : ranges) {
        std::uniform_real_distribution<double> u(r[0], r[1]);
        for (int i = 0; i < 20000; ++i) c.exp(u(g));
    }
    for (int i = 0; i < 20000; ++i) c.exp(any_double(g));
    EXPECT_EQ(c.failures, 0) << "of " << c.checked;
    EXPECT_GE(c.checked, 100000);
}

TEST(CorrectlyRounded, PowOfRandomArguments)
{
    std::mt19937_64 g(2);
    checker c;
    std::uniform_real_distribution<double> logd(-240, 25), m(1.0, 6.0), near(-1e-3, 1e-3);
    // Fuzzy validities (d + 1e-100)^(-1/(m-1)); the derivatives' w^m.
    for (int i = 0; i < 40000; ++i) c.pow(std::exp(logd(g)) + 1e-100, -1.0 / (m(g) - 1.0));
    for (int i = 0; i < 20000; ++i) c.pow(std::exp(logd(g) / 4), m(g));
    // The fuzziness values 1.5, 1.25, 2 and 3: exponents -2, -4, -1, -1/2.
    for (double e : {-2.0, -4.0, -1.0, -0.5})
        for (int i = 0; i < 5000; ++i) c.pow(std::exp(logd(g) / 3), e);
    // Bases near 1 with large exponents; any doubles; negative bases.
    for (int i = 0; i < 10000; ++i) c.pow(1 + near(g), std::ldexp(m(g), 12));
    for (int i = 0; i < 20000; ++i) c.pow(any_double(g), any_double(g));
    for (int i = 0; i < 10000; ++i) c.pow(-std::exp(logd(g) / 8), std::round(near(g) * 40000));
    EXPECT_EQ(c.failures, 0) << "of " << c.checked;
    EXPECT_GE(c.checked, 100000);
}

TEST(CorrectlyRounded, LogOfRandomArguments)
{
    std::mt19937_64 g(6);
    checker c;
    std::uniform_real_distribution<double> all(-1074, 1024), sse(-100, 30), near(-0x1p-8, 0x1p-8),
        nearer(-1e-12, 1e-12);
    // Any positive double; every binade; the criteria's ratios of sums of
    // squares; near 1, in and beyond the rows where u = x - 1 is exact.
    for (int i = 0; i < 30000; ++i) c.log(std::fabs(any_double(g)));
    for (int i = 0; i < 20000; ++i) c.log(std::exp2(all(g)));
    for (int i = 0; i < 20000; ++i) c.log(std::exp2(sse(g)));
    for (int i = 0; i < 20000; ++i) c.log(1 + 2 * near(g));
    for (int i = 0; i < 10000; ++i) c.log(1 + nearer(g));
    EXPECT_EQ(c.failures, 0) << "of " << c.checked;
    EXPECT_GE(c.checked, 100000);
}

// At the edges of the near-one rows, the doubles next to 1 and to powers of
// two, the subnormals; and the C standard's special values.
TEST(CorrectlyRounded, LogEdgesAndSpecialValues)
{
    const double inf = std::numeric_limits<double>::infinity();
    checker c;
    for (double t :
         {1.0, 0x1.ffp-1, 0x1.01p0, 0.5, 2.0, 0x1p-1022, 0x1p1023, 0x1.6a09e667f3bcdp0}) {
        double up = t, down = t;
        for (int k = 0; k < 40; ++k) {
            c.log(up);
            c.log(down);
            up = std::nextafter(up, inf);
            down = std::nextafter(down, 0.0);
        }
    }
    for (int k = 1; k < 1075; ++k) c.log(std::ldexp(1.0, -k) * (1 + (k % 7) * 0x1p-40));
    c.log(4.9e-324);
    c.log(std::numeric_limits<double>::max());
    EXPECT_EQ(c.failures, 0) << "of " << c.checked;
    EXPECT_EQ(math::log(0.0), -inf);
    EXPECT_EQ(math::log(-0.0), -inf);
    EXPECT_EQ(math::log(inf), inf);
    EXPECT_TRUE(std::isnan(math::log(-inf)));
    EXPECT_TRUE(std::isnan(math::log(-1.0)));
    EXPECT_TRUE(std::isnan(math::log(-4.9e-324)));
    EXPECT_TRUE(std::isnan(math::log(std::nan(""))));
    EXPECT_TRUE(same(math::log(1.0), 0.0));
}

// Arguments within 2^-18 ulp of a midpoint (tools/crmath_hard_cases.cpp):
// the fast paths cannot decide them.
TEST(CorrectlyRounded, HardToRound)
{
    checker c;
    for (double x : crmath_cases::exp_arguments) c.exp(x);
    for (double x : crmath_cases::exp_subnormal_arguments) c.exp(x);
    for (const auto& a : crmath_cases::pow_arguments) c.pow(a[0], a[1]);
    for (double x : crmath_cases::log_arguments) c.log(x);
    EXPECT_EQ(c.failures, 0) << "of " << c.checked;
}

// Results that are doubles or midpoints: powers of two, integer powers,
// square and higher roots of exact powers, in and below the normal range.
TEST(CorrectlyRounded, ExactAndMidpointPowers)
{
    std::mt19937_64 g(3);
    checker c;
    for (int i = 0; i < 20000; ++i) {
        const double x = std::ldexp(1.0, static_cast<int>(g() % 2150) - 1075);
        const double y =
            std::ldexp(static_cast<double>(g() % 4001) - 2000, -static_cast<int>(g() % 7));
        c.pow(x, y);
    }
    for (int i = 0; i < 20000; ++i) {
        // Z^(2^k) to the power n / 2^k; odd Z of 27 bits squared are midpoints.
        const double Z = static_cast<double>(g() % 2 ? 1 + 2 * (g() % 60000)
                                                     : 0x4000001 + 2 * (g() % 0x1000000));
        const int k = static_cast<int>(g() % 4), n = 1 + static_cast<int>(g() % 36);
        double x = std::ldexp(Z, static_cast<int>(g() % 400) - 200);
        for (int j = 0; j < k; ++j) x = x * x;
        if (!std::isfinite(x) || x == 0) continue;
        c.pow(x, std::ldexp(n, -k));
        c.pow(x, -std::ldexp(n, -k));
    }
    c.pow(94906267.0, 2);  // 94906267^2 = 2^53 + 261134297: a midpoint
    c.pow(2.0, -1075);     // half the smallest subnormal: ties to 0
    c.pow(0.5, 1074.5);
    EXPECT_EQ(c.failures, 0) << "of " << c.checked;
}

TEST(CorrectlyRounded, SpecialValues)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const double v[] = {0.0,
                        -0.0,
                        1.0,
                        -1.0,
                        2.0,
                        -2.0,
                        0.5,
                        -0.5,
                        3.0,
                        -3.0,
                        1.5,
                        -1.5,
                        inf,
                        -inf,
                        nan,
                        4.9e-324,
                        -4.9e-324,
                        2.2e-308,
                        1.7976931348623157e308,
                        -1.7976931348623157e308,
                        1e300,
                        1e-300,
                        0x1.fffffffffffffp-1,
                        0x1.0000000000001p0,
                        1075.0,
                        -1075.0,
                        1e18,
                        -1e18,
                        0x1p53,
                        0x1p53 + 2};
    checker c;
    for (double x : v) {
        c.exp(x);
        for (double y : v) c.pow(x, y);
    }
    EXPECT_EQ(c.failures, 0) << "of " << c.checked;
    EXPECT_TRUE(std::signbit(math::pow(-0.0, 3.0)));
    EXPECT_TRUE(std::signbit(math::pow(-inf, -3.0)));
    EXPECT_FALSE(std::signbit(math::pow(-0.0, 2.0)));
    EXPECT_EQ(math::pow(nan, 0.0), 1.0);
    EXPECT_EQ(math::pow(1.0, nan), 1.0);
    EXPECT_TRUE(std::isnan(math::pow(-2.0, 0.5)));
}

// The fixed-point path alone gives the same bits wherever it decides.
TEST(CorrectlyRounded, FixedPointPath)
{
    std::mt19937_64 g(4);
    std::uniform_real_distribution<double> u(-745, 709), logd(-20, 20), e(-5, 5);
    int failures = 0;
    for (int i = 0; i < 3000; ++i) {
        const double x = u(g), b = std::exp(logd(g)), y = e(g);
        double r;
        if (!localmodels::math::wide::exp(x, &r) || !same(r, mpfr_exp_of(x))) ++failures;
        if (!localmodels::math::wide::pow(b, y, &r) || !same(r, mpfr_pow_of(b, y))) ++failures;
    }
    for (double x : crmath_cases::exp_arguments) {
        double r;
        if (!localmodels::math::wide::exp(x, &r) || !same(r, mpfr_exp_of(x))) ++failures;
    }
    std::uniform_real_distribution<double> all(-1074, 1024), near(-0x1p-8, 0x1p-8);
    for (int i = 0; i < 3000; ++i) {
        const double x = i % 2 ? std::exp2(all(g)) : 1 + near(g);
        double r;
        if (x != 1 && (!localmodels::math::wide::log(x, &r) || !same(r, mpfr_log_of(x))))
            ++failures;
    }
    for (double x : crmath_cases::log_arguments) {
        double r;
        if (!localmodels::math::wide::log(x, &r) || !same(r, mpfr_log_of(x))) ++failures;
    }
    EXPECT_EQ(failures, 0);
}

// --- Every vector width against the scalar functions, bit for bit ------------

// A buffer of n doubles aligned for any vector width.
struct aligned_doubles {
    std::vector<double> storage;
    double* data;
    explicit aligned_doubles(std::size_t n) : storage(n + 8)
    {
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(storage.data());
        data = storage.data() + (64 - at % 64) % 64 / sizeof(double);
    }
};

template <int L>
__attribute__((always_inline)) inline void run_lanes(double* w, const double* a, int count,
                                                     double y, bool power)
{
    using v = localmodels::lanes<L>;
    const std::size_t n = static_cast<std::size_t>(count) * L;
    aligned_doubles in(n), out(n);
    std::memcpy(in.data, a, sizeof(double) * n);
    const v* vin = reinterpret_cast<const v*>(in.data);
    v* vout = reinterpret_cast<v*>(out.data);
    if (power)
        math::pow_lanes<L>(vout, vin, count, y);
    else
        math::exp_lanes<L>(vout, vin, count);
    std::memcpy(w, out.data, sizeof(double) * n);
}

void lanes2(double* w, const double* a, int count, double y, bool power)
{
    run_lanes<2>(w, a, count, y, power);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void lanes4(double* w, const double* a, int count, double y,
                                            bool power)
{
    run_lanes<4>(w, a, count, y, power);
}

__attribute__((target("avx512f"))) void lanes8(double* w, const double* a, int count, double y,
                                               bool power)
{
    run_lanes<8>(w, a, count, y, power);
}
#endif

TEST(CorrectlyRounded, VectorWidthsMatchScalar)
{
    namespace simd = localmodels::simd;
    std::mt19937_64 g(5);
    const int count = 4096;  // vectors of 8, so 32768 values
    std::vector<double> a(8 * count), b(8 * count), w(8 * count);
    std::uniform_real_distribution<double> u(-760, 720), logd(-240, 25), m(1.0, 5.0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = i % 16 == 0 ? any_double(g) : i % 2 ? u(g) : -std::fabs(u(g)) / 16;
        b[i] = i % 16 == 0 ? any_double(g) : std::exp(logd(g)) + 1e-100;
    }
    const double exponents[] = {
        -1.0 / (m(g) - 1.0), -2.0, -4.0, -1.0, 2.5, 0.0, std::numeric_limits<double>::infinity()};
    const simd::level best = simd::detected();
    for (int L : {2, 4, 8}) {
        if (L == 4 && best < simd::level::avx2) continue;
        if (L == 8 && best < simd::level::avx512) continue;
        const auto run = [&](const double* in, double y, bool power) {
#if defined(__x86_64__)
            if (L == 8) return lanes8(w.data(), in, count * 8 / L, y, power);
            if (L == 4) return lanes4(w.data(), in, count * 8 / L, y, power);
#endif
            if (L == 2) lanes2(w.data(), in, count * 8 / L, y, power);
        };
        if (L != 2 && best == simd::level::neon) continue;
        run(a.data(), 0, false);
        for (std::size_t i = 0; i < a.size(); ++i)
            ASSERT_TRUE(same(w[i], math::exp(a[i])))
                << "L = " << L << std::hexfloat << ", exp(" << a[i] << ")";
        // The array kernels, with Dekker's products and with fused ones.
        for (bool fused : {false, true}) {
            if (fused && !math::has_fma()) continue;
            const math::lane_options o{L, fused};
            aligned_doubles in(a.size()), out(a.size());
            std::memcpy(in.data, a.data(), sizeof(double) * a.size());
            math::exp_vectors(out.data, in.data, static_cast<int>(a.size()), o);
            for (std::size_t i = 0; i < a.size(); ++i)
                ASSERT_TRUE(same(out.data[i], math::exp(a[i])))
                    << "L = " << L << ", fused " << fused << std::hexfloat << ", exp(" << a[i]
                    << ")";
            std::memcpy(in.data, b.data(), sizeof(double) * b.size());
            for (double y : exponents) {
                math::pow_vectors(out.data, in.data, static_cast<int>(b.size()), y, o);
                for (std::size_t i = 0; i < b.size(); ++i)
                    ASSERT_TRUE(same(out.data[i], math::pow(b[i], y)))
                        << "L = " << L << ", fused " << fused << std::hexfloat << ", pow(" << b[i]
                        << ", " << y << ")";
            }
        }
        for (double y : exponents) {
            run(b.data(), y, true);
            for (std::size_t i = 0; i < b.size(); ++i)
                ASSERT_TRUE(same(w[i], math::pow(b[i], y)))
                    << "L = " << L << std::hexfloat << ", pow(" << b[i] << ", " << y << ")";
        }
    }
}

// The edges of the lanes' own cases: exp set to +0 or +inf in the lane
// beyond |x| = 746, the scalar function from 707 on; near each edge, at the
// last subnormal, the rounding to 0 and the overflow, against MPFR at every
// width, product and the inline lanes.
TEST(CorrectlyRounded, VectorEdgesMatchMpfr)
{
    namespace simd = localmodels::simd;
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> a = {0.0, -0.0, inf, -inf, std::nan(""), -std::nan("")};
    for (double t : {707.0, 709.782712893384, 709.79, 710.0, 745.1332191019411, 745.2, 746.0, 1e300,
                     std::numeric_limits<double>::max()})
        for (double s : {1.0, -1.0}) {
            double up = s * t, down = s * t;
            for (int k = 0; k < 6; ++k) {
                a.push_back(up);
                a.push_back(down);
                up = std::nextafter(up, inf);
                down = std::nextafter(down, -inf);
            }
        }
    while (a.size() % 8 != 0) a.push_back(-746.0);
    std::vector<double> want(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) want[i] = mpfr_exp_of(a[i]);
    const int count = static_cast<int>(a.size());
    aligned_doubles in(a.size()), out(a.size());
    std::memcpy(in.data, a.data(), sizeof(double) * a.size());
    const simd::level best = simd::detected();
    for (int L : {2, 4, 8}) {
        if ((L == 4 && best < simd::level::avx2) || (L == 8 && best < simd::level::avx512))
            continue;
        if (L != 2 && best == simd::level::neon) continue;
        for (bool fused : {false, true}) {
            if (fused && !math::has_fma()) continue;
            math::exp_vectors(out.data, in.data, count, math::lane_options{L, fused});
            for (std::size_t i = 0; i < a.size(); ++i)
                EXPECT_TRUE(same(out.data[i], want[i]))
                    << "L = " << L << ", fused " << fused << std::hexfloat << ", exp(" << a[i]
                    << ") = " << out.data[i] << ", not " << want[i];
        }
        std::vector<double> w(a.size());
#if defined(__x86_64__)
        if (L == 8) lanes8(w.data(), a.data(), count / 8, 0, false);
        if (L == 4) lanes4(w.data(), a.data(), count / 4, 0, false);
#endif
        if (L == 2) lanes2(w.data(), a.data(), count / 2, 0, false);
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_TRUE(same(w[i], want[i]))
                << "inline L = " << L << std::hexfloat << ", exp(" << a[i] << ")";
    }
}

}  // namespace
