// What each update scenario leaves in its "/RESULT:" document, by the row's name.
#include <map>

#include "scenario/result_check.h"

namespace orvane::testing::scenario {

namespace {

using D = DriveExpect;
using std::nullopt;

constexpr const char* kAtaErrFailed = "failed: ERROR: ATACMD_ERR, STATUS_REGISTER:0x51";
// The simulated controller's refusals carry no system error code.
constexpr const char* kNvmeFailed = "failed: ERROR: ATACMD_FAIL, ERROR_CODE: 0x0";
constexpr const char* kNoDownload =
    "refused: this connection cannot carry a firmware download; connect the drive to a SATA port";

constexpr const char* kLowBattery24 =
    "The battery is at 24 % and the charger is unplugged. A firmware update that is cut off by a flat battery can "
    "leave the drive unusable. Plug the charger in and start the update again. Nothing was sent to the drive.";
constexpr const char* kLowBattery10 =
    "The battery is at 10 % and the charger is unplugged. A firmware update that is cut off by a flat battery can "
    "leave the drive unusable. Plug the charger in and start the update again. Nothing was sent to the drive.";
constexpr const char* kCriticalBattery =
    "The battery is reported critical and the charger is not plugged in. A firmware update that is cut off by a "
    "flat battery can leave the drive unusable. Plug the charger in and start the update again. Nothing was sent "
    "to the drive.";

std::vector<D> Target(const std::string& outcome, std::optional<std::string> after, std::string transport = "") {
    return {D{kSerial, outcome, after, transport}};
}
std::vector<D> Updated() { return Target("updated", kNewFw, "ATA PASSTHROUGH"); }
std::vector<D> Nvme(const std::string& outcome, std::optional<std::string> after) {
    return {D{kNvmeSerial, outcome, after, "NVMe"}};
}

const std::map<std::string, std::vector<D>>& Table() {
    static const std::map<std::string, std::vector<D>> table = {
        // --- the download itself
        {"clean update", Updated()},
        {"error at chunk 5, the second attempt goes through", Updated()},
        {"timeout at chunk 3, the second attempt goes through", Updated()},
        {"error at the activating subcommand 7, then through", Updated()},
        {"chunk limit of 7 sectors: the ladder steps down to 7", Updated()},
        {"an error on every attempt: 13 attempts", Target(kAtaErrFailed, kOldFw)},
        {"a timeout on every attempt", Target("failed: There is something wrong, please check your drive !", kOldFw)},
        {"enterprise flow (mode 2)", Updated()},
        {"enterprise flow to a drive that knows only modes 3 and 7", Target(kAtaErrFailed, kOldFw)},
        {"DEF text G... forces the mode-3 download", Updated()},
        {"DEF text of 6 characters keeps mode 0", Updated()},
        // --- the restart and the re-find
        {"the drive never comes back", Target("not found again", nullopt)},
        {"the drive comes back with its old firmware",
         Target("failed: the drive still reports firmware S0614B0", kOldFw)},
        // Listed by the serial number it had when the update began.
        {"the drive comes back with another serial number", Target("not found again", nullopt)},
        {"new revision, other DEF text: success without verification", Updated()},
        // The image waits for the restart: nothing read the revision again.
        {"ReBoot off: no re-find, the image waits for the restart", Target("pending", nullopt)},
        // --- transports
        {"SAT bridge carries the download", Target("updated", kNewFw, "SAT ATA PASS THROUGH")},
        {"I-O DATA bridge cannot carry a download", Target(kNoDownload, kOldFw, "IODATA")},
        {"Logitec bridge cannot carry a download", Target(kNoDownload, kOldFw, "LOGITEC")},
        {"Cypress bridge cannot carry a download", Target(kNoDownload, kOldFw, "CYPRESS")},
        // Without sense data the status register reads 0: the document says what the status line said.
        {"a bridge that drops sense data: a failing drive stays a failure",
         Target("failed: ERROR: ATACMD_ERR, STATUS_REGISTER:0x0", kOldFw)},
        {"a bridge that drops sense data: a good download still verifies", Target("updated", kNewFw)},
        // --- NVMe
        {"NVMe activate 0", Nvme("updated", kNvmeNewFw)},
        {"NVMe activate 0x20: success asking for the restart", Nvme("pending", nullopt)},
        {"NVMe activate 1", Nvme(kNvmeFailed, kNvmeOldFw)},
        {"NVMe activate 2", Nvme(kNvmeFailed, kNvmeOldFw)},
        {"NVMe activate 6", Nvme(kNvmeFailed, kNvmeOldFw)},
        {"NVMe activate 7", Nvme(kNvmeFailed, kNvmeOldFw)},
        {"NVMe activate, another code", Nvme(kNvmeFailed, kNvmeOldFw)},
        {"NVMe without a writable slot", Nvme(kNvmeFailed, kNvmeOldFw)},
        {"NVMe on Windows 7",
         Nvme("refused: Windows8.1 / Server2012R2 above is required for NVMe device (ERR:E000000h)", kNvmeOldFw)},
        // --- checks before the download
        {"fatal-error state",
         Target("refused: Fatal error is found, please return this drive to the vendor !", kOldFw)},
        {"boot-drive guard",
         Target("refused: Because this tool contains erase function and the SSD you selected is primary boot drive. "
                "Orvane recommends that you back up your data before flashing and let your SSD be as a secondary "
                "drive.",
                kOldFw)},
        {"latest: bNFlashAuto and the same revision", Target("already latest", kNewFw)},
        {"latest: bFOld clear and a newer drive", Target("already latest", "S0614D0")},
        {"bFOld set: a newer drive is taken back", Updated()},
        {"latest: bUseFWExt and the same DEF text", Target("already latest", kOldFw)},
        // --- preformat and erase
        {"preformat before", Updated()},
        {"preformat before fails: nothing is sent", Target("failed: BPF_ERROR:0x0", kOldFw)},
        {"preformat after", Updated()},
        // The firmware went in; the preformat after it did not.
        {"preformat after fails", Target("failed: APF_ERROR:0x0", kNewFw)},
        {"PATA drive: its own preformat", Updated()},
        {"erase", Target("erased", kOldFw)},
        {"erase fails", Target("failed: ERASE ERROR:0x0", kOldFw)},
        // --- what the user who watches is asked and told
        {"erase in the window: the disk is named, No is the default",
         Target("refused: the erase was not confirmed: nothing was erased", kOldFw)},
        {"erase in the window, confirmed", Target("erased", kOldFw)},
        {"a failed download in the window says so before the window goes", Target(kAtaErrFailed, kOldFw)},
        {"a refusal in the window says the drive is unchanged",
         Target("refused: the firmware image of slot 0 holds no firmware (all of its 40960 bytes are 0x00): nothing "
                "was sent", kOldFw)},
        {"a failure with /S shows no box", Target(kAtaErrFailed, kOldFw)},
        {"NVMe: the read-only slot is marked and the first writable one chosen", Nvme("updated", kNvmeNewFw)},
        {"unattended: the bar is full before the restart question", Updated()},
        // --- the battery
        {"on battery at 24 %: refused, nothing sent", Target(std::string("refused: ") + kLowBattery24, kOldFw)},
        {"on battery at 25 %: updated", Updated()},
        {"charger plugged in at 5 %: updated", Updated()},
        {"critical battery, charger state unknown: refused", Target(std::string("refused: ") + kCriticalBattery, kOldFw)},
        {"unknown charge on battery: updated", Updated()},
        {"low battery: no preformat either", Target(std::string("refused: ") + kLowBattery10, kOldFw)},
        {"low battery: no erase, and no box with /S", Target(std::string("refused: ") + kLowBattery10, kOldFw)},
        // --- the window and the system around the update
        {"a power query during the download is refused", Updated()},
        {"closing the window during the download is refused", Updated()},
        {"the debug log cannot be written", Updated()},
        {"/S success ends without a window", Updated()},
        {"/S failure ends without a window", Target(kAtaErrFailed, kOldFw)},
        {"/S without administrator rights runs no update", Target("not updated", kOldFw)},
        {"/S with the restart question: restarted after the log is complete", Updated()},
        // --- unattended
        {"unattended success: the bar reaches 100", Updated()},
        {"unattended failure: STOP UPDATE", Target(kAtaErrFailed, kOldFw)},
        // --- the automatic walk: the last drive's scan verifies the drives before it
        {"automatic walk, the second of three fails",
         {D{"MS512A0000000001", "updated", kNewFw}, D{"MS512B0000000002", kAtaErrFailed, nullopt},
          D{"MS512C0000000003", "updated", kNewFw}}},
        {"automatic walk, all three succeed",
         {D{"MS512A0000000001", "updated", kNewFw}, D{"MS512B0000000002", "updated", kNewFw},
          D{"MS512C0000000003", "updated", kNewFw}}},
        // --- the update owns its drive
        {"a selection during the update does not change its drive",
         {D{"MS512A0000000001", "updated", kNewFw}, D{"MS512B0000000002", "not updated", kOldFw}}},
        {"forged events during the update are refused",
         {D{"MS512A0000000001", "updated", kNewFw}, D{"MS512B0000000002", "not updated", kOldFw}}},
        {"a press before the walk starts runs no update of its own",
         {D{"MS512A0000000001", "updated", kNewFw}, D{"MS512B0000000002", "updated", kNewFw}}},
        // --- every outcome matches the drive
        {"walk: a drive before the last comes back with its old firmware",
         {D{"MS512A0000000001", "failed: the drive still reports firmware S0614B0", kOldFw},
          D{"MS512B0000000002", "updated", kNewFw}}},
        {"walk: a drive before the last does not come back",
         {D{"MS512A0000000001", "not found again", nullopt}, D{"MS512B0000000002", "updated", kNewFw}}},
        {"walk: the last drive fails before its download, the first is still verified",
         {D{"MS512A0000000001", "updated", kNewFw},
          D{"MS512B0000000002", "refused: Fatal error is found, please return this drive to the vendor !", kOldFw}}},
        {"walk: an NVMe drive that activates at the restart asks for it at the walk's end",
         {D{kNvmeSerial, "pending", nullopt, "NVMe"}, D{kSerial, "updated", kNewFw}}},
        {"an error at every activation, yet the drive runs the new firmware: found and verified", Updated()},
        {"a transport refusal comes before the preformat", Target(kNoDownload, kOldFw, "IODATA")},
        {"/T: lists its drive once in the result file", {D{"MS512A0000000001", "updated", kNewFw}}},
        {"a declined warning updates nothing and says so", Target("not updated", kOldFw)},
        {"the build's placeholder image is never sent",
         Target("refused: the firmware image of slot 0 holds no firmware (all of its 40960 bytes are 0x00): nothing "
                "was sent",
                kOldFw)},
        {"an activation answered 7Fh without a restart to check it is retried", Target("pending", nullopt)},
        {"a drive that cannot be opened when selected is refused as such",
         Target("refused: the drive could not be opened for the update; check its connection and run the program again",
                kOldFw)},
        {"a DEF text of seven characters writes no NUL into the log", Nvme("updated", kNvmeNewFw)},
        // --- the engineering path: nothing reads the revision again
        {"engineering path: Flash OK!", Target("pending", nullopt)},
        {"engineering path: Flash Failed!", Target("failed: Flash Failed!", nullopt)},
        {"engineering path: a file above the buffer is refused",
         Target("refused: The chosen file is larger than the firmware buffer (524288 bytes): not flashed.", kOldFw)},
        {"engineering path: cancelled", Target("not updated", kOldFw)},
    };
    return table;
}

}  // namespace

const std::vector<DriveExpect>* ExpectedResultOf(const std::string& row) {
    auto it = Table().find(row);
    return it == Table().end() ? nullptr : &it->second;
}

}  // namespace orvane::testing::scenario
