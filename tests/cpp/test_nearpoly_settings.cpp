// nearpoly's settings: decoding of id_par and comb_par, the derived counts,
// and the order of the fixed messages, without a host.
#include <cmath>

#include <gtest/gtest.h>

#include "core/nearpoly/stages.h"
#include "host/standalone/gateways.h"
#include "nearpoly_args.h"

using namespace localmodels::nearpoly;
using namespace localmodels::nearpoly::detail;
namespace {

// The arguments of a call with N examples of n inputs, id_par given by its
// columns (3 values each) and, when given, comb_par.
struct args {
    std::vector<double> id;
    std::vector<double> comb;
    call_args a{};
    settings s{};
    localmodels::error e{};

    args(int N, int n, std::vector<double> id_par, int cols, int nrhs = 4,
         std::vector<double> comb_par = {}, int nlhs = 1)
        : id(std::move(id_par)), comb(std::move(comb_par))
    {
        a = testing_helpers::well_shaped_args(nrhs, nlhs, N, n, id.data(), cols, comb.data(),
                                              static_cast<std::int64_t>(comb.size()));
    }
    const char* decode()
    {
        e = decode_settings(a, &s);
        return localmodels::failed(e) ? e.message : nullptr;
    }
    const family_settings& f(int family) const { return s.family[family]; }
};

void expect_range(const family_settings& f, int k_min, int k_max, bool active)
{
    EXPECT_EQ(f.k_min, k_min);
    EXPECT_EQ(f.k_max, k_max);
    EXPECT_EQ(f.active, active);
}

}  // namespace

TEST(NearpolySettings, FactorsOfTheParameterCount)
{
    args c(100, 1, {1, 0, 0}, 1);
    ASSERT_EQ(c.decode(), nullptr);
    expect_range(c.f(constant_family), 3, 5, true);
    EXPECT_EQ(c.f(constant_family).count, 3);
    EXPECT_FALSE(c.f(linear_family).active);
    EXPECT_FALSE(c.f(quadratic_family).active);
    EXPECT_EQ(c.s.n_coef, 1);
    EXPECT_EQ(c.s.K, 5);
    EXPECT_EQ(c.s.G, 1);
    EXPECT_FALSE(c.s.want_coefs);  // one output: no coefficient rows are kept

    args lq(100, 2, {0, 1, 1}, 1);
    ASSERT_EQ(lq.decode(), nullptr);
    expect_range(lq.f(linear_family), 9, 15, true);
    expect_range(lq.f(quadratic_family), 18, 30, true);
    EXPECT_EQ(lq.s.K, 30);
    EXPECT_EQ(lq.s.n_coef, 6);

    // 0.1 for the constant family: ceil(0.5) = 1 < 2, so it is off.
    args small(100, 1, {0.1, 1, 0}, 1);
    ASSERT_EQ(small.decode(), nullptr);
    EXPECT_FALSE(small.f(constant_family).active);
    EXPECT_EQ(small.f(constant_family).k_max, 1);
}

