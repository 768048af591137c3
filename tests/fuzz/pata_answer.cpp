// The drive's answer to the PATA handshake's READ BUFFER, any length, and the chunk arithmetic
// for sizes and chunk lengths taken from the same bytes.
#include <cstdlib>

#include "device/download_flows.h"
#include "fuzz/fuzz_input.h"

using namespace orvane::device;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (IsPataAnswer(data, size)) {
        static const char kText[] = "AEP NEWSupport";
        if (size < 53) std::abort();
        for (size_t i = 0; i < 14; ++i)
            if (data[4 * i] != static_cast<uint8_t>(kText[i])) std::abort();
    }

    orvane::fuzz::FuzzInput in(data, size);
    const uint32_t image = in.U32();
    const int max_sector = static_cast<int>(in.U32());
    const ChunkPlan p = PlanChunks(image, max_sector);
    const uint64_t bytes = uint64_t{p.sectors} * 512;
    if (bytes < image || bytes - image >= 512) std::abort();
    if (max_sector < 1) {
        if (p.full || p.remainder || p.total) std::abort();
        return 0;
    }
    const auto per_chunk = static_cast<uint64_t>(max_sector);
    if (uint64_t{p.full} * per_chunk + p.remainder != p.sectors || p.remainder >= per_chunk ||
        p.total != p.full + (p.remainder ? 1u : 0u))
        std::abort();
    return 0;
}
