#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::pack {

// Finds the package block in a program file by the build's marker texts and checks
// that the three areas lie where the layout puts them. Returns the block's offset
// in the file; throws PackError naming the marker that is missing, repeated or astray.
size_t LocateBlock(const std::vector<uint8_t>& file);

}  // namespace orvane::pack
