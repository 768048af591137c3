// Whether the AES instruction path may run. Built like the rest of the program (not for the
// AES instructions), so it runs on any processor.
#include "package/aes_ni.h"

#if ORVANE_AES_NI
#include <cpuid.h>
#endif

namespace orvane::package::aes_ni {

bool Available() {
#if ORVANE_AES_NI
    static const bool available = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
        // Leaf 1: EDX bit 26 SSE2; ECX bit 9 SSSE3, bit 19 SSE4.1, bit 25 AES.
        constexpr unsigned kSse2 = 1u << 26, kSsse3 = 1u << 9, kSse41 = 1u << 19, kAes = 1u << 25;
        return (edx & kSse2) && (ecx & kSsse3) && (ecx & kSse41) && (ecx & kAes);
    }();
    return available;
#else
    return false;
#endif
}

}  // namespace orvane::package::aes_ni
