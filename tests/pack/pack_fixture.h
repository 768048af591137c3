#pragma once
// Fake programs to pack: junk, then the build's own package block, then more junk.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pack/pack_tool.h"
#include "package/package_block.h"

namespace orvane::pack::test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr size_t kJunkBefore = 3001;  // odd, so nothing lands aligned by chance
constexpr size_t kJunkAfter = 517;

inline Bytes Junk(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 37 + seed);
    return b;
}

inline Bytes FakeProgram() {
    Bytes file = Junk(kJunkBefore, 11);
    const uint8_t* block = package::PackageBlockBytes();
    file.insert(file.end(), block, block + package::PackageBlockSize());
    Bytes tail = Junk(kJunkAfter, 5);
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

inline void WriteBytes(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline void WriteText(const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }

inline Bytes ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Little-endian fields of hand-built files.
inline void Put16(Bytes& f, size_t at, uint16_t v) {
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
}
inline void Put32(Bytes& f, size_t at, uint32_t v) {
    Put16(f, at, uint16_t(v));
    Put16(f, at + 2, uint16_t(v >> 16));
}
inline uint32_t Get32(const Bytes& f, size_t at) {
    return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24;
}

// Offsets in the hand-built Windows programs below, as the published PE layout puts them.
constexpr size_t kChecksumAt = 0x98;  // 0x58 (optional header) + 64, both widths
constexpr size_t kSecurity32 = 0xd8;  // 0x58 + 96 + 4 * 8
constexpr size_t kSecurity64 = 0xe8;  // 0x58 + 112 + 4 * 8

// The 0x400 bytes of a Windows program's headers, laid out by hand: the DOS header pointing at
// 0x40, the PE headers with 16 data directories, one section whose data is raw_size bytes at
// raw_at; every other byte zero.
inline Bytes PeHeaders(bool pe32_plus, uint32_t raw_at, uint32_t raw_size) {
    Bytes f(0x400, 0);
    f[0] = 'M', f[1] = 'Z';
    Put32(f, 0x3c, 0x40);
    f[0x40] = 'P', f[0x41] = 'E';
    Put16(f, 0x44, pe32_plus ? 0x8664 : 0x14c);  // Machine
    Put16(f, 0x46, 1);                           // NumberOfSections
    Put16(f, 0x54, pe32_plus ? 0xf0 : 0xe0);     // SizeOfOptionalHeader
    Put16(f, 0x58, pe32_plus ? 0x20b : 0x10b);   // Magic
    Put32(f, pe32_plus ? 0xc4 : 0xb4, 16);       // NumberOfRvaAndSizes
    const size_t section = pe32_plus ? 0x148 : 0x138;
    Put32(f, section + 16, raw_size);  // SizeOfRawData
    Put32(f, section + 20, raw_at);    // PointerToRawData
    return f;
}

// Signs the program as a signer lays it out: zeros to the next multiple of 8, then a certificate
// table of n bytes of `fill`, named by the directory entry.
inline void AppendCertificates(Bytes& f, bool pe32_plus, size_t n, uint8_t fill) {
    f.resize((f.size() + 7) / 8 * 8, 0);
    Put32(f, pe32_plus ? kSecurity64 : kSecurity32, uint32_t(f.size()));
    Put32(f, (pe32_plus ? kSecurity64 : kSecurity32) + 4, uint32_t(n));
    f.resize(f.size() + n, fill);
}

// The bytes of a file at an offset into its package block.
inline std::string At(const Bytes& file, size_t block_offset, size_t n) {
    return std::string(reinterpret_cast<const char*>(file.data()) + kJunkBefore + block_offset, n);
}

// A scratch folder per test, holding "base" (a fake program) and whatever the test adds, and a
// way to run the command line there.
class PackDir : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        // Unique per run as well: two test runs may share the temporary folder.
        dir_ = fs::temp_directory_path() / ("orvane-pack-test-" + name + "-" + std::to_string(std::random_device{}()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        base_ = FakeProgram();
        WriteBytes(dir_ / "base", base_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Path(const std::string& name) const { return dir_ / name; }

    // Runs orvane-pack's command line; what it printed is left in out_ and err_.
    int Run(const std::vector<std::string>& args) {
        out_.str("");
        err_.str("");
        return RunPackTool(args, out_, err_);
    }
    // Packs m.json into the named file of the folder, writing "out".
    int Build(const std::string& base = "base") {
        return Run({"build", "--manifest", Path("m.json").string(), "--base", Path(base).string(), "--out",
                    Path("out").string()});
    }
    std::ostringstream out_, err_;

    fs::path dir_;
    Bytes base_;
};

}  // namespace orvane::pack::test
