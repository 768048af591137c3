#pragma once
#include <cstddef>
#include <cstdint>

namespace orvane::package {

// The package block that this executable carries, read at run time.
const uint8_t* PackageBlockBytes();
size_t PackageBlockSize();

}  // namespace orvane::package
