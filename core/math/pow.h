// The core's power x^y, correctly rounded to nearest (ties to even) for
// every pair of doubles, with the C standard's special values: x^±0 = 1 and
// 1^y = 1 even for NaN; otherwise NaN in, NaN out; a negative finite x with
// a non-integer finite y gives NaN, with an integer y ±|x|^y (the sign of
// an odd y); zeros and infinities of x and y as the C standard lists them.
// Overflow gives ±inf, underflow rounds through the subnormals to ±0.
#pragma once

namespace localmodels::math {

double pow(double x, double y);

}  // namespace localmodels::math
