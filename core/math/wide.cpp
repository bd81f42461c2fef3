// Fixed point of K 32-bit words, the lowest first: a magnitude V and a sign
// stand for V 2^-F, F = 32 (K - 1), so the top word is the integer part.
// Every operation truncates the magnitude, an error below one unit 2^-F;
// the bounds below count these units.
//
// exp(t): t = k log 2 + r, exp(r) = exp(r/256)^256, exp(r/256) by its
//   Taylor series until a term truncates to 0.
// log(x): x = 2^E m, m in [1/sqrt 2, sqrt 2], log m = 2 atanh z with
//   z = (m - 1)/(m + 1) by long division, the series until a term is 0.
// pow(x, y) = exp(y log x), y multiplied in exactly before truncation.
// log x itself is rounded from the same fixed-point log.
#include "core/math/wide.h"

#include <cmath>
#include <cstdint>

#include "core/math/dd.h"
#include "core/math/tables.h"

namespace localmodels::math::wide {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

template <int K>
struct num {
    u32 w[K] = {};
    bool neg = false;
};

template <int K>
constexpr int frac_bits = 32 * (K - 1);

template <int K>
bool is_zero(const num<K>& a)
{
    for (int i = 0; i < K; ++i)
        if (a.w[i] != 0) return false;
    return true;
}

// -1, 0, 1 as |a| <, =, > |b|.
template <int K>
int compare(const num<K>& a, const num<K>& b)
{
    for (int i = K - 1; i >= 0; --i)
        if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
    return 0;
}

// |r| = |a| + |b|, or |a| - |b| for |a| >= |b|.
template <int K>
void add_magnitudes(num<K>* r, const num<K>& a, const num<K>& b)
{
    u64 carry = 0;
    for (int i = 0; i < K; ++i) {
        carry += static_cast<u64>(a.w[i]) + b.w[i];
        r->w[i] = static_cast<u32>(carry);
        carry >>= 32;
    }
}

template <int K>
void subtract_magnitudes(num<K>* r, const num<K>& a, const num<K>& b)
{
    u64 borrow = 0;
    for (int i = 0; i < K; ++i) {
        const u64 d = static_cast<u64>(a.w[i]) - b.w[i] - borrow;
        r->w[i] = static_cast<u32>(d);
        borrow = (d >> 32) & 1;
    }
}

// a + b with their signs: exact.
template <int K>
num<K> add(const num<K>& a, const num<K>& b)
{
    num<K> r;
    if (a.neg == b.neg) {
        add_magnitudes(&r, a, b);
        r.neg = a.neg;
    } else if (compare(a, b) >= 0) {
        subtract_magnitudes(&r, a, b);
        r.neg = a.neg;
    } else {
        subtract_magnitudes(&r, b, a);
        r.neg = b.neg;
    }
    return r;
}

template <int K>
num<K> negated(num<K> a)
{
    a.neg = !a.neg;
    return a;
}

// a b, truncated: the middle K words of the 2K-word product.
template <int K>
num<K> mul(const num<K>& a, const num<K>& b)
{
    u32 p[2 * K] = {};
    for (int i = 0; i < K; ++i) {
        u64 carry = 0;
        for (int j = 0; j < K; ++j) {
            carry += static_cast<u64>(a.w[i]) * b.w[j] + p[i + j];
            p[i + j] = static_cast<u32>(carry);
            carry >>= 32;
        }
        p[i + K] = static_cast<u32>(carry);
    }
    num<K> r;
    for (int i = 0; i < K; ++i) r.w[i] = p[i + K - 1];
    r.neg = a.neg != b.neg;
    return r;
}

// a v exactly, for a small enough not to overflow.
template <int K>
num<K> mul_small(const num<K>& a, u32 v)
{
    num<K> r;
    u64 carry = 0;
    for (int i = 0; i < K; ++i) {
        carry += static_cast<u64>(a.w[i]) * v;
        r.w[i] = static_cast<u32>(carry);
        carry >>= 32;
    }
    r.neg = a.neg;
    return r;
}

// a / v, truncated.
template <int K>
num<K> div_small(const num<K>& a, u32 v)
{
    num<K> r;
    u64 rest = 0;
    for (int i = K - 1; i >= 0; --i) {
        rest = (rest << 32) | a.w[i];
        r.w[i] = static_cast<u32>(rest / v);
        rest %= v;
    }
    r.neg = a.neg;
    return r;
}

// a / 2^s, truncated, 0 <= s < 32.
template <int K>
num<K> shifted_down(const num<K>& a, int s)
{
    num<K> r;
    for (int i = 0; i < K; ++i) {
        const u64 pair = a.w[i] | (i + 1 < K ? static_cast<u64>(a.w[i + 1]) << 32 : 0);
        r.w[i] = static_cast<u32>(pair >> s);
    }
    r.neg = a.neg;
    return r;
}

template <int K>
num<K> from_int(u32 v)
{
    num<K> r;
    r.w[K - 1] = v;
    return r;
}

// log 2, truncated.
template <int K>
num<K> ln2()
{
    num<K> r;
    for (int i = 0; i < K - 1; ++i) r.w[K - 2 - i] = tables::ln2_bits[i];
    return r;
}

// A double near a (within 2^-40 or so), for choosing reductions.
template <int K>
double approx(const num<K>& a)
{
    const double v = a.w[K - 1] + a.w[K - 2] * 0x1p-32 + a.w[K - 3] * 0x1p-64;
    return a.neg ? -v : v;
}

// Bits pos ... pos + 31 of the n-word integer p (zeros outside it).
u32 bits_at(const u32* p, int n, int pos)
{
    const int word = pos >= 0 ? pos / 32 : -((31 - pos) / 32);
    const int shift = pos - 32 * word;
    const u64 lo = word >= 0 && word < n ? p[word] : 0;
    const u64 hi = word + 1 >= 0 && word + 1 < n ? p[word + 1] : 0;
    return static_cast<u32>(((hi << 32) | lo) >> shift);
}

// *out = the integer p times 2^s, truncated; false if it does not fit.
template <int K>
bool place(const u32* p, int n, int s, num<K>* out)
{
    const int at = s + frac_bits<K>;
    for (int i = 0; i < K; ++i) out->w[i] = bits_at(p, n, 32 * i - at);
    for (int i = K; i < K + n + 1; ++i)
        if (bits_at(p, n, 32 * i - at) != 0) return false;
    return true;
}

int top_bit(const u32* p, int n)
{
    for (int i = n - 1; i >= 0; --i)
        for (int b = 31; b >= 0; --b)
            if ((p[i] >> b) & 1) return 32 * i + b;
    return -1;
}

bool any_below(const u32* p, int pos)
{
    for (int i = 0; i < pos; ++i)
        if ((p[i / 32] >> (i % 32)) & 1) return true;
    return false;
}

// The double nearest to V 2^(k - F), ties to even, with the subnormals and
// the overflow to infinity.
template <int K>
double nearest(const num<K>& v, int k)
{
    const int F = frac_bits<K>, p = top_bit(v.w, K);
    if (p < 0) return 0.0;
    const int q = p - 52 > F - 1074 - k ? p - 52 : F - 1074 - k;  // the last bit kept
    if (q <= 0)
        return std::ldexp(static_cast<double>(bits_at(v.w, K, 0)) +
                              static_cast<double>(bits_at(v.w, K, 32)) * 0x1p32,
                          k - F);
    if (q > p + 1) return 0.0;
    u64 R = bits_at(v.w, K, q) | static_cast<u64>(bits_at(v.w, K, q + 32)) << 32;
    const bool half = (bits_at(v.w, K, q - 1) & 1) != 0;
    if (half && ((R & 1) != 0 || any_below(v.w, q - 1))) ++R;
    return std::ldexp(static_cast<double>(R), q + k - F);
}

// The rounding of V 2^(k - F) when V is within err units of the value:
// both ends of the interval round alike.
template <int K>
bool rounded(const num<K>& v, double err, int k, double* r)
{
    *r = nearest(v, k);
    if (!(err < 0x1p60)) return false;
    const u64 e = static_cast<u64>(err) + 1;
    const u32 ew[2] = {static_cast<u32>(e), static_cast<u32>(e >> 32)};
    num<K> d;
    place(ew, 2, -frac_bits<K>, &d);
    if (compare(v, d) <= 0) return false;
    num<K> lo, hi;
    subtract_magnitudes(&lo, v, d);
    add_magnitudes(&hi, v, d);
    return nearest(lo, k) == nearest(hi, k);
}

// exp(t) from t within t_err units.
template <int K>
bool exp_at(const num<K>& t, double t_err, double* result)
{
    const long k = std::lround(approx(t) / 0.6931471805599453);
    num<K> kl = mul_small(ln2<K>(), static_cast<u32>(k < 0 ? -k : k));
    kl.neg = k < 0;
    const num<K> r = shifted_down(add(t, negated(kl)), 8);
    const double r_err = (t_err + static_cast<double>(k < 0 ? -k : k)) / 256 + 1;

    num<K> sum = from_int<K>(1), term = sum;
    int J = 0;
    for (int j = 1;; ++j) {
        term = div_small(mul(term, r), static_cast<u32>(j));
        if (is_zero(term)) break;
        sum = add(sum, term);
        J = j;
    }
    // Relative error in units, then through the eight squarings.
    double rho = (2.1 * J + 4 + 1.01 * r_err) * 1.003;
    for (int i = 0; i < 8; ++i) {
        sum = mul(sum, sum);
        rho = 2.0001 * rho + 2.05;
    }
    return rounded(sum, 1.42 * rho + 1, static_cast<int>(k), result);
}

// log x into *L for x > 0 finite; returns the bound on its error in units.
template <int K>
double log_at(double x, num<K>* L)
{
    int ex;
    const double f = std::frexp(x, &ex);  // x = f 2^ex, f in [1/2, 1)
    const u64 M = static_cast<u64>(std::ldexp(f, 53));
    // m = M / 2^P in [1/sqrt 2, sqrt 2), x = m 2^E.
    const bool below = M < 6369051672525773ull;  // 2^53 / sqrt 2, rounded up
    const int P = below ? 52 : 53, E = below ? ex - 1 : ex;
    const u64 one = 1ull << P, den = M + one;
    u64 rest = M >= one ? M - one : one - M;

    num<K> z;  // |m - 1| / (m + 1), bit by bit
    for (int b = frac_bits<K> - 1; b >= 0; --b) {
        rest <<= 1;
        if (rest >= den) {
            rest -= den;
            z.w[b / 32] |= 1u << (b % 32);
        }
    }
    const num<K> z2 = mul(z, z);
    num<K> sum = z, term = z;
    int J = 0;
    for (int j = 1;; ++j) {
        term = mul(term, z2);
        if (is_zero(term)) break;
        add_magnitudes(&sum, sum, div_small(term, static_cast<u32>(2 * j + 1)));
        J = j;
    }
    add_magnitudes(&sum, sum, sum);
    sum.neg = M < one;
    num<K> el = mul_small(ln2<K>(), static_cast<u32>(E < 0 ? -E : E));
    el.neg = E < 0;
    *L = add(el, sum);
    return 2 * (3.1 * (J + 1) + 4) + 2.1 + (E < 0 ? -E : E) + 1;
}

// x = X 2^q, X an integer below 2^53, from the bits of |x|.
void integer_and_scale(double x, u64* X, int* q)
{
    int e;
    const double f = std::frexp(std::fabs(x), &e);
    *X = static_cast<u64>(std::ldexp(f, 53));
    *q = e - 53;
}

template <int K>
bool exp_from(double x, double* r)
{
    u64 X;
    int q;
    integer_and_scale(x, &X, &q);
    const u32 p[2] = {static_cast<u32>(X), static_cast<u32>(X >> 32)};
    num<K> t;
    *r = 0;
    if (!place(p, 2, q, &t)) return false;
    t.neg = x < 0;
    return exp_at(t, 1, r);
}

template <int K>
bool pow_from(double x, double y, double* r)
{
    num<K> L;
    const double l_err = log_at(x, &L);
    u64 Y;
    int q;
    integer_and_scale(y, &Y, &q);
    // L Y exactly, K + 2 words, then times 2^q.
    u32 p[K + 2] = {};
    for (int h = 0; h < 2; ++h) {
        const u64 v = h == 0 ? Y & 0xffffffffu : Y >> 32;
        u64 carry = 0;
        for (int i = 0; i < K; ++i) {
            carry += static_cast<u64>(L.w[i]) * v + p[i + h];
            p[i + h] = static_cast<u32>(carry);
            carry >>= 32;
        }
        for (int i = K + h; carry != 0 && i < K + 2; ++i) {
            carry += p[i];
            p[i] = static_cast<u32>(carry);
            carry >>= 32;
        }
    }
    num<K> t;
    *r = 0;
    if (!place(p, K + 2, q - frac_bits<K>, &t)) return false;
    t.neg = L.neg != (y < 0);
    return exp_at(t, l_err * std::fabs(y) + 1, r);
}

template <int K>
bool log_from(double x, double* r)
{
    num<K> L;
    const double err = log_at(x, &L);
    const bool decided = rounded(L, err, 0, r);
    if (L.neg) *r = -*r;
    return decided;
}

}  // namespace

bool exp(double x, double* r)
{
    return exp_from<10>(x, r) || exp_from<20>(x, r);
}

bool log(double x, double* r)
{
    return log_from<10>(x, r) || log_from<20>(x, r);
}

bool pow(double x, double y, double* r)
{
    return pow_from<10>(x, y, r) || pow_from<20>(x, y, r);
}

}  // namespace localmodels::math::wide
