function o = model_orders(model, caller)
% MODEL_ORDERS  The orders of a model from lm_fit or lm_table, checked.
if ~isstruct(model) || ~isscalar(model) || ~isfield(model, 'kind') || ~isfield(model, 'na') ...
    || ~isfield(model, 'output_range') || ~any(strcmp(model.kind, {'arx', 'network', 'nearpoly', 'table'}))
  error('localmodels:sysid:badModel', '%s: MODEL must be a model from lm_fit, lm_table or lm_load.', ...
        caller);
end
o = narx_orders(model.na, model.nb, model.nk, numel(model.na), numel(model.nb), caller);
end
