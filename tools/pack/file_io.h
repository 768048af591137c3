#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::pack {

// Whole-file reads and writes; failures throw PackError naming what and where.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file, const std::string& what);
void WriteFileBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

}  // namespace orvane::pack
