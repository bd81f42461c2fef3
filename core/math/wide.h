// The slow paths of exp and pow: the same functions in fixed-point
// arithmetic of 288 and then 608 bits after the point, with a bound on the
// error carried along, rounded by an exact test on the integer. Taken for
// the few arguments whose fast result is too near a rounding boundary.
#pragma once

namespace localmodels::math::wide {

// exp(x) correctly rounded into *r, for |x| <= 746; false if even 608 bits
// could not decide (no such argument is known), *r then the nearest at 608.
bool exp(double x, double* r);

// log x likewise, for x > 0 finite, x != 1.
bool log(double x, double* r);

// x^y likewise, for x > 0 finite, y finite and |y log x| <= 746.
bool pow(double x, double y, double* r);

}  // namespace localmodels::math::wide
