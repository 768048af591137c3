#pragma once
// What changed a simulated drive: every command that writes to it, in the order it reached the
// drive, whether the drive took it or not. Reads (identify, read buffer, the vendor page, SMART
// data) are not recorded.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvane::platform::sim {

// The kinds recorded.
namespace write_kind {
inline constexpr const char* kDownload = "download";          // 92h with data (a chunk)
inline constexpr const char* kCommit = "commit";              // 92h without data (7, 0Eh, 0Fh, ...)
inline constexpr const char* kPreformat = "preformat";        // the vendor preformat pair, the PATA preformat page
inline constexpr const char* kVendorWrite = "vendor-write";   // another vendor command or write buffer page
inline constexpr const char* kSmartWrite = "smart-write";     // a SMART subcommand that is not a read
inline constexpr const char* kNvmeDownload = "nvme-download";
inline constexpr const char* kNvmeCommit = "nvme-commit";     // an NVMe activation, any commit action
}  // namespace write_kind

// Runs of the same kind are one entry with their count.
struct SimWrite {
    std::string kind;
    int count = 0;
    bool operator==(const SimWrite&) const = default;
};

class SimWriteLog {
public:
    void Add(const std::string& kind);
    const std::vector<SimWrite>& entries() const { return entries_; }
    // [{"kind": "download", "count": 80}, {"kind": "commit", "count": 1}]
    nlohmann::json Json() const;

private:
    std::vector<SimWrite> entries_;
};

// The kind of an ATA command as it reached the drive (regs: FR, SC, SN, CL, CH, DH, Cmd;
// direction 0 none, 2 in, 4 out); empty for a command that only reads. A command not known
// either way is "ata-XXh".
std::string AtaWriteKind(const uint8_t* regs, uint8_t direction, const uint8_t* data, uint32_t length);

}  // namespace orvane::platform::sim
