#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvane::pack {

using Bytes = std::vector<uint8_t>;

struct RecordSpec {
    std::string fws, fwe, model;
};

struct SlotSpec {
    std::string image_name;  // as written in the manifest, for messages
    Bytes image;
    std::string new_fw, fw_ext;
    std::optional<bool> encipher;  // unset: follows bWinFlash
    std::vector<RecordSpec> records;  // records 0..; the rest keep their placeholders
};

// What a manifest asks for. Anything unset keeps the base program's contents.
struct Manifest {
    std::optional<std::string> version, banner, target_model;
    std::optional<int> iVisualStyle, iLanguage, iFlashMode;
    std::map<int, char> digits;  // 1-based digit position -> character to store
    std::optional<std::vector<SlotSpec>> slots;
    std::map<int, std::optional<Bytes>> aux;  // aux slot -> executable; nullopt removes it
};

// Checks a manifest's structure, types and text widths and reads the files it names
// (relative to folder). Limits that depend on the base (image sizes) are the writer's.
Manifest ParseManifest(const nlohmann::json& j, const std::filesystem::path& folder);

// Reads and parses a manifest file.
Manifest LoadManifest(const std::filesystem::path& file);

}  // namespace orvane::pack
