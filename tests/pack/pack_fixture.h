#pragma once
// Fake programs to pack: junk, then the build's own package block, then more junk.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

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

// The bytes of a file at an offset into its package block.
inline std::string At(const Bytes& file, size_t block_offset, size_t n) {
    return std::string(reinterpret_cast<const char*>(file.data()) + kJunkBefore + block_offset, n);
}

// A scratch folder per test, holding "base" (a fake program) and whatever the test adds.
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

    fs::path dir_;
    Bytes base_;
};

}  // namespace orvane::pack::test
