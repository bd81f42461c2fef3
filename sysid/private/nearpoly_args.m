function args = nearpoly_args(e)
% NEARPOLY_ARGS  nearpoly's DATA_X, DATA_Y, ID_PAR and the options given
%   (COMB_PAR, COV_INIT, WEIGHTS up to the last one set; COMB_PAR has no
%   empty form, so an unset one before a set one is its default 1).
args = {e.data_x, e.data_y, e.id_par};
given = {e.comb_par, e.cov_init, e.weights};
last = 0;
for i = 1:3
  if ~isempty(given{i})
    last = i;
  end
end
for i = 1:last
  if i == 1 && isempty(given{1})
    args{end + 1} = 1;
  else
    args{end + 1} = given{i};
  end
end
end
