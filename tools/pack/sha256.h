#pragma once
// SHA-256 (FIPS 180-4) of our own: the packer is also built with MinGW, where no crypto
// library is at hand, and it only digests images for people to compare.
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::pack {

class Sha256 {
public:
    Sha256();
    void Update(const uint8_t* data, size_t length);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string FinalHex();

private:
    void Block(const uint8_t* p);

    uint32_t h_[8];
    uint8_t buffer_[64];
    size_t used_ = 0;
    uint64_t total_ = 0;  // bytes
};

std::string Sha256Hex(const uint8_t* data, size_t length);

}  // namespace orvane::pack
