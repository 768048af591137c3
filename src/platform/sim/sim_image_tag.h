#pragma once
// The tag a simulated drive reads its new identity from: anywhere in a firmware image, the 8
// bytes "ORVSIMFW", the 8-byte revision, the 8-byte DEF text (both blank padded) and the
// image's length in bytes (32-bit little-endian).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::platform::sim {

inline constexpr char kImageTagMagic[] = "ORVSIMFW";
inline constexpr size_t kImageTagSize = 28;

struct SimImageTag {
    size_t offset = 0;    // where the magic starts
    std::string revision; // without its padding
    std::string def;      // without its padding; may be empty
    uint32_t length = 0;  // the whole image's length
};

// The first well-formed tag in the bytes: a printable, non-empty revision, a printable DEF text
// and a length that holds the tag itself. Anything else is not a tag and the search goes on.
std::optional<SimImageTag> FindImageTag(const uint8_t* data, size_t size);

// Writes a tag at `offset` naming `revision` and `def` (at most 8 characters each) and the
// image's own size. False when the tag does not fit or the texts are too long.
bool StampImageTag(std::vector<uint8_t>& image, size_t offset, const std::string& revision, const std::string& def);

}  // namespace orvane::platform::sim
