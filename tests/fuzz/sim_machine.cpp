// The simulated machine's description, as orvane-sim reads it from --machine.
#include <cstdlib>
#include <string>

#include "platform/sim/sim_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    orvane::platform::sim::SimMachine m;
    std::string error;
    bool ok = orvane::platform::sim::LoadMachine(text, m, error);
    if (!ok && error.empty()) std::abort();  // a refusal always says why
    return 0;
}
