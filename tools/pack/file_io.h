#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::pack {

// Whole-file reads and writes; failures throw PackError naming what and where.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file, const std::string& what);

// The same, but a file larger than max is refused by its size alone, before a byte is read
// (a 2 GB file given by mistake costs a stat, not a long read); the message says what fits.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file, const std::string& what, uintmax_t max,
                                   const std::string& refusal_prefix);
void WriteFileBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

}  // namespace orvane::pack
