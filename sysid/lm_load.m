function model = lm_load(file)
% LM_LOAD  Read a NARX model written by LM_SAVE.
%   MODEL = LM_LOAD(FILE) reads the model of a .mat file written by
%   LM_SAVE; a file without its format text 'localmodels.sysid.Model/1'
%   is refused.
%
%   Example:
%     model = lm_fit(0:9, filter([0 1], [1 -0.5], 0:9), 1, 1, 'nearpoly');
%     file = [tempname() '.mat'];
%     lm_save(file, model);
%     back = lm_load(file);
%     back.kind                         % ans = 'nearpoly'
%     isequal(back.examples, model.examples)   % ans = true
%     delete(file);
%
%   See also LM_SAVE.
if nargin < 1 || ~ischar(file)
  error('localmodels:sysid:badFile', 'lm_load: give the FILE name.');
end
s = load(file);
if ~isfield(s, 'format') || ~ischar(s.format) || ~strcmp(s.format, 'localmodels.sysid.Model/1') ...
    || ~isfield(s, 'model')
  error('localmodels:sysid:notAModel', 'lm_load: %s is not a model saved by lm_save.', file);
end
model = s.model;
model_orders(model, 'lm_load');
end
