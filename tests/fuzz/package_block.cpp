// The package block parser on a block whose header and auxiliary directory come from the
// input (the images and executables stay the build's own), then everything the program does
// with a package that parsed: describe it, load and decipher every slot, find every executable.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "package/aes_cipher.h"
#include "package/package_block.h"
#include "package/package_info.h"
#include "package/package_json.h"

using namespace orvane::package;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> block(PackageBlockBytes(), PackageBlockBytes() + PackageBlockSize());
    static auto buffer = std::make_unique<uint8_t[]>(kImageBufferSize);
    const uint8_t* base = PackageBlockBytes();
    constexpr size_t kHeader = sizeof(PackageHeader), kDir = sizeof(AuxDirectory);
    constexpr size_t kDirAt = offsetof(PackageBlock, aux);

    std::memcpy(block.data(), base, kHeader);
    std::memcpy(block.data() + kDirAt, base + kDirAt, kDir);
    std::memcpy(block.data(), data, std::min(size, kHeader));
    if (size > kHeader) std::memcpy(block.data() + kDirAt, data + kHeader, std::min(size - kHeader, kDir));

    ParseResult r = ParsePackage(block.data(), block.size());
    if (!r.ok) {
        if (r.error.empty()) std::abort();  // a refusal always names its field
        return 0;
    }
    (void)DescribePackage(r.info).dump();
    AesCipher cipher;
    uint8_t key[16];
    AssemblePackageKey(key);
    cipher.SetKey(key);
    for (int n = 0; n < r.info.opt.iFWCount; ++n) {
        int32_t length = LoadSlotImage(r.info, n, buffer.get());
        if (length < 0 || static_cast<size_t>(length) > kImageBufferSize) std::abort();
        if (!r.info.opt.bWinFlash) (void)DecipherImage(cipher, buffer.get(), static_cast<size_t>(length));
    }
    for (int k = 0; k < kAuxCount; ++k) {
        const uint8_t* p = AuxImage(r.info, k);
        // Every executable lies inside the block.
        if (p < block.data() || p + r.info.aux[k].size > block.data() + block.size()) std::abort();
    }
    return 0;
}
