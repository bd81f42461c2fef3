// Interpolates the worked example of gridval through the installed core.
#include <cstdio>
#include <vector>

#include "core/gridval/gridval.h"

int main()
{
    namespace gv = localmodels::gridval;
    const double table[] = {10, 20, 30, 40, 50, 60}, b1[] = {0, 1, 2}, b2[] = {0, 1};
    const double queries[] = {1.5, 0.25, -1, 5, 2, 0};
    const gv::problem p{queries, table, {b1, b2}, {3, 2}, 2, 3};
    std::vector<unsigned char> workspace(gv::workspace_size(p));
    double out[3];
    gv::interpolate(out, p, {0, 3, 1, workspace.data(), workspace.size()});
    std::printf("%g %g %g\n", out[0], out[1], out[2]);
    return out[0] == 32.5 && out[1] == 40 && out[2] == 30 ? 0 : 1;
}
