#pragma once
// What one run did, as the JSON document that "/RESULT:<path>" asks for: for scripts that roll a
// firmware out to many machines and collect what each machine did.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_api.h"

namespace orvane::app {

// The outcomes a drive can have; "refused: " and "failed: " are followed by why.
namespace outcome {
inline constexpr const char* kUpdated = "updated";
// A pending update of an earlier run, found done by a later start.
inline constexpr const char* kVerified = "verified";
// Sent and accepted, but not read back: it takes effect at a restart, or nothing looked again.
inline constexpr const char* kPending = "pending";
inline constexpr const char* kAlreadyLatest = "already latest";
inline constexpr const char* kNotFoundAgain = "not found again";
inline constexpr const char* kErased = "erased";
inline constexpr const char* kBootPrepared = "boot-time update prepared";
inline constexpr const char* kNotUpdated = "not updated";
// Nothing reached the drive: the run would not act on it.
std::string Refused(std::string_view why);
// The run acted on the drive and it did not work out.
std::string Failed(std::string_view why);
}  // namespace outcome

// How a step of the Update command ended the update: the exit code and the drive's outcome.
struct Verdict {
    int exit_code = 0;
    std::string outcome;
};

// Why a listed drive was not acted on.
namespace not_updated {
inline constexpr const char* kNotEligible = "not eligible";
inline constexpr const char* kLocked = "locked by a password";
inline constexpr const char* kNotSelected = "not selected";
inline constexpr const char* kNoUpdateRun = "no update was run";
inline constexpr const char* kDeclined = "the user declined the warning; nothing was updated";
inline constexpr const char* kVerifyOnly = "a verification run updates nothing";
}  // namespace not_updated

struct DriveResult {
    std::string model, serial, revision_before;
    std::optional<std::string> revision_after;  // none: not read again after the download
    std::optional<std::string> target_revision; // none: no firmware was meant for it
    std::optional<std::string> transport;       // none: never opened for an update
    std::string outcome = outcome::kNotUpdated;
    std::string reason;                         // only for "not updated"
    std::string pending_why;                    // why a "pending" or "not found again" drive was not read back
    bool restart_required = false;              // the new firmware runs only after a restart
    bool restart_requested = false;             // and this run asked the system for it
    std::optional<std::string> history_state;   // its entry in the update history; none: no entry
    std::optional<double> duration_seconds;     // the program's work, not the time a question waited
    int entry = -1;  // its row in the drive table when it was listed
    std::string device;  // the path it was opened by
};

// A pending update of an earlier run that this start looked at.
struct VerificationResult {
    std::string update_time, model, serial, target_revision;
    std::optional<std::string> revision_found;
    std::string state, detail;
    int starts_without_drive = 0;
};

inline constexpr int kResultSchema = 2;
// "/VERIFY" leaves an update pending: its drive awaits a restart or was not found yet.
inline constexpr int kExitStillPending = 10;
// The battery could not carry the update to its end: nothing was sent.
inline constexpr int kExitPower = 11;

struct RunResult {
    std::string program_version, package_version, host_name;
    std::string run = "update";  // "update", "verify" or "list"
    int exit_code = 0;
    platform::LocalTime start, end;
    int utc_offset_minutes = 0;
    std::vector<DriveResult> drives;
    std::vector<VerificationResult> verification;
};

// The fixed word a fleet reads, and the free text beside it.
struct OutcomeWords {
    std::string outcome, detail;
};
OutcomeWords WordsOf(const DriveResult& d);

// The program's version, from the build's project version.
const char* ProgramVersion();
// The words of the README's exit-code table.
const char* ExitMeaning(int code);
// "YYYY-MM-DDThh:mm:ss+hh:mm": the local time and its offset from UTC.
std::string IsoTime(const platform::LocalTime& t, int utc_offset_minutes);
// A JSON string of single-byte text: quote, backslash, control bytes and every byte from 0x80
// escaped, so that the document is valid UTF-8 whatever the drive answered.
std::string JsonString(std::string_view bytes);
// One line per reason: message texts may hold line ends.
std::string OneLine(std::string_view text);
std::string ResultJson(const RunResult& r);

}  // namespace orvane::app
