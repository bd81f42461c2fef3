function y = model_step(model, phi)
% MODEL_STEP  The one-step outputs (p-by-rows) of a model at the
%   regressors in the columns of PHI (n-by-rows).
switch model.kind
  case {'arx', 'network'}
    net = model.network;
    o = net.options;
    y = netsim(phi, net.centres, net.norm_matrices, net.consequents, o(1), o(2), o(3));
  case 'nearpoly'
    args = nearpoly_args(model.examples);
    y = nearpoly(args{1}, args{2}, phi', args{3:end})';
  otherwise
    t = model.table;
    p = size(model.output_range, 2);
    values = reshape(t.tables, [], p);
    y = zeros(p, size(phi, 2));
    for j = 1:p
      y(j, :) = gridval(phi, values(:, j), t.breakpoints{:});
    end
end
end