TEST(NearpolySettings, FactorsWhoseRangeEndsAreNotWhole)
{
    // 3 p f rounds down and 5 p f up: for the constant family f = 1.3 gives
    // floor(3.9) = 3 and ceil(6.5) = 7.
    args c(100, 1, {1.3, 0, 0}, 1);
    ASSERT_EQ(c.decode(), nullptr);
    expect_range(c.f(constant_family), 3, 7, true);
    EXPECT_EQ(c.f(constant_family).count, 5);
    EXPECT_EQ(c.s.K, 7);

    // n = 1: p = 2 gives floor(7.8) and 13; p = 3 gives floor(11.7) and ceil(19.5).
    args one(100, 1, {1.3, 1.3, 1.3}, 1);
    ASSERT_EQ(one.decode(), nullptr);
    expect_range(one.f(linear_family), 7, 13, true);
    expect_range(one.f(quadratic_family), 11, 20, true);
    // n = 2: p = 3 as above; p = 6 gives floor(23.4) and 39.
    args two(100, 2, {1.3, 1.3, 1.3}, 1);
    ASSERT_EQ(two.decode(), nullptr);
    expect_range(two.f(linear_family), 11, 20, true);
    expect_range(two.f(quadratic_family), 23, 39, true);
    EXPECT_EQ(two.s.K, 39);

    // Constant family, f = 0.7: 3 f = 2.0999999999999996 and 5 f = 3.5;
    // 2.7: 8.100000000000001 and 13.5.
    args low(100, 1, {0.7, 0, 0}, 1);
    ASSERT_EQ(low.decode(), nullptr);
    expect_range(low.f(constant_family), 2, 4, true);
    args high(100, 1, {2.7, 0, 0}, 1);
    ASSERT_EQ(high.decode(), nullptr);
    expect_range(high.f(constant_family), 8, 14, true);
    // 1.05: 3.1500000000000004 and 5.25, which rounds up to 6, not to 5.
    args up(100, 1, {1.05, 0, 0}, 1);
    ASSERT_EQ(up.decode(), nullptr);
    expect_range(up.f(constant_family), 3, 6, true);

    // 3*p*f and 5*p*f are evaluated left to right, as the help writes them.
    // n = 1, quadratic p = 3, f = 0.8: 15 * 0.8 rounds to 12.0, where
    // 5 * (3 * 0.8) = 12.000000000000002 would take k_max up to 13.
    args left(100, 1, {0, 0, 0.8}, 1);
    ASSERT_EQ(left.decode(), nullptr);
    expect_range(left.f(quadratic_family), 7, 12, true);
    // n = 3, quadratic p = 10, f = 4.1: 30 * 4.1 = 122.99999999999999
    // gives k_min 122, where 3 * (10 * 4.1) = 123.0 would give 123.
    args down(300, 3, {0, 0, 4.1}, 1);
    ASSERT_EQ(down.decode(), nullptr);
    expect_range(down.f(quadratic_family), 122, 205, true);
}

TEST(NearpolySettings, FewExamplesTurnFamiliesOff)
{
    args a(20, 2, {1, 1, 1}, 1);  // quadratic k_min 18 <= 20, k_max clamped to 20
    ASSERT_EQ(a.decode(), nullptr);
    expect_range(a.f(quadratic_family), 18, 20, true);
    EXPECT_EQ(a.s.K, 20);
    args b(10, 2, {0, 0, 1}, 1);
    EXPECT_STREQ(b.decode(), "Identification is empty.");
}

TEST(NearpolySettings, ExplicitRangesAndWindows)
{
    args two(50, 1, {2, 0, 0, 10, 0, 0}, 2);
    ASSERT_EQ(two.decode(), nullptr);
    expect_range(two.f(constant_family), 2, 10, true);
    EXPECT_FALSE(two.f(linear_family).active);
    EXPECT_EQ(two.f(constant_family).window, 0);

    args three(50, 1, {2, 2, 2, 10, 10, 10, 1, -4, 2.9}, 3);
    ASSERT_EQ(three.decode(), nullptr);
    EXPECT_EQ(three.f(constant_family).window, 2);  // a window of 1 becomes 2
    EXPECT_EQ(three.f(linear_family).window, 0);
    EXPECT_EQ(three.f(quadratic_family).window, 2);
}

TEST(NearpolySettings, NaNAndHugeEntriesAreClamped)
{
    args a(40, 1, {NAN, 3, -5, 1e300, NAN, 1e12, 1e300, 0, -1e300}, 3);
    ASSERT_EQ(a.decode(), nullptr);
    expect_range(a.f(constant_family), 2, 40, true);  // a huge count becomes N
    EXPECT_FALSE(a.f(linear_family).active);          // NaN k_max counts as 0
    expect_range(a.f(quadratic_family), 2, 40, true);
    EXPECT_EQ(a.f(constant_family).window, 2147483647);
    EXPECT_EQ(a.f(quadratic_family).window, 0);

    args inf_factor(40, 1, {INFINITY, 0, 0}, 1);  // k_min beyond any N
    EXPECT_STREQ(inf_factor.decode(), "Identification is empty.");
}

