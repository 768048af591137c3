#pragma once
// The update history: what the program did to each drive, kept across runs in the machine-wide
// application-data folder, so that an update that ends before anyone can know whether it worked
// (a restart pending, a boot-time flasher, a download not read back) is checked at the next start.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_api.h"

namespace orvane::app {

inline constexpr int kHistorySchema = 1;
inline constexpr size_t kHistoryKept = 200;
// Starts without the drive after which a pending update is given up as failed.
inline constexpr int kStartsUntilFailed = 5;

namespace history_state {
inline constexpr const char* kVerified = "verified";  // found again with the new firmware
inline constexpr const char* kPending = "pending";    // sent; awaits a restart or a later look
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kRefused = "refused";    // nothing reached the drive
}  // namespace history_state

// How the firmware was sent.
namespace history_method {
inline constexpr const char* kDownload = "download";  // ATA or SCSI download, read back or not
inline constexpr const char* kNvme = "nvme";          // NVMe image download and commit
inline constexpr const char* kBoot = "boot";          // the boot-time flasher
}  // namespace history_method

struct HistoryEntry {
    std::string time;  // ISO 8601 with the UTC offset: when the update ended
    std::string program_version, package_version;
    std::string model, serial, transport, device;
    std::string revision_before, target_revision;
    std::string target_def;     // "" when the package does not use one
    std::string method;         // history_method
    std::string download_flow;  // the download sequence's name; "" when none ran
    std::optional<int> nvme_slot, nvme_commit_action;
    std::string state;          // history_state
    std::string detail;         // why pending, failed or refused; "" when verified at once
    int starts_without_drive = 0;
    std::string decided_time;   // when a later start decided it; "" until then
    std::optional<std::string> revision_found;  // what that start read

    bool operator==(const HistoryEntry&) const = default;
};

struct History {
    int schema = kHistorySchema;
    std::vector<HistoryEntry> entries;  // oldest first

    bool operator==(const History&) const = default;
};

enum class HistoryStatus { Ok, Damaged, Newer };
struct HistoryParse {
    HistoryStatus status = HistoryStatus::Ok;
    History history;  // only for Ok
    std::string why;  // Damaged: what is wrong (path of the field); Newer: the schema it has
    int schema = 0;   // the document's schema when it had one
};
// Never throws, whatever the bytes.
HistoryParse ParseHistory(std::string_view text);
std::string HistoryJson(const History& h);
// Appends; the oldest entries beyond kHistoryKept go. The drive's older pending entries are decided
// from what this update read before it began: def_before is the DEF it read then (none: the DEF is
// not compared).
// system_start: when Windows started, in UTC seconds (none: unknown). An older pending entry made
// after it saw no restart: what the new update read tells nothing of it, and it is overtaken.
void AddEntry(History& h, HistoryEntry e, const std::optional<std::string>& def_before = std::nullopt,
              std::optional<int64_t> system_start = std::nullopt);
// An entry's time ("YYYY-MM-DDThh:mm:ss+hh:mm") in UTC seconds since 1970; none when it is not one.
std::optional<int64_t> UtcSeconds(std::string_view iso_time);

// A drive as this start's scan found it.
struct SeenDrive {
    std::string serial, revision, def;
};
// An entry this start decided or counted: its index and state before; its new state is in it.
struct HistoryChange {
    size_t entry = 0;
    std::string state_before;
};
// Decides the pending entries against the drives a start found. Each serial's newest pending
// entry alone is matched. counts_start: the scan looked at every drive (a start narrowed to one
// target does not count as a start without the others).
// Entries made after system_start (UTC seconds; none: unknown) await a restart that has not come:
// they are neither decided nor counted.
std::vector<HistoryChange> VerifyPending(History& h, const std::vector<SeenDrive>& seen, bool counts_start,
                                         const std::string& now, std::optional<int64_t> system_start = std::nullopt);

// <ProgramData>\Orvane\history.json through the system layer. Every failure is logged and
// reported by the return value; none stops an update.
class HistoryFile {
public:
    using Log = std::function<void(const std::string&)>;
    HistoryFile(platform::SystemApi& api, Log log);
    // The history as stored: none yet, empty. A damaged one is set aside (renamed with a time
    // stamp) and an empty one starts. One from a newer schema is left alone: empty, and Store
    // then writes nothing.
    History Load();
    // Makes the folder (protected), then writes "<path>.tmp" and replaces the file with it.
    bool Store(const History& h);
    bool newer_schema() const { return newer_; }
    const std::string& path() const { return path_; }  // "" when the system names no folder

private:
    platform::SystemApi& api_;
    Log log_;
    std::string folder_, path_;
    bool newer_ = false;
    bool blocked_ = false;  // a damaged file that could not be set aside: never written over
};

}  // namespace orvane::app
