// The core's natural logarithm, correctly rounded to nearest for every
// double x, with the C standard's special values: log(+-0) = -inf (the
// divide-by-zero flag), log(x < 0) = NaN (invalid), log(+inf) = +inf,
// log(1) = +0, NaN in, NaN out; subnormal x as any other.
#pragma once

namespace localmodels::math {

double log(double x);

}  // namespace localmodels::math
