function test_help_examples(folder)
% TEST_HELP_EXAMPLES  Runs the examples of every plug-in's help and checks
%   what they claim. TEST_HELP_EXAMPLES() reads each help file beside the
%   plug-in that WHICH finds; TEST_HELP_EXAMPLES(FOLDER) reads the help
%   files in FOLDER (the plug-ins must still be on the path).
%
%   The help files follow one convention for examples, which this test
%   relies on:
%     - an example starts at a line '%   Example:' (three spaces; a caption
%       may follow the colon) and runs over the lines after it indented by
%       at least five spaces ('%     code'); it ends at the first line
%       indented less, such as a bare '%';
%     - each example runs on its own, in a fresh workspace, line by line;
%       a line ending in '...' continues on the next;
%     - a comment, at the end of a line of code or on a line of its own,
%       is a claim when it reads
%         % NAME = EXPR                 NAME (a variable, ans, or any
%                                       expression) equals EXPR exactly
%         % NAME = EXPR to within TOL   same size, every element within TOL
%         % error: MESSAGE              the line's code ends with an error
%                                       whose message ends with MESSAGE
%       and is checked once the code before it has run; any other comment
%       (one without ' = ') is prose. A line without a semicolon shows its
%       result, and 'ans = ...' then names the value it shows.
%   It also checks that Contents.m, beside the help files in mex/, gives
%   each plug-in the first line of its help.
names = {'nearpoly', 'netsim', 'dmat_inputs', 'dmat_params', 'gridval', 'narx_simulate', ...
         'lmn_train', 'narx_regressors', 'lm_fit', 'lm_simulate', 'lm_predict', 'lm_compare', ...
         'lm_linearize', 'lm_table', 'lm_tune', 'lm_save', 'lm_load'};
failures = {};
root = fileparts(fileparts(fileparts(mfilename('fullpath'))));
contents = strrep(fileread(fullfile(root, 'mex', 'Contents.m')), sprintf('\r'), '');
for i = 1:numel(names)
  if nargin < 1
    found = which(names{i});
    if isempty(found)
      error('%s is not on the path: add the folder of the built plug-ins', names{i});
    end
    where = fileparts(found);
  else
    where = folder;
  end
  file = fullfile(where, [names{i} '.m']);
  first = regexp(help_text(file), ['^% ' upper(names{i}) '  ([^\n\r]*)'], 'tokens', 'once');
  listed = regexp(contents, ['\n%\s+' names{i} '\s+- ([^\n]*)'], 'tokens', 'once');
  if isempty(first) || isempty(listed) || ~strcmp(first{1}, listed{1})
    failures{end + 1} = sprintf('%s: its first line is not the one Contents.m gives it', file);
  end
  examples = read_examples(file);
  if isempty(examples)
    failures{end + 1} = sprintf('%s: no example found', file);
    continue;
  end
  claims = 0;
  for e = 1:numel(examples)
    [found, counted] = run_example(examples{e});
    claims = claims + counted;
    for f = 1:numel(found)
      failures{end + 1} = sprintf('%s: %s', file, found{f});
    end
  end
  if claims == 0
    failures{end + 1} = sprintf('%s: the examples claim nothing', file);
  end
  fprintf('%-12s examples %d, claims checked %d\n', [names{i} ':'], numel(examples), claims);
end
if ~isempty(failures)
  error('help examples:\n  %s', strjoin(failures, sprintf('\n  ')));
end
disp('help examples: every example runs and every claim holds');
end

function examples = read_examples(file)
% The examples of the help text (the leading comment block) of FILE: a cell
% of steps, each a struct with the line number, the code and the comment.
lines = strsplit(help_text(file), sprintf('\n'));
examples = {};
current = [];
inside = false;
pending = '';
for k = 1:numel(lines)
  line = lines{k};
  if isempty(line) || line(1) ~= '%'
    break;   % the end of the help text
  end
  if ~isempty(regexp(line, '^%   Examples?:', 'once'))
    if inside && ~isempty(current)
      examples{end + 1} = current;
    end
    current = struct('line', {}, 'code', {}, 'comment', {});
    inside = true;
    continue;
  end
  if inside && isempty(regexp(line, '^%     ', 'once'))
    if ~isempty(current)
      examples{end + 1} = current;
    end
    current = [];
    inside = false;
  end
  if ~inside
    continue;
  end
  body = strtrim(line(2:end));
  if isempty(body)
    continue;
  elseif body(1) == '%'
    code = '';
    comment = strtrim(body(2:end));
  else
    [code, comment] = split_comment(body);
  end
  if ~isempty(pending)
    code = [pending ' ' code];
    pending = '';
  end
  if numel(code) >= 3 && strcmp(code(end - 2:end), '...')
    pending = code(1:end - 3);
    continue;
  end
  current(end + 1) = struct('line', k, 'code', code, 'comment', comment);
