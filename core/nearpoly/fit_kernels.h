// The fits' inner loops for one vector level, written once for all levels.
// fit_levels.cpp includes this file once per level, each time inside that
// level's namespace and target region, after naming the level's vector
// type `vec` (a compiler vector of doubles, whose + - * / are one IEEE
// operation per lane). Hence no include guard.
//
// Each vector element and each lane of the scoring does what the scalar
// loops of local_fits.cpp do, in the same order: h and the sums of the
// scoring take their terms with the same index ascending, and every
// multiply and add stays separate. P's rows, theta and the gain run to
// whole vectors (whole_vectors(m)), as do the columns and the targets
// (stride), so no loop has a partial vector; the lanes past m or past the
// neighbours compute what they like, and nothing reads them.

// Clang honours the standard pragma; GCC has none and warns of it, so there
// the -ffp-contract=off of every build keeps the multiplies and adds apart.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

constexpr int W = sizeof(vec) / sizeof(double);  // doubles a vector

inline vec load(const double* p)
{
    vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double* p, vec v)
{
    std::memcpy(p, &v, sizeof v);
}

inline vec broadcast(double x)
{
    vec v = {};
    for (int i = 0; i < W; ++i) v[i] = x;
    return v;
}

// Leave-one-out scoring: rows (a) of P in groups of A, neighbours (t) in
// groups of T vectors; the A * T sums of a group stay in registers.
constexpr int A = 6, T = 2;

// h[a ...] for V vectors of columns from a, in one pass over b:
// h[a] = h[a] + P[b][a] x[b] from 0.0, b ascending.
template <int V>
inline void times_columns(double* h, const double* P, const double* x, int m, int a)
{
    const std::size_t width = static_cast<std::size_t>(whole_vectors(m));
    vec s[V];
    for (int i = 0; i < V; ++i) s[i] = broadcast(0.0);
    for (int b = 0; b < m; ++b) {
        const double* row = P + b * width + a;
        const vec xb = broadcast(x[b]);
        for (int i = 0; i < V; ++i) s[i] = s[i] + load(row + i * W) * xb;
    }
    for (int i = 0; i < V; ++i) store(h + a + i * W, s[i]);
}

// Four vectors of columns at a time, then the one to three left.
void times(double* h, const double* P, const double* x, int m)
{
    const int vectors = (m + W - 1) / W;
    int v = 0;
    for (; v + 4 <= vectors; v += 4) times_columns<4>(h, P, x, m, v * W);
    switch (vectors - v) {
        case 3: times_columns<3>(h, P, x, m, v * W); break;
        case 2: times_columns<2>(h, P, x, m, v * W); break;
        case 1: times_columns<1>(h, P, x, m, v * W); break;
        default: break;
    }
}

void downdate(double* P, const double* g, double delta, int m)
{
    const std::size_t width = static_cast<std::size_t>(whole_vectors(m));
    const vec d = broadcast(delta);
    for (int a = 0; a < m; ++a) {
        double* row = P + a * width;
        const vec ga = broadcast(g[a]);
        for (int b = 0; b < m; b += W) store(row + b, load(row + b) - (ga * load(g + b)) / d);
    }
}

void advance(double* theta, const double* g, double e, int m)
{
    const vec ev = broadcast(e);
    for (int a = 0; a < m; a += W) store(theta + a, load(theta + a) + ev * load(g + a));
}

// For rows a ... a + R - 1 and the neighbours of the group from t0:
// h = sum over b of P[b][a + i] x_b, then den = den - x_(a + i) h, i
// ascending. P[b][a + i] is P[a + i][b]: P is exactly symmetric.
template <int R, int V>
inline void take_rows(vec* den, const fit_storage* fs, int m, int a, int t0)
{
    const std::size_t width = static_cast<std::size_t>(whole_vectors(m)),
                      S = static_cast<std::size_t>(fs->stride);
    vec h[R][V];
    for (int i = 0; i < R; ++i)
        for (int j = 0; j < V; ++j) h[i][j] = broadcast(0.0);
    for (int b = 0; b < m; ++b) {
        const double* p = fs->P + b * width + a;
        const double* x = fs->cols + b * S + t0;
        vec xb[V];
        for (int j = 0; j < V; ++j) xb[j] = load(x + j * W);
        for (int i = 0; i < R; ++i) {
            const vec pi = broadcast(p[i]);
            for (int j = 0; j < V; ++j) h[i][j] = h[i][j] + pi * xb[j];
        }
    }
    for (int i = 0; i < R; ++i) {
        const double* x = fs->cols + (a + i) * S + t0;
        for (int j = 0; j < V; ++j) den[j] = den[j] - load(x + j * W) * h[i][j];
    }
}

// The squared residuals of the V * W neighbours from t0, a lane each.
template <int V>
void score_group(const fit_storage* fs, int m, int t0)
{
    const std::size_t S = static_cast<std::size_t>(fs->stride);
    vec num[V], den[V];
    for (int j = 0; j < V; ++j) {
        num[j] = load(fs->targets + t0 + j * W);
        den[j] = broadcast(1.0);
    }
    for (int a = 0; a < m; ++a) {
        const double* x = fs->cols + a * S + t0;
        const vec th = broadcast(fs->theta[a]);
        for (int j = 0; j < V; ++j) num[j] = num[j] - load(x + j * W) * th;
    }
    static_assert(A == 6, "the rest below takes up to five rows");
    int a = 0;
    for (; a + A <= m; a += A) take_rows<A, V>(den, fs, m, a, t0);
    switch (m - a) {
        case 5: take_rows<5, V>(den, fs, m, a, t0); break;
        case 4: take_rows<4, V>(den, fs, m, a, t0); break;
        case 3: take_rows<3, V>(den, fs, m, a, t0); break;
        case 2: take_rows<2, V>(den, fs, m, a, t0); break;
        case 1: take_rows<1, V>(den, fs, m, a, t0); break;
        default: break;
    }
    for (int j = 0; j < V; ++j) {
        const vec r = num[j] / den[j];
        store(fs->squares + t0 + j * W, r * r);
    }
}

void squares(const fit_storage* fs, int m, int u)
{
    // Whole groups while their last vector holds a neighbour to score.
    int t = 0;
    for (; u - t > (T - 1) * W; t += T * W) score_group<T>(fs, m, t);
    for (; t < u; t += W) score_group<1>(fs, m, t);
}

constexpr lane_kernels kernels = {times, downdate, advance, squares};
