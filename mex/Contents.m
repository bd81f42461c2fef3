% localmodels  Plug-ins for modelling nonlinear systems from data.
%
% Prediction from stored examples
%   nearpoly    - Local polynomial prediction from stored examples.
%
% Local-model networks
%   netsim      - Output of a local-model network.
%   dmat_inputs - Derivatives of a local-model network with respect to its inputs.
%   dmat_params - Derivatives of a local-model network with respect to its parameters.
%
% Lookup tables
%   gridval     - Multilinear interpolation in an n-dimensional lookup table.
%
% Dynamic models
%   narx_simulate - Free-run simulation of a NARX model (network, nearpoly or table).
%
% nearpoly takes one point per row; netsim and gridval one per column;
% dmat_inputs and dmat_params a single point. Each function's help has the
% table of the inputs' and outputs' orientation.
%
% Building from the source tree: octave/make_plugins.m.
% Example: demo/identify_system.m.
% License: BSD-3-Clause, in the file LICENSE.