end
if inside && ~isempty(current)
  examples{end + 1} = current;
end
end

function text = help_text(file)
% The text of FILE from its help block on: a function file's first line,
% its declaration, is left out (the plug-ins' help files have none).
text = strrep(fileread(file), sprintf('\r'), '');
if strncmp(text, 'function', 8)
  text = regexprep(text, '^[^\n]*\n', '', 'once');
end
end

function [code, comment] = split_comment(body)
% Splits a line of code at its first '%' outside a quoted string. A quote
% right after a name, a closing bracket, a dot or another quote is the
% transpose operator, not the start of a string.
code = strtrim(body);
comment = '';
quote = '';
for k = 1:numel(body)
  ch = body(k);
  if ~isempty(quote)
    if ch == quote
      quote = '';
    end
  elseif ch == '"'
    quote = ch;
  elseif ch == ''''
    if k == 1 || isempty(regexp(body(k - 1), '[A-Za-z0-9_)\]}.'']', 'once'))
      quote = ch;
    end
  elseif ch == '%'
    code = strtrim(body(1:k - 1));
    comment = strtrim(body(k + 1:end));
    return;
  end
end
end

function [failures__, claims__] = run_example(steps__)
% Runs one example in this function's workspace, whose own variables all end
% in two underscores, and checks its claims. Returns the failed claims and
% the number of claims.
failures__ = {};
claims__ = 0;
for step__ = 1:numel(steps__)
  s__ = steps__(step__);
  error__ = regexp(s__.comment, '^error:\s*(.*)$', 'tokens', 'once');
  value__ = regexp(s__.comment, '^(.+?) = (.+?)(?: to within (\S+))?$', 'tokens', 'once');
  where__ = sprintf('line %d', s__.line);
  if ~isempty(error__)
    claims__ = claims__ + 1;
    message__ = '';
    try
      shown__ = evalc(s__.code);
    catch e__
      message__ = e__.message;
    end
    expected__ = error__{1};
    if numel(message__) < numel(expected__) || ...
        ~strcmp(message__(end - numel(expected__) + 1:end), expected__)
      failures__{end + 1} = sprintf('%s: "%s" ended with "%s", not the error "%s"', ...
                                    where__, s__.code, message__, expected__);
    end
    continue;
  end
  if ~isempty(s__.code)
    try
      shown__ = evalc(s__.code);
    catch e__
      failures__{end + 1} = sprintf('%s: "%s" failed: %s', where__, s__.code, e__.message);
      return;   % the rest of the example depends on this line
    end
  end
  if isempty(value__)
    continue;
  end
  claims__ = claims__ + 1;
  try
    got__ = eval(value__{1});
    want__ = eval(value__{2});
    if numel(value__) < 3 || isempty(value__{3})
      ok__ = isequal(got__, want__);
    else
      ok__ = isequal(size(got__), size(want__)) && ...
             all(abs(got__(:) - want__(:)) <= str2double(value__{3}));
    end
  catch e__
    failures__{end + 1} = sprintf('%s: the claim "%s" could not be checked: %s', ...
                                  where__, s__.comment, e__.message);
    continue;
  end
  if ~ok__
    failures__{end + 1} = sprintf('%s: the claim "%s" does not hold: %s is %s', where__, ...
                                  s__.comment, value__{1}, shown(got__));
  end
end
end

function text = shown(value)
% VALUE as text for a failure message.
if (isnumeric(value) || islogical(value)) && ndims(value) == 2
  text = mat2str(value, 17);
else
  text = sprintf('a %s of size %s', class(value), mat2str(size(value)));
end
end
