// narx_simulate: the free run of a NARX model whose one-step model is a
// local-model network, a nearpoly example set or a lookup table per output.
#include <type_traits>

#include "core/checks/check_narx.h"
#include "mex/gateways.h"

namespace localmodels::mex {

namespace {

enum { out_y };

// A character KIND as the checks take it, one byte per character (the
// host's characters may be wider); a name too long to be one is left
// without data, which no name matches.
void narrow_kind(const mxArray* a, char* text, std::size_t room, checks::arg* d)
{
    if (!mxIsChar(a)) return;
    const std::size_t count = mxGetNumberOfElements(a);
    const mxChar* chars = static_cast<const mxChar*>(mxGetData(a));
    if (count > room || !chars) {
        d->data = nullptr;
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto code = static_cast<std::make_unsigned_t<mxChar>>(chars[i]);
        text[i] = code < 128 ? static_cast<char>(code) : '?';
    }
    d->data = text;
}

template <class Model>
void run(double* y, const checks::narx_call& a, const Model& m)
{
    const std::size_t bytes = narx::workspace_size(a.orders, a.run, m);
    void* memory = take_workspace(bytes);
    narx::simulate({y, a.u}, a.orders, a.run, m, {narx::start(a.orders), a.run.T}, {memory, bytes});
    mxFree(memory);
}

void run(double* y, const checks::narx_call& a, const narx::nearpoly_model& m)
{
    const std::size_t bytes = narx::workspace_size(a.orders, a.run, m);
    void* memory = take_workspace(bytes);
    const int L = narx::start(a.orders);
    const int threads = nearpoly::threads_for(m.problem, m.settings, L, a.run.T);
    narx::prepare(a.orders, a.run, m, threads, memory);
    narx::simulate({y, a.u}, a.orders, a.run, m, {L, a.run.T}, {memory, bytes});
    mxFree(memory);
}

}  // namespace

void narx_simulate_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    checks::arg in[checks::narx_inputs];
    const checks::call c = describe_call(nlhs, nrhs, prhs, in, checks::narx_inputs);
    char kind[16];
    if (nrhs > checks::in_kind)
        narrow_kind(prhs[checks::in_kind], kind, sizeof kind, &in[checks::in_kind]);
    const std::uint64_t room = checks::narx_lag_room(c);
    int* lags = static_cast<int*>(take_workspace(room * sizeof(int)));
    checks::narx_call a;
    raise_if_failed(checks::check_narx(c, lags, &a));
    a.run.level = simd::chosen();  // once per call

    plhs[out_y] =
        mxCreateDoubleMatrix(static_cast<mwSize>(a.orders.p), static_cast<mwSize>(a.run.T), mxREAL);
    double* y = mxGetPr(plhs[out_y]);
    narx::initial(y, a.y0, a.orders, a.run);
    switch (a.kind) {
        case checks::model_kind::network: run(y, a, a.network); break;
        case checks::model_kind::nearpoly: run(y, a, a.nearpoly); break;
        default: run(y, a, a.table); break;
    }
    mxFree(lags);
}

}  // namespace localmodels::mex
