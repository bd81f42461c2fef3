// Which inputs the cells split and the local models regress on: the
// settings' 0-based index lists, or all n inputs when a list is null.
#pragma once

#include "core/training/training.h"

namespace localmodels::training {

inline int partition_count(const settings& s, int n)
{
    return s.partition ? s.n_partition : n;
}

inline int partition_input(const settings& s, int a)
{
    return s.partition ? s.partition[a] : a;
}

inline int regression_count(const settings& s, int n)
{
    return s.regression ? s.n_regression : n;
}

inline int regression_input(const settings& s, int a)
{
    return s.regression ? s.regression[a] : a;
}

}  // namespace localmodels::training
