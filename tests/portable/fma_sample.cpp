// A fused multiply-add for no_fused_multiply_add.sh to find: in a function
// of namespace localmodels::math (which it passes over) and, unless
// ONLY_MATH is defined, in one outside it (which it must report).
#if defined(__x86_64__)
#define FUSING __attribute__((target("fma")))
#else
#define FUSING
#endif

namespace localmodels::math {

FUSING double fused(double a, double b, double c)
{
    return __builtin_fma(a, b, c);
}

}  // namespace localmodels::math

#if !defined(ONLY_MATH)
FUSING double fused_elsewhere(double a, double b, double c)
{
    return __builtin_fma(a, b, c);
}
#endif
