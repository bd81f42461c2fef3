"""The README's table of bad inputs through Python: every row a Python call
can reach, refused with the MEX's message and identifier, and each accepted
oddity with the result it gives.

Rows a Python call cannot reach: the argument counts and output counts
(Python's own signature checks them), classes other than double (every
argument is converted to float64 first), the MEX's forms of the selection
(it is a Python integer or a set of names here), the network arrays too
small for n and c and a point X shorter than n (the wrappers refuse every
network array of another shape than its numpy shape, first), and more than
2147483647 selected rows (the arrays that would need cannot be formed).
"""

import numpy as np
import pytest

import localmodels as lm

# A small valid network: n = 1, p = 1, c = 2, models x and 5.
C = [[0.0], [1.0]]
A = [[[1.0]], [[1.0]]]
T = [[[1.0, 0.0]], [[0.0, 5.0]]]
NET = ([0.5], C, A, T)

# Examples of nearpoly: 12 points of one input, queries at the example 2 and
# between examples.
X = np.arange(12.0)
Y = np.sin(X)
Q = [2.0, 7.2]
ID = [1.0, 1.0, 0.0]
HUGE = 2**31
EMPTY_HUGE = np.empty((0, HUGE))

REFUSALS = [
    # all plug-ins
    ("dimension beyond 32 bits", lambda: lm.gridval(np.empty((HUGE, 0)), [1.0], [0.0]),
     "queries has a dimension larger than 2147483647.", "gridval:dimensionTooLarge"),
    ("dimension beyond 32 bits", lambda: lm.nearpoly(EMPTY_HUGE, [], EMPTY_HUGE, ID),
     "data_x has a dimension larger than 2147483647.", "nearpoly:dimensionTooLarge"),
    ("dimension beyond 32 bits",
     lambda: lm.netsim(np.zeros((1, 0)), np.empty((HUGE, 0)), np.empty((HUGE, 0, 0)),
                       np.empty((HUGE, 0, 1))),
     "centres has a dimension larger than 2147483647.", "netsim:dimensionTooLarge"),
    ("more than 2^31 - 1 elements",
     lambda: lm.gridval(np.broadcast_to(0.0, (HUGE, 1)), [1.0, 2.0], [0.0, 1.0]),
     "queries has more than 2147483647 elements.", "gridval:tooManyElements"),
    ("more than 2^31 - 1 elements",
     lambda: lm.dmat_params(np.broadcast_to(np.int8(1), (HUGE, 1)), C, A, T, batch=True),
     "X has more than 2147483647 elements.", "dmat_params:tooManyElements"),
    ("more than 2^31 - 1 elements",
     lambda: lm.nearpoly(X, Y, Q, ID, np.broadcast_to(1.0, (HUGE + 5,))),
     "comb_par has more than 2147483647 elements.", "nearpoly:tooManyElements"),
    # nearpoly
    ("data_y not N-by-1", lambda: lm.nearpoly(X, Y[:11], Q, [1, 1, 1]),
     "Matrix dimensions must agree.", "nearpoly:dataYShape"),
    ("data_y a row", lambda: lm.nearpoly(X, Y.reshape(1, -1), Q, [1, 1, 1]),
     "Matrix dimensions must agree.", "nearpoly:dataYShape"),
    ("query_x without n columns", lambda: lm.nearpoly(X, Y, [[2.0, 3.0]], [1, 1, 1]),
     "Matrix dimensions must agree.", "nearpoly:queryXColumns"),
    ("id_par not 3 rows", lambda: lm.nearpoly(X, Y, Q, [1, 1]),
     "Illegal id_par.", "nearpoly:illegalIdPar"),
    ("id_par 3-by-4", lambda: lm.nearpoly(X, Y, Q, np.ones((3, 4))),
     "Illegal id_par.", "nearpoly:illegalIdPar"),
    ("no family left", lambda: lm.nearpoly(X, Y, Q, [0, 0, 0]),
     "Identification is empty.", "nearpoly:identificationEmpty"),
    ("N too small", lambda: lm.nearpoly(X[:1], Y[:1], Q, [1, 1, 1]),
     "Identification is empty.", "nearpoly:identificationEmpty"),
    ("comb_par empty", lambda: lm.nearpoly(X, Y, Q, ID, []),
     "Combination parameter no good.", "nearpoly:illegalCombPar"),
    ("comb_par of 2", lambda: lm.nearpoly(X, Y, Q, ID, [1, 2]),
     "Combination parameter no good.", "nearpoly:illegalCombPar"),
    ("combination count 0", lambda: lm.nearpoly(X, Y, Q, ID, 0),
     "Combination is empty!.", "nearpoly:combinationEmpty"),
    ("per-family counts 0", lambda: lm.nearpoly(X, Y, Q, ID, [0, 0, 0]),
     "Combination is empty!.", "nearpoly:combinationEmpty"),
    ("too many columns for quadratic fits",
     lambda: lm.nearpoly(np.zeros((2, 65535)), [0.0, 1.0], np.zeros((0, 65535)),
                         [[2, 2], [2, 2], [2, 2]]),
     "data_x has too many columns for quadratic fits.", "nearpoly:tooManyColumns"),
    ("weights too short", lambda: lm.nearpoly(np.c_[X, X], Y, [[1.0, 2.0]], ID, 1, None, [1.0]),
     "weights must hold at least n = 2 values.", "nearpoly:weightsTooShort"),
    ("negative weight", lambda: lm.nearpoly(X, Y, Q, ID, 1, None, [-1.0]),
     "weights must be finite and not negative.", "nearpoly:badWeights"),
    ("NaN weight", lambda: lm.nearpoly(X, Y, Q, ID, weights=[np.nan]),
     "weights must be finite and not negative.", "nearpoly:badWeights"),
    ("infinite weight", lambda: lm.nearpoly(X, Y, Q, ID, weights=[np.inf]),
     "weights must be finite and not negative.", "nearpoly:badWeights"),
    ("NaN in data_x", lambda: lm.nearpoly(np.r_[X[:11], np.nan], Y, Q, ID),
     "data_x must not contain NaN or infinite values.", "nearpoly:dataXNotFinite"),
    ("infinity in data_y", lambda: lm.nearpoly(X, np.r_[Y[:11], -np.inf], Q, ID),
     "data_y must not contain NaN or infinite values.", "nearpoly:dataYNotFinite"),
    # netsim
    # The shapes of the network functions' arrays, checked against each other
    # before the core sees them.
    ("x without n columns", lambda: lm.netsim([[0.5, 1.0]], C, A, T),
     "x must have shape (N, n) = (N, 1); got (1, 2).", "netsim:xShape"),
    ("no points of another width", lambda: lm.netsim(np.zeros((0, 7)), C, A, T),
     "x must have shape (N, n) = (N, 1); got (0, 7).", "netsim:xShape"),
    ("x shorter than n", lambda: lm.dmat_inputs([], C, A, T),
     "x must have shape (n,) = (1,); got (0,).", "dmat_inputs:xShape"),
    ("x longer than n", lambda: lm.dmat_params([0.5, 1.0], C, A, T),
     "x must have shape (n,) = (1,); got (2,).", "dmat_params:xShape"),
    ("a batch to a one-point call", lambda: lm.dmat_inputs(np.zeros((3, 1)), C, A, T),
     "x must have shape (n,) = (1,); got (3, 1). For N points, pass batch=True.",
     "dmat_inputs:xShape"),
    ("one point as a batch", lambda: lm.dmat_params([0.5], C, A, T, batch=True),
     "x must have shape (N, n) = (N, 1); got (1,).", "dmat_params:xShape"),
    ("centres not 2-D", lambda: lm.netsim([[0.5]], np.zeros((0, 2, 1)), A, T),
     "centres must have shape (c, n); got (0, 2, 1).", "netsim:centresShape"),
    ("too few centres", lambda: lm.netsim([[0.5]], C[:1], A, T),
     "norm_matrices must have shape (c, n, n) = (1, 1, 1); got (2, 1, 1).",
     "netsim:normMatricesShape"),
    ("norm_matrices too small", lambda: lm.dmat_inputs([0.5], C, [[[1.0]]], T),
     "norm_matrices must have shape (c, n, n) = (2, 1, 1); got (1, 1, 1).",
     "dmat_inputs:normMatricesShape"),
    ("norm_matrices as (n, n, c)",
     lambda: lm.netsim(np.zeros((1, 3)), np.zeros((4, 3)), np.zeros((3, 3, 4)),
                       np.zeros((4, 1, 4))),
     "norm_matrices must have shape (c, n, n) = (4, 3, 3); got (3, 3, 4).",
     "netsim:normMatricesShape"),
    ("consequents too small", lambda: lm.dmat_params([0.5], C, A, [[[1.0, 0.0]]]),
     "consequents must have shape (c, p, n + 1) = (2, p, 2); got (1, 1, 2).",
     "dmat_params:consequentsShape"),
    ("consequents as (p, n + 1, c)", lambda: lm.netsim([[0.5]], C, A, np.zeros((1, 2, 2))),
     "consequents must have shape (c, p, n + 1) = (2, p, 2); got (1, 2, 2).",
     "netsim:consequentsShape"),
    ("norm_matrices left out", lambda: lm.netsim([[0.5]], C),
     "netsim needs centres, norm_matrices and consequents, or a Network in place of centres.",
     "netsim:missingArrays"),
    ("a Network and arrays", lambda: lm.netsim([[0.5]], lm.Network(C, A, T), A),
     "netsim takes a Network alone, without norm_matrices, consequents or options.",
     "netsim:networkAndArrays"),
    ("a Network and an option", lambda: lm.dmat_inputs([0.5], lm.Network(C, A, T),
                                                       validity="fuzzy"),
     "dmat_inputs takes a Network alone, without norm_matrices, consequents or options.",
     "dmat_inputs:networkAndArrays"),
    ("validity unknown", lambda: lm.netsim([[0.5]], C, A, T, validity="gauss"),
     "validity must be 'gaussian', 'fuzzy' or 'distance' (or the plug-ins' code 1, 2 or 3); "
     "got 'gauss'.", "netsim:badValidity"),
    ("threads 0", lambda: lm.netsim([[0.5]], C, A, T, threads=0),
     "threads must be None, -1 or a positive integer; got 0.", "netsim:badThreads"),
    ("threads -2", lambda: lm.gridval([[0.5]], [1.0, 2.0], [0.0, 1.0], threads=-2),
     "threads must be None, -1 or a positive integer; got -2.", "gridval:badThreads"),
    ("threads 1.5", lambda: lm.nearpoly(X, Y, Q, ID, threads=1.5),
     "threads must be None, -1 or a positive integer; got float.", "nearpoly:badThreads"),
    ("normalize NaN", lambda: lm.netsim([[0.5]], C, A, T, np.nan),
     "normalize must be a finite number within the 32-bit integer range.",
     "netsim:normalizeOutOfRange"),
    ("normalize 2^31", lambda: lm.dmat_inputs([0.5], C, A, T, 2.0**31),
     "normalize must be a finite number within the 32-bit integer range.",
     "dmat_inputs:normalizeOutOfRange"),
    ("validity_type infinite", lambda: lm.dmat_params([0.5], C, A, T, 1, -np.inf),
     "validity_type must be a finite number within the 32-bit integer range.",
     "dmat_params:validityTypeOutOfRange"),
    # gridval
    ("fewer than 3 inputs", lambda: lm.gridval([[1.0]], [1.0]),
     "netsim requires three input arguments.", "gridval:notEnoughArguments"),
    ("more than 30 dimensions", lambda: lm.gridval(np.zeros((1, 31)), 1.0, *[[0.0]] * 31),
     "gridval handles at most 30 dimensions (one breakpoint input each).",
     "gridval:tooManyDimensions"),
    ("queries rows other than d", lambda: lm.gridval([[1.0, 2.0]], [1.0, 2.0], [0.0, 1.0]),
     "queries must have 1 rows, one per breakpoint input.", "gridval:queriesRows"),
    ("empty breakpoints", lambda: lm.gridval([[1.0]], [1.0, 2.0], []),
     "breakpoints of dimension 1 must not be empty.", "gridval:breakpointsEmpty"),
    ("0-by-M breakpoints", lambda: lm.gridval([[1.0]], [1.0, 2.0], np.zeros((0, 2))),
     "breakpoints of dimension 1 must be a row vector (1-by-M); this one is 0-by-2.",
     "gridval:breakpointsNotRow"),
    ("column breakpoints", lambda: lm.gridval([[1.0]], [1.0, 2.0], [[0.0], [1.0]]),
     "breakpoints of dimension 1 must be a row vector (1-by-M); this one is 2-by-1.",
     "gridval:breakpointsNotRow"),
    ("decreasing breakpoints", lambda: lm.gridval([[1.0]], [1.0, 2.0], [1.0, 0.0]),
     "breakpoints of dimension 1 must not decrease.", "gridval:breakpointsDecrease"),
    ("NaN breakpoint", lambda: lm.gridval([[1.0, 1.0]], np.ones((2, 2)), [0.0, 1.0],
                                          [0.0, np.nan]),
     "breakpoints of dimension 2 must not be NaN.", "gridval:breakpointsNaN"),
    ("table of other size", lambda: lm.gridval([[1.0]], [1.0, 2.0, 3.0], [0.0, 1.0]),
     "table has 3 values but the breakpoint counts need 2.", "gridval:tableSize"),
    ("breakpoint input forgotten", lambda: lm.gridval([[1.0]], np.ones((2, 3)), [0.0, 1.0]),
     "table has 6 values but the breakpoint counts need 2.", "gridval:tableSize"),
]