TEST(NearpolySettings, CombinationCounts)
{
    // id_par [2 5; 2 8; 0 0] with N = 50: 4 + 7 = 11 candidates.
    const std::vector<double> id = {2, 2, 0, 5, 8, 0};
    auto global = [&](double g) {
        args a(50, 1, id, 2, 5, {g});
        const char* msg = a.decode();
        return msg ? -1 : a.s.G;
    };
    EXPECT_EQ(global(-3), 3);
    EXPECT_EQ(global(100), 11);
    EXPECT_EQ(global(1e300), 11);
    EXPECT_EQ(global(-INFINITY), 11);
    EXPECT_EQ(global(0.7), -1);
    EXPECT_EQ(global(NAN), -1);
    args empty(50, 1, id, 2, 5, {0.7});
    EXPECT_STREQ(empty.decode(), "Combination is empty!.");

    args per(50, 1, {1, 1, 1}, 1, 5, {2, 0, 0}, 2);
    ASSERT_EQ(per.decode(), nullptr);
    EXPECT_EQ(per.s.G, 0);
    EXPECT_EQ(per.f(constant_family).keep, 2);
    EXPECT_FALSE(per.f(linear_family).active);
    EXPECT_FALSE(per.f(quadratic_family).active);
    EXPECT_EQ(per.s.n_coef, 1);
    EXPECT_EQ(per.s.K, 15);  // the largest k_max, active or not
    EXPECT_TRUE(per.s.want_coefs);

    args capped(50, 1, id, 2, 5, {-100, 3.9, 9});
    ASSERT_EQ(capped.decode(), nullptr);
    EXPECT_EQ(capped.f(constant_family).keep, 4);
    EXPECT_EQ(capped.f(linear_family).keep, 3);
    EXPECT_FALSE(capped.f(quadratic_family).active);  // inactive family keeps 0
    EXPECT_EQ(capped.s.n_coef, 2);

    args none(50, 1, id, 2, 5, {0, 0.5, 7});
    EXPECT_STREQ(none.decode(), "Combination is empty!.");
    for (std::size_t count : {0, 2, 4}) {
        args bad(50, 1, id, 2, 5, std::vector<double>(count, 1.0));
        EXPECT_STREQ(bad.decode(), "Combination parameter no good.");
    }
}

TEST(NearpolySettings, MessagesInOrder)
{
    args dims(10, 2, {1, 1, 1}, 1);
    dims.a.cols_q = 3;
    EXPECT_STREQ(dims.decode(), "Matrix dimensions must agree.");
    dims.a.cols_q = 2;
    dims.a.rows_y = 9;
    EXPECT_STREQ(dims.decode(), "Matrix dimensions must agree.");
    dims.a.rows_y = 10;
    dims.a.cols_y = 2;
    EXPECT_STREQ(dims.decode(), "Matrix dimensions must agree.");

    for (std::int64_t rows : {2, 4})
        for (std::int64_t cols : {1, 2}) {
            args bad(50, 1, std::vector<double>(12, 1.0), 1);
            bad.a.rows_id = rows;
            bad.a.cols_id = cols;
            EXPECT_STREQ(bad.decode(), "Illegal id_par.");
        }
    args four_cols(50, 1, std::vector<double>(12, 1.0), 4);
    EXPECT_STREQ(four_cols.decode(), "Illegal id_par.");

    // With 8 inputs an empty identification is reported first.
    args eight(50, 1, {0, 0, 0}, 1, 8, {0});
    EXPECT_STREQ(eight.decode(), "Identification is empty.");
    args eight_ok(50, 1, {1, 0, 0}, 1, 8, {0});
    EXPECT_STREQ(eight_ok.decode(), "Number of argument no good.");
}

TEST(NearpolySettings, CovInit)
{
    args absent(50, 1, {1, 0, 0}, 1);
    ASSERT_EQ(absent.decode(), nullptr);
    EXPECT_EQ(absent.s.cov_init, 1e6);
    args given(50, 1, {1, 0, 0}, 1, 6, {1});
    given.a.has_cov_init = true;
    given.a.cov_init = -2.5;  // used exactly as passed
    ASSERT_EQ(given.decode(), nullptr);
    EXPECT_EQ(given.s.cov_init, -2.5);
}
