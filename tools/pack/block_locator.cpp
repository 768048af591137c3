#include "pack/block_locator.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "pack/pack_error.h"
#include "package/package_layout.h"

namespace orvane::pack {
namespace {

// These texts live only here: a copy anywhere else in a program would be a second hit.
// "#FLSH12" is no anchor, packing overwrites it.
constexpr std::string_view kOptionMarker = "PARA_OPT=";
constexpr std::string_view kBootMarker = "BOOT_CODE_HERE";
constexpr std::string_view kAuxMarker = "AES_BUF_HERE";

using Bytes = std::vector<uint8_t>;

size_t Find(const Bytes& file, size_t from, std::string_view marker) {
    std::boyer_moore_horspool_searcher searcher(marker.begin(), marker.end());
    auto it = std::search(file.begin() + static_cast<std::ptrdiff_t>(from), file.end(), searcher);
    return it == file.end() ? std::string_view::npos : static_cast<size_t>(it - file.begin());
}

size_t FindOnce(const Bytes& file, std::string_view marker) {
    size_t at = Find(file, 0, marker);
    if (at == std::string_view::npos)
        throw PackError("marker \"" + std::string(marker) + "\" not found: not an Orvane program");
    if (Find(file, at + 1, marker) != std::string_view::npos)
        throw PackError("marker \"" + std::string(marker) + "\" found more than once: cannot tell which is the package");
    return at;
}

}  // namespace

size_t LocateBlock(const Bytes& file) {
    using package::PackageBlock;
    using package::PackageHeader;
    const size_t option_at = FindOnce(file, kOptionMarker);
    constexpr size_t kOptionOffset = offsetof(PackageHeader, option_marker);
    if (option_at < kOptionOffset)
        throw PackError("marker \"" + std::string(kOptionMarker) + "\" lies too close to the start of the file");
    const size_t block = option_at - kOptionOffset;
    // Before looking for the later markers: a file cut inside the block has lost them too.
    if (file.size() - block < sizeof(PackageBlock))
        throw PackError("the package block is cut short by the end of the file: it needs " +
                        std::to_string(sizeof(PackageBlock)) + " bytes from offset " + std::to_string(block) +
                        ", the file has " + std::to_string(file.size() - block));
    const size_t aux_at = FindOnce(file, kAuxMarker);
    if (aux_at != block + offsetof(PackageBlock, aux))
        throw PackError("marker \"" + std::string(kAuxMarker) + "\" is not where the package block puts it");
    const uint8_t* boot = file.data() + block + offsetof(PackageHeader, boot_code);
    if (std::memcmp(boot, kBootMarker.data(), kBootMarker.size()) != 0)
        throw PackError("marker \"" + std::string(kBootMarker) + "\" is not where the package block puts it");
    return block;
}

}  // namespace orvane::pack
