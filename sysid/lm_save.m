function lm_save(file, model)
% LM_SAVE  Write a NARX model to a plain .mat file that LM_LOAD reads back exactly.
%   LM_SAVE(FILE, MODEL) writes MODEL (from LM_FIT, LM_TABLE or LM_LOAD)
%   to FILE, a MAT file of version 7 holding two variables: format, the
%   text 'localmodels.sysid.Model/1', and model, the struct itself. Give
%   FILE its .mat extension (MATLAB adds one to a name without it). The
%   numbers are stored as they are: a reloaded model simulates bit for
%   bit the same.
%
%   Example:
%     u = sin(0.3 * (1:60)) + cos(0.71 * (1:60));
%     y = filter([0 0.5], [1 -0.8], u);
%     model = lm_fit(u, y, 1, 1, 'nearpoly');
%     file = [tempname() '.mat'];
%     lm_save(file, model);
%     isequal(lm_load(file), model)     % ans = true
%     delete(file);
%
%   See also LM_LOAD, LM_FIT.
if nargin < 2
  error('localmodels:sysid:notEnoughArguments', 'lm_save: give FILE and MODEL.');
end
if ~ischar(file)
  error('localmodels:sysid:badFile', 'lm_save: FILE must be a file name.');
end
model_orders(model, 'lm_save');
format = 'localmodels.sysid.Model/1';
save(file, 'format', 'model', '-v7');
end
