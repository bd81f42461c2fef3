// Fuzz target: gridval called with arbitrary inputs through the standalone host.
#include "host/standalone/gateways.h"
#include "fuzz_call.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::run(gridval_gateway, 12, data, size);
}
