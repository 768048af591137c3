// The AES instruction path. CMakeLists.txt builds this file alone with -maes -msse4.1, and
// ORVANE_AES_NI is set only where it does. It includes no standard library header with code in
// it: an inline function emitted here would carry those instructions, and the linker could pick
// this copy for callers on processors without them.
#include "package/aes_ni.h"

#if ORVANE_AES_NI

#include <wmmintrin.h>

namespace orvane::package::aes_ni {

namespace {

constexpr int kRounds = 10;

// Blocks in flight: a round instruction takes several cycles but a new one can start every
// cycle, so independent blocks fill the wait. Eight fit x86-64's sixteen vector registers next
// to a round key; x86 has eight registers, and four leave room.
#if defined(__x86_64__)
constexpr size_t kLanes = 8;
#else
constexpr size_t kLanes = 4;
#endif

// 32-bit Windows aligns a new thread's stack, and the stack of a callback from the system, to
// 4 bytes only, while the compiler keeps its 16-byte vector spills aligned: the entry points
// realign their frame.
#if defined(__i386__)
#define ORVANE_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define ORVANE_REALIGN_STACK
#endif

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

struct Forward {
    static __m128i Round(__m128i s, __m128i k) { return _mm_aesenc_si128(s, k); }
    static __m128i Last(__m128i s, __m128i k) { return _mm_aesenclast_si128(s, k); }
};

struct Inverse {
    static __m128i Round(__m128i s, __m128i k) { return _mm_aesdec_si128(s, k); }
    static __m128i Last(__m128i s, __m128i k) { return _mm_aesdeclast_si128(s, k); }
};

// N blocks side by side, each round applied to all before the next round. The loops over the
// blocks are unrolled so that the blocks stay in registers.
template <class Dir, size_t N>
inline void Blocks(const __m128i* k, uint8_t* p) {
    __m128i s[N];
#pragma GCC unroll 8
    for (size_t j = 0; j < N; ++j) s[j] = _mm_xor_si128(Load(p + 16 * j), k[0]);
#pragma GCC unroll 10
    for (int r = 1; r < kRounds; ++r) {
        const __m128i key = k[r];
#pragma GCC unroll 8
        for (size_t j = 0; j < N; ++j) s[j] = Dir::Round(s[j], key);
    }
#pragma GCC unroll 8
    for (size_t j = 0; j < N; ++j) Store(p + 16 * j, Dir::Last(s[j], k[kRounds]));
}

template <class Dir>
inline void Run(const uint8_t* round_keys, uint8_t* p, size_t count) {
    __m128i k[kRounds + 1];
    for (int r = 0; r <= kRounds; ++r) k[r] = Load(round_keys + 16 * r);
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) Blocks<Dir, kLanes>(k, p + 16 * i);
    for (; i < count; ++i) Blocks<Dir, 1>(k, p + 16 * i);
}

}  // namespace

ORVANE_REALIGN_STACK void Encipher(const uint8_t* round_keys, uint8_t* blocks, size_t count) {
    Run<Forward>(round_keys, blocks, count);
}

ORVANE_REALIGN_STACK void Decipher(const uint8_t* round_keys, uint8_t* blocks, size_t count) {
    Run<Inverse>(round_keys, blocks, count);
}

}  // namespace orvane::package::aes_ni

#endif  // ORVANE_AES_NI
