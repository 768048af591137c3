#pragma once
#include <cstddef>
#include <cstdint>

namespace orvane::package {

enum class CipherDirection { Encipher, Decipher };

// Fastest: the processor's AES instructions where it has them, else the tables. Tables: always
// the tables (so that they are tested and measured on every machine).
enum class AesEngine { Fastest, Tables };

// AES-128 in ECB mode: the processor's AES instructions, or tables computed at run time from the
// field arithmetic. One context serves one Update run.
class AesCipher {
public:
    // Builds the S-boxes, round tables and round constants, and picks the engine.
    explicit AesCipher(AesEngine engine = AesEngine::Fastest);
    // Expands the key and derives the decryption schedule (equivalent inverse cipher).
    void SetKey(const uint8_t key[16]);
    // Each whole 16-byte block of [buffer, buffer+length) in place, independently;
    // a trailing partial block is left as it is. SetKey must have been called.
    void Run(uint8_t* buffer, size_t length, CipherDirection dir) const;
    // Whether Run uses the processor's AES instructions.
    [[nodiscard]] bool UsesAesInstructions() const { return instructions_; }

private:
    // Aligned so that each table starts a cache line: a lookup never straddles two.
    alignas(64) uint32_t fwd_[4][256];
    alignas(64) uint32_t inv_[4][256];
    alignas(64) uint8_t sbox_[256];
    alignas(64) uint8_t inv_sbox_[256];
    uint32_t rcon_[10];
    uint32_t enc_keys_[44];
    uint32_t dec_keys_[44];
    // The same two schedules as bytes, in the order the AES instructions take them.
    alignas(16) uint8_t enc_bytes_[176];
    alignas(16) uint8_t dec_bytes_[176];
    bool instructions_;
};

// The package key, assembled at run time (the packer enciphers with the same one).
void AssemblePackageKey(uint8_t key[16]);

// Deciphers an image loaded into the image buffer (kImageBufferSize bytes): length is the
// rounded image length, and the block just after it is deciphered too. A length above
// kMaxCipheredImage would run past the buffer: nothing is touched and false comes back.
[[nodiscard]] bool DecipherImage(AesCipher& context, uint8_t* buffer, size_t length);

}  // namespace orvane::package