@pytest.mark.parametrize("row,call,message,identifier", REFUSALS,
                         ids=[f"{r[3]}-{r[0]}" for r in REFUSALS])
def test_refusal(row, call, message, identifier):
    with pytest.raises(lm.Error) as info:
        call()
    assert str(info.value) == message
    assert info.value.identifier == identifier
    assert isinstance(info.value, ValueError)


def test_a_query_with_nan_or_inf_gives_nan_and_the_others_as_usual():
    y, c = lm.nearpoly(X, Y, [2.0, np.nan, 7.2, np.inf], ID, return_coefs=True)
    alone = lm.nearpoly(X, Y, [2.0, 7.2], ID)
    assert np.isnan(y[[1, 3]]).all() and np.isnan(c[[1, 3]]).all()
    assert np.array_equal(y[[0, 2]], alone)


def test_nan_entries_of_id_par_and_comb_par_count_as_zero():
    assert np.array_equal(lm.nearpoly(X, Y, Q, [1, np.nan, 1]), lm.nearpoly(X, Y, Q, [1, 0, 1]))
    with pytest.raises(lm.Error, match="Combination is empty!."):
        lm.nearpoly(X, Y, Q, ID, np.nan)


def test_entries_beyond_32_bits_are_clamped():
    # A huge k_max becomes N, a huge combination count all candidates.
    ranges = [[2, 1e12], [2, 1e12], [0, 0]]
    cut = [[2, 12], [2, 12], [0, 0]]
    assert np.array_equal(lm.nearpoly(X, Y, Q, ranges), lm.nearpoly(X, Y, Q, cut))
    all_fits = lm.nearpoly(X, Y, Q, ID, 1e15)
    assert np.array_equal(all_fits, lm.nearpoly(X, Y, Q, ID, 2**31 - 1))


