#pragma once
#include <cstdint>
#include <vector>

#include "pack/manifest.h"
#include "package/package_layout.h"

namespace orvane::pack {

// An image that the program deciphers is handled at its length rounded up to 512, plus
// one spare 16-byte block, inside the 524,288-byte image buffer: this is the most that fits.
constexpr size_t kMaxEncipheredImage = package::kMaxCipheredImage / 512 * 512;

// Where the images and executables ended up, for checking the written block.
struct PackPlan {
    int fw_count = 0;
    struct Slot {
        int32_t start = 0, size = 0;
    };
    std::vector<Slot> slots;  // the slots in use
    int32_t aux_sizes[package::kAuxCount] = {};
};

// Writes the manifest into a package block (sizeof(PackageBlock) bytes) in place.
// Everything is checked before the first byte changes: a PackError leaves the block as it was.
PackPlan WritePackage(uint8_t* block, const Manifest& m);

// Reads a written block back with the program's own parser and compares it with the plan.
void CheckWrittenPackage(const uint8_t* block, const PackPlan& plan);

}  // namespace orvane::pack
