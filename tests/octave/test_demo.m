% A short run of the main demo, asserting what a user relies on: nearpoly
% and the network beat the linear baseline, refinement improves the
% network, the lookup table stays close to the network it was built from,
% the linearisation is near the plant's Jacobian, and the figure is written.
figure_file = [tempname() '.png'];
r = identify_system(struct('n_train', 600, 'figure', figure_file, 'quiet', true));
one = containers.Map(r.names, num2cell(r.one_step));
run = containers.Map(r.names, num2cell(r.free_run));
assert(one('nearpoly') < one('linear ARX') && run('nearpoly') < run('linear ARX'));
assert(one('network, refined') < one('network'));
assert(run('network, refined') < run('network') && run('network') < run('linear ARX'));
assert(r.sse(2) < r.sse(1));
table_factor = 2;
assert(run('lookup table') < table_factor * run('network, refined'));
% The network's slopes are those of a blend of local planes: near the
% plant's, the input's (1 everywhere) closest.
assert(r.jacobian_network, r.jacobian_plant, 0.7);
assert(r.jacobian_network(:, 3), r.jacobian_plant(:, 3), 0.05);
info = dir(figure_file);
assert(numel(info) == 1 && info.bytes > 10000);
delete(figure_file);
disp('demo: all assertions hold');
