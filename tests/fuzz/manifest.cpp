// The packaging tool's manifest, from the file as a vendor writes it, through to the block
// it packs: the input is the manifest text, beside a few files it may name ("fw.bin",
// "fw2.bin", "tool.exe", "empty.bin").
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "pack/build_report.h"
#include "pack/manifest.h"
#include "pack/pack_error.h"
#include "pack/package_writer.h"
#include "package/package_block.h"

using namespace orvane;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& p, const std::vector<uint8_t>& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

struct Folder {
    Folder() {
        dir = fs::temp_directory_path() / ("orvane-fuzz-manifest-" + std::to_string(getpid()));
        fs::create_directories(dir);
        Write(dir / "fw.bin", std::vector<uint8_t>(1000, 0x5A));
        Write(dir / "fw2.bin", std::vector<uint8_t>(513, 0xA5));
        Write(dir / "tool.exe", std::vector<uint8_t>{'M', 'Z', 0, 1, 2, 3});
        Write(dir / "empty.bin", {});
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Folder folder;
    static std::vector<uint8_t> block(package::PackageBlockBytes(),
                                      package::PackageBlockBytes() + package::PackageBlockSize());
    const fs::path file = folder.dir / "manifest.json";
    Write(file, std::vector<uint8_t>(data, data + size));
    pack::Manifest m;
    try {
        m = pack::LoadManifest(file);
    } catch (const pack::PackError& e) {
        // Every refusal names the manifest file, or the field it refuses.
        if (std::string(e.what()).empty()) std::abort();
        return 0;
    }
    try {
        pack::PackPlan plan = pack::WritePackage(block.data(), m);
        pack::CheckWrittenPackage(block.data(), plan);
        // What the packer then says about it: the slot lines (digests) and the warnings.
        const package::ParseResult written = package::ParsePackage(block.data(), block.size());
        if (pack::SlotSummaryLines(m, written.info).size() != plan.slots.size()) std::abort();
        (void)pack::PackageWarnings(written.info);
    } catch (const pack::PackError&) {
    }
    // The next input starts from the build's own block again.
    std::copy(package::PackageBlockBytes(), package::PackageBlockBytes() + package::PackageBlockSize(), block.begin());
    return 0;
}
