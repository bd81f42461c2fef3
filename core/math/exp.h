// The core's exponential, correctly rounded: the double nearest to e^x
// (ties cannot occur) for every double x, so that it gives the same bits on
// every CPU, compiler and C library. e^±0 = 1, e^+inf = +inf, e^-inf = +0,
// NaN gives NaN; results beyond the largest double are +inf, and small ones
// round through the subnormals to +0.
#pragma once

namespace localmodels::math {

double exp(double x);

}  // namespace localmodels::math
