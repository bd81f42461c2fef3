// The gateways under their plain names, for tests driving them through
// the standalone host.
#pragma once

#include "mex/gateways.h"

using localmodels::mex::dmat_inputs_gateway;
using localmodels::mex::dmat_params_gateway;
using localmodels::mex::gridval_gateway;
using localmodels::mex::lmn_train_gateway;
using localmodels::mex::narx_simulate_gateway;
using localmodels::mex::nearpoly_gateway;
using localmodels::mex::netsim_gateway;
