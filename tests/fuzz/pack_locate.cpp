// The packaging tool finding the package block in a program file ("orvane-pack show" and
// "build" on whatever file they are given).
#include <cstdlib>
#include <vector>

#include "pack/block_locator.h"
#include "pack/pack_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    try {
        size_t at = orvane::pack::LocateBlock(file);
        if (at > file.size()) std::abort();
    } catch (const orvane::pack::PackError&) {
    }
    return 0;
}
