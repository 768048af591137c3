#pragma once
#include <cstddef>
#include <cstdint>

// AES-128 with the processor's AES instructions. Only aes_ni.cpp is built for those
// instructions; AesCipher calls into it only when Available() says the processor has them.
namespace orvane::package::aes_ni {

// True when this build carries the instruction path and the processor reports AES, SSE2,
// SSSE3 and SSE4.1.
[[nodiscard]] bool Available();

// Round keys as the instructions take them: eleven 16-byte blocks in the order they are applied.
// For deciphering they are those of the equivalent inverse cipher (InvMixColumns applied to the
// nine inner ones). blocks is any alignment; count is the number of whole 16-byte blocks.
void Encipher(const uint8_t* round_keys, uint8_t* blocks, size_t count);
void Decipher(const uint8_t* round_keys, uint8_t* blocks, size_t count);

}  // namespace orvane::package::aes_ni
