#pragma once
// The boot-time update: a native flasher written into the system directory with its settings,
// and registered in the session manager's BootExecute list to run at the next start of Windows.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_api.h"

namespace orvane::system {

// The flasher table, in the order the choice table indexes it.
enum FlasherIndex {
    kFlasher2008X86 = 0,
    kFlasher2008X64 = 1,
    kFlasherWin7X86 = 2,
    kFlasherWin7X64 = 3,
    kFlasher2003X86 = 4,
    kFlasher2003X64 = 5,
    kFlasherXpX86 = 6,
    kFlasherCount = 7,
    kFlasherNone = -1,  // the table holds no flasher of the Windows' width
};

// One flasher executable as the package carries it: where its bytes start and how many.
struct FlasherEntry {
    const uint8_t* image = nullptr;
    int32_t size = 0;
};
using FlasherTable = std::array<FlasherEntry, kFlasherCount>;

// Result codes. Below 2 is success.
constexpr uint32_t kBootSetupDone = 1;
constexpr uint32_t kBootFlasherFileFailed = 0xE1;   // the flasher file could not be created
constexpr uint32_t kBootRegistryWriteFailed = 0xE2; // BootExecute could not be written
constexpr uint32_t kBootKeyOpenFailed = 0xE3;       // the session-manager key could not be opened
constexpr uint32_t kBootSettingNoRoom = 0xE4;       // a setting's value would end past the flasher image
constexpr uint32_t kBootValueUnreadable = 0xE5;     // BootExecute exists but cannot be read as a multi-string
constexpr uint32_t kBootNoFlasher = 0xE6;           // the chosen flasher's entry has no bytes to take
constexpr uint32_t kBootNoFlasherForWidth = 0xE9;   // no flasher of the Windows' width (64-bit XP)
// The Update command's own steps around the set-up, reported the same way.
constexpr uint32_t kBootCopyProgramFailed = 0xE7;   // the copy program could not be written
constexpr uint32_t kBootCopyStartFailed = 0xE8;     // the copy program could not be started

inline constexpr const char* kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr const char* kBootExecuteValue = "BootExecute";
inline constexpr const char* kAutocheckEntry = "autocheck autochk *";

// What the flasher is told, besides its image file's name.
struct BootSettings {
    std::string flasher_name;  // "Ostrel.exe"
    uint8_t ReBoot = 0;
    uint8_t Preformat = 0;
    uint8_t bBPreformat = 0;
    uint8_t bUpdateBoot = 0;
    int protocol = 0;          // the device object's transport number
    std::string fw_ext;        // trimmed lblFWExt text
    std::string new_fw;        // trimmed lblNewFW text
    std::string serial;        // as "%.20s" gives it
    std::string revision;      // "%.8s"
    std::string model;         // "%.40s"
    std::string image_name;    // "FW.bin"
};

// What a set-up did, so a later failure of the caller can take it back.
struct BootSetupResult {
    uint32_t code = kBootSetupDone;
    std::string detail;        // why it failed, for the log; empty on success
    int flasher = -1;          // the chosen table entry
    std::string flasher_path;  // written, when not empty
    bool registered = false;   // BootExecute was changed
    bool had_value = false;    // and held this before
    std::vector<uint8_t> previous_value;
    bool ok() const { return code < 2; }
};

// The flasher for an OS family (the version code's top byte) on 32- or 64-bit Windows;
// kFlasherNone when the table has none that runs at boot there.
int ChooseFlasher(uint8_t family, bool windows64);

enum class PatchResult { Written, KeyMissing, NoRoom };
// Writes value (no NUL) right after the first occurrence of key in the image. A value that would
// end past the image changes nothing and is NoRoom; a missing key changes nothing.
PatchResult PatchSetting(uint8_t* image, size_t size, std::string_view key, std::string_view value);

using Settings = std::vector<std::pair<std::string, std::string>>;

// What PatchSettings did: NoRoom names the setting that stopped it and what it would run into.
struct SettingsPatch {
    static constexpr size_t kImageEnd = static_cast<size_t>(-1);
    PatchResult result = PatchResult::Written;
    size_t setting = 0;
    size_t runs_into = kImageEnd;  // another setting's index, or the image's end
};
// Writes every setting's value right after its key, each key found in the image as it was given,
// before any value is written: a value holding another key's text is not taken for that key.
// Missing keys are skipped. A value that would end past the image or reach into another
// setting's key or value is NoRoom, and then nothing is written.
SettingsPatch PatchSettings(uint8_t* image, size_t size, const Settings& settings);

// The eleven settings in their order, as (key, value) pairs.
Settings FlasherSettings(const BootSettings& s);

// "Ostrel.exe" -> "Ostrel": the part before ".EXE" (any case), the name itself without it.
std::string StripExe(const std::string& name);

// The new BootExecute bytes: every entry of the existing value kept in its order except an earlier
// entry of the same program, then "<program> <image>". Without an existing value the list starts
// with the disk checker's entry. A well-formed multi-string: each string NUL-terminated, then a NUL.
std::vector<uint8_t> BuildBootExecute(const std::vector<uint8_t>* existing, const std::string& program,
                                      const std::string& image_name);

// The strings of a multi-string value, up to its first empty string.
std::vector<std::string> SplitMultiSz(const std::vector<uint8_t>& bytes);

// Chooses, patches (on a copy) and writes the flasher and registers it. On failure nothing it
// wrote is left behind.
BootSetupResult SetUpBootUpdate(platform::SystemApi& api, const FlasherTable* table, const BootSettings& s);

// Takes back what a successful set-up wrote (the flasher file, the BootExecute change).
void UndoBootUpdate(platform::SystemApi& api, const BootSetupResult& done);

}  // namespace orvane::system