def test_empty_cov_init_or_weights_is_the_default():
    plain = lm.nearpoly(X, Y, Q, ID)
    assert np.array_equal(lm.nearpoly(X, Y, Q, ID, 1, [], []), plain)
    assert np.array_equal(lm.nearpoly(X, Y, Q, ID, 1, 1e6, [1.0]), plain)


def test_cov_init_zero_is_used_as_given():
    # The linear fits predict 0 from a zero prior covariance.
    y = lm.nearpoly(X, Y, Q, [0, 1, 0], 1, 0.0)
    assert np.array_equal(y, np.zeros(2))


def test_a_nan_leave_one_out_error_never_enters_a_list():
    y = lm.nearpoly(X, Y, [2.0], [[0, 0], [2, 2], [0, 0]], 1, -1.0)
    assert y.shape == (1,)  # NaN or a value, but an answer


def test_empty_option_is_the_default():
    plain = lm.netsim([[0.5]], C, A, T)
    assert np.array_equal(lm.netsim([[0.5]], C, A, T, None, [], None), plain)
    assert np.array_equal(lm.netsim([[0.5]], C, A, T, [], None, []), plain)
    assert plain[0, 0] == 2.7500000000000004


def test_other_validity_types_use_the_raw_distance():
    dx, y = lm.dmat_inputs([0.5], C, A, T, 1, 3)
    assert np.array_equal(dx, np.zeros((1, 1)))
    assert np.array_equal(lm.dmat_inputs([0.5], C, A, T, 1, "distance")[0], dx)
    dp, _ = lm.dmat_params([0.5], C, A, T, 1, 7)
    assert np.array_equal(dp[:, :4], np.zeros((1, 4)))  # the centre and norm columns


