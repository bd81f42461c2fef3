// The scalar exp, pow and log with Dekker's products whatever the CPU: the
// functions themselves take fused multiply-adds where the CPU has them, so
// the tests check this path on its own. The same results by definition.
#pragma once

namespace localmodels::math::detail {

double exp_dekker(double x);
double pow_dekker(double x, double y);
double log_dekker(double x);

}  // namespace localmodels::math::detail
