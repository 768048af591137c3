#include "package/aes_cipher.h"

namespace orvane::package {

namespace {

// The key never lies whole in the program: byte i is kHeld[kOrder[i]] ^ kMask[i].
// volatile keeps the compiler from folding the pieces back into one 16-byte constant.
volatile const uint8_t kDecoy[16] = {0x49, 0x71, 0x86, 0x45, 0x30, 0x5E, 0xA0, 0xF2,
                                     0x73, 0xBC, 0x8B, 0x8E, 0x5C, 0x6F, 0x79, 0xD1};
volatile const uint8_t kMask[16] = {0x9E, 0x73, 0xAF, 0xAA, 0x44, 0xDB, 0xBF, 0xD7,
                                    0x57, 0xF8, 0xF3, 0xB0, 0xBE, 0x20, 0x15, 0xF9};
volatile const uint8_t kHeld[16] = {0x88, 0xF1, 0x34, 0x83, 0x2F, 0x93, 0xBF, 0xAD,
                                    0x07, 0xA4, 0xA1, 0xF3, 0x9F, 0x8B, 0x72, 0x7E};
volatile const uint8_t kOrder[16] = {11, 4, 14, 1, 8, 13, 2, 7, 0, 10, 5, 15, 3, 9, 6, 12};

}  // namespace

// Changing any of these bytes makes every image already packed undecipherable.
void AssemblePackageKey(uint8_t key[16]) {
    volatile uint8_t* out = key;
    for (int i = 0; i < 16; ++i) out[i] = kDecoy[i];
    for (int i = 0; i < 16; ++i) out[i] = uint8_t(kHeld[kOrder[i] & 15] ^ kMask[i]);
}

}  // namespace orvane::package
