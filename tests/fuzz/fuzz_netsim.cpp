// Fuzz target: netsim called with arbitrary inputs through the standalone host.
#include "host/standalone/gateways.h"
#include "fuzz_call.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::run(netsim_gateway, 9, data, size);
}
