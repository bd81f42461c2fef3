% A short run of the main demo, asserting what a user relies on: nearpoly
% beats the linear and nearest-neighbour baselines, refinement improves the
% network, the lookup table stays close to the network it was built from,
% the linearisation matches the plant's Jacobian, and the figure is written.
figure_file = [tempname() '.png'];
r = identify_system(struct('n_train', 600, 'lm_iterations', 8, 'figure', figure_file, ...
                           'quiet', true));
one = containers.Map(r.names, num2cell(r.one_step));
run = containers.Map(r.names, num2cell(r.free_run));
assert(one('nearpoly') < one('linear ARX'));
assert(one('nearpoly') < one('5-NN average'));
assert(one('network, refined') < one('network, unrefined'));
assert(run('network, refined') < run('network, unrefined'));
assert(all(diff(r.history) <= 0));
table_factor = 2;
assert(run('lookup table') < table_factor * run('network, refined'));
assert(r.jacobian_network, r.jacobian_plant, 0.1);
info = dir(figure_file);
assert(numel(info) == 1 && info.bytes > 10000);
delete(figure_file);
disp('demo: all assertions hold');