def test_a_selection_without_rows():
    for selection in (0, 8):
        dp, y = lm.dmat_params([0.5], C, A, T, 1, 1, 2, selection)
        assert dp.shape == (1, 0)
        assert np.array_equal(y, np.zeros(1))


def test_a_nan_query_coordinate_of_gridval():
    v = lm.gridval([[0.5], [np.nan], [1.5]], [10.0, 20.0, 30.0], [0.0, 1.0, 2.0])
    assert np.isnan(v[1]) and v[0] == 15.0 and v[2] == 25.0


def test_the_refusals_of_the_python_front_end():
    with pytest.raises(lm.Error) as info:
        lm.nearpoly(X + 0j, Y, Q, ID)
    assert str(info.value) == "data_x must be real; got a complex array."
    assert info.value.identifier == "nearpoly:complexInput"
    with pytest.raises(lm.Error) as info:
        lm.netsim([[0.5]], C, A, T, 1, 1, 2 + 1j)
    assert info.value.identifier == "netsim:complexInput"
    for bad, identifier in [(15.0, "selectionNotInteger"), ("15", "selectionUnknownGroup"),
                            ({"centres", "offset"}, "selectionUnknownGroup"),
                            ([15], "selectionNotInteger"), (256, "selectionOutOfRange"),
                            (-1, "selectionOutOfRange")]:
        with pytest.raises(lm.Error) as info:
            lm.dmat_params(*NET, 1, 1, 2, bad)
        assert info.value.identifier == "dmat_params:" + identifier
