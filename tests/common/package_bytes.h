#pragma once
// A writable copy of the build's package block, edited at the documented offsets.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_block.h"

namespace orvane::testing {

class PackageBytes {
public:
    PackageBytes()
        : bytes_(package::PackageBlockBytes(), package::PackageBlockBytes() + package::PackageBlockSize()) {}

    // Writes the text's bytes (no terminator) at offset.
    PackageBytes& Put(size_t offset, const std::string& text) {
        std::memcpy(bytes_.data() + offset, text.data(), text.size());
        return *this;
    }
    PackageBytes& Byte(size_t offset, uint8_t value) {
        bytes_[offset] = value;
        return *this;
    }
    // Option digit k (1-based) of the 28-character field at 9,323.
    PackageBytes& Digit(int k, char c) { return Byte(9323 + static_cast<size_t>(k) - 1, static_cast<uint8_t>(c)); }
    PackageBytes& FWCount(int8_t n) { return Byte(9322, static_cast<uint8_t>(n)); }
    // Ten-digit start or size of slot n (0-based).
    PackageBytes& Start(int n, const std::string& ten) { return Put(9352 + 22 * static_cast<size_t>(n) + 11, ten); }
    PackageBytes& Size(int n, const std::string& ten) { return Put(9682 + 22 * static_cast<size_t>(n) + 11, ten); }

    // Eligibility record r of group g: each text NUL-padded to its field (8, 8, 40).
    PackageBytes& Record(int g, int r, const std::string& fws, const std::string& fwe, const std::string& model) {
        const size_t at = 190 + (static_cast<size_t>(g) * 8 + static_cast<size_t>(r)) * 76;
        std::memset(bytes_.data() + at, 0, 56);
        Put(at, fws.substr(0, 8));
        Put(at + 8, fwe.substr(0, 8));
        return Put(at + 16, model.substr(0, 40));
    }
    // Group 0 accepts every drive: an empty first record.
    PackageBytes& AcceptAll() { return Record(0, 0, "", "", ""); }

    const uint8_t* data() const { return bytes_.data(); }
    uint8_t* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace orvane::testing
