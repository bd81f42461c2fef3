% localmodels  Plug-ins for modelling nonlinear systems from data.
%
% Prediction from stored examples
%   nearpoly    - Local polynomial prediction from stored examples.
%
% Local-model networks
%   netsim      - Output of a local-model network.
%   dmat_inputs - Derivatives of a local-model network with respect to its inputs.
%   dmat_params - Derivatives of a local-model network with respect to its parameters.
%   lmn_train   - Train a local-model network on samples by tree construction.
%
% Lookup tables
%   gridval     - Multilinear interpolation in an n-dimensional lookup table.
%
% Dynamic models
%   narx_simulate - Free-run simulation of a NARX model (network, nearpoly or table).
%
% System identification (M-files over the plug-ins; signals a column per sample)
%   narx_regressors - Regressors and targets of NARX orders from input/output records.
%   lm_fit          - Fit a NARX model ('arx', 'network' or 'nearpoly') to input/output records.
%   lm_simulate     - Free-run simulation of a NARX model: each output from the model's earlier outputs.
%   lm_predict      - k-step-ahead predictions of a NARX model from measured records.
%   lm_compare      - RMSE, normalised RMSE, fit and R^2 of model outputs against measured ones.
%   lm_linearize    - The linear ARX and state-space model of a NARX model at an operating point.
%   lm_table        - A GRIDVAL lookup table of any NARX model, with its largest error.
%   lm_tune         - Choose a model's settings by its error on records it was not fitted to.
%   lm_save         - Write a NARX model to a plain .mat file that LM_LOAD reads back exactly.
%   lm_load         - Read a NARX model written by LM_SAVE.
%
% nearpoly takes one point per row; netsim and gridval one per column;
% dmat_inputs and dmat_params a single point. Each function's help has the
% table of the inputs' and outputs' orientation.
%
% Building from the source tree: octave/make_plugins.m.
% Example: demo/identify_system.m.
% License: BSD-3-Clause, in the file LICENSE.
