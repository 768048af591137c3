#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/debug_log.h"
#include "app/auto_flash.h"
#include "app/drive_list.h"
#include "app/drive_scan.h"
#include "app/flash_worker.h"
#include "app/run_result.h"
#include "app/texts.h"
#include "app/update_history.h"
#include "app/view.h"
#include "device/ata_device.h"
#include "device/volume_lock.h"
#include "package/package_info.h"
#include "platform/platform.h"
#include "system/hi_timer.h"
#include "system/os_info.h"

namespace orvane::app {

// What one run of the program is given.
struct AppContext {
    platform::Platform& platform;
    View& view;
    const uint8_t* package = nullptr;  // the package block this executable carries
    size_t package_size = 0;
    std::vector<std::string> args;     // program arguments, without the program name
    // Makes the device object (which enumerates the disks); null means it could not be created.
    // Unset: the real one over this platform.
    std::function<std::unique_ptr<device::TAtaDevice>(platform::Platform&, const std::string& log_path)>
        make_device = nullptr;
};

// The main window's logic: its construction runs the start-up sequence. From its first step to
// its destruction the view delivers the window's events to it.
class TOrvaneMain final : public WindowEvents {
public:
    // Takes "/RESULT:" out of ctx.args itself, or is given what the caller took out.
    explicit TOrvaneMain(AppContext& ctx);
    TOrvaneMain(AppContext& ctx, ResultArgument result);
    ~TOrvaneMain() override;
    TOrvaneMain(const TOrvaneMain&) = delete;
    TOrvaneMain& operator=(const TOrvaneMain&) = delete;

    void FormCreate();
    void FormShow() { FormShowAs(m_Package.opt.bUnattended); }
    void FormActivate();
    void FormDestroy();

    // The window's events.
    void cmdUpdateClick() override;
    void cmdCloseClick() override;
    void cboDrivesChange() override;
    void Timer1Timer() override;
    void Timer2Timer() override;
    void tmrAutoFlashTimer() override;
    uint32_t OnPowerBroadcast(uint32_t event) override;
    void FormClose() override;

    void LogLine(const std::string& text) const {
        if (m_bDebugLog) log_.Line(text);
    }
    void ShowStatus(const std::string& text);

    // Whether the message loop should show the window.
    bool ShouldShow() const { return m_bShowWindow; }
    bool EndRequested() const { return ctx_.platform.pump.Quitting(); }

    // The drive scan: the number of drives entered in the table, or -1 when opening a device
    // failed so that the program must end.
    int ScanSSDDrive(int kind);
    IdentifyRead IdentifyDrive();
    // The NVMe drive's slot information and its running revision; nothing when it cannot be read.
    std::optional<records::STORAGE_FIRMWARE_INFO> GetNvmeSlotInfo(char (&revision)[8], uint8_t& read_only_slots);
    // The device number of the disk that holds the system directory, -1 when unknown.
    int SystemDiskNumber();
    // Both paths open and name the same disk.
    bool SamePhysicalDisk(const std::string& a, const std::string& b);
    // Opens a table entry on the device object as the scan kind and the command line reach it.
    bool OpenEntry(const DEV_INFO& e, const TargetAddress& address);
    // The eligibility of every entry below DriveCount; nothing without a device object.
    void ChkConstraint();
    // Rebuilds cboDrives from the table.
    void RefreshComboBox();

    // Runs one job on a worker thread; the window's thread keeps dispatching messages until the
    // job's completion reaches it. The job's result, 0xFF when it stored none.
    int32_t RunFlashJob(MF_THREAD_PARAMETER job);
    // The worker's completion, run on the window's thread.
    void ThreadDone();
    // The selected drive reports the controller's fatal state.
    bool CheckFatalError(const DEV_INFO& e);

    // What the tests and the program's entry read.
    int ErrorLevel() const { return iErrorLevel; }
    bool Updating() const { return m_bUpdating; }
    bool Silent() const { return bSilent; }
    bool ThreadIsDone() const { return bThreadDone; }
    const DriveTable& Drives() const { return drives_; }
    const TargetAddress& Address() const { return address_; }
    const Selection& Selected() const { return selection_; }
    const ProgressBar& Progress() const { return progress_; }
    const Walk& AutoWalk() const { return walk_; }
    device::TAtaDevice* Device() const { return m_Device.get(); }
    const package::PackageInfo& Package() const { return m_Package; }

    const package::PackageOptions& opt() const { return m_Package.opt; }
    const TextSet& texts() const { return Texts(m_Package.opt.iLanguage); }

private:
    struct UpdateRun;
    // The Update command's steps; those that can end the update return how it ended.
    void UpdateNormal(UpdateRun& run);
    void UpdateEngineering(UpdateRun& run);
    // The update of the selected drive (the Update click, the walk and the timers start it).
    void StartUpdate();
    bool TakeTarget(UpdateRun& run);
    // Disables every control that starts or changes an update while one runs, and back.
    void LockTarget(bool locked);
    // Whether Update may be pressed for the selected drive.
    bool UpdateOffered() const;
    std::optional<Verdict> CheckNvmeSupport(UpdateRun& run);
    std::optional<Verdict> CheckBeforeWrite(UpdateRun& run);
    std::optional<Verdict> CheckPower();
    std::optional<Verdict> PrepareImage(UpdateRun& run);
    std::optional<Verdict> CheckLatest(UpdateRun& run);
    Verdict Erase(UpdateRun& run);
    // Before an erase or preformat: the drive's volumes locked and dismounted for the rest of the
    // run (volume_guard.cpp), or why the command is refused. ReleaseVolumes ends the locks.
    std::optional<Verdict> LockVolumes(UpdateRun& run);
    void ReleaseVolumes(UpdateRun& run);
    // The refusal's text, empty when every volume on the drive is held by `out`.
    std::string LockDriveVolumes(const DEV_INFO& e, const TargetAddress& a, device::VolumeLock& out);
    // The Windows disk number of a table entry as the command line reaches it; -1 when unknown.
    int DiskNumberOf(const DEV_INFO& e, const TargetAddress& a);
    // A preformat job with its status and log texts ("ERASE ERROR", "BPF_ERROR", "APF_ERROR").
    std::optional<Verdict> PreformatStep(UpdateRun& run, const char* status, const char* error_status,
                                         const char* error_log);
    void RunNormalFlash(UpdateRun& run);
    MF_THREAD_PARAMETER DownloadJob(const UpdateRun& run, const uint8_t* image, uint32_t size) const;
    void BootTimeRoute(UpdateRun& run);
    std::optional<Verdict> CheckBootRoute(UpdateRun& run);
    uint32_t PrepareBootUpdate(const UpdateRun& run);
    void EndBootRoute(UpdateRun& run, const Verdict& v);
    // The selection handler's work: opens the selected drive and shows its firmware line.
    void SelectDrive();
    void FindDriveAgain(UpdateRun& run);
    void Success(UpdateRun& run);
    // Reports the failure (its text: error, else the run's error, else the result code's) and ends.
    void Failure(UpdateRun& run, std::string outcome_text = {}, std::string error = {});
    void Ending(UpdateRun& run, const Verdict& v);
    // A job of the given kind on the current device object (kJobRefreshBus: none, with path).
    int32_t RunJob(int kind, const std::string& path = {});
    void AskRestart(platform::ExitKind kind, const char* question);
    // While an update runs, an event that would change its target or touch the device is
    // refused and logged; true when it was.
    bool RefusedWhileUpdating(const char* event);

    // The automatic walk: its last drive verifies the drives before it and asks for the restart
    // any of them needs.
    void FinishWalk();
    void StartProgressTimer();

    void StartUp();
    // The result record: the drives the start-up listed, each update's outcome, the file.
    void TakeResultPath(const ResultArgument& arg);
    void ListDrivesInResult();
    int ResultEntry(int drive);
    void FinishResult(UpdateRun& run);
    void MarkNotUpdated(int drive, const char* why);
    void MarkAllNotUpdated(const char* why);
    void WriteResult();
    // The update history (history_record.cpp): the pending updates of earlier runs decided
    // against this start's scan (a box for the failed ones when asked), an entry per drive acted
    // on, the walk's later verdicts, and the "/VERIFY" run. VerifyHistory returns how many failed.
    int VerifyHistory(bool full_scan, bool box);
    void RecordHistory(const UpdateRun& run, DriveResult& d);
    void SyncWalkHistory();
    void VerifyOnly();
    std::string NowIso() const;
    std::optional<int64_t> SystemStartUtc() const;
    // Start-up steps 8 to 12 (scan, list, decision, boxes); false when the program ends there.
    bool ScanAndDecide();
    void Declined();
    void RunSilentUpdate();
    void FormShowAs(bool unattended);
    int ScanAta(int n);
    int ScanCsmiPorts(int n);
    int ScanCsmiTarget(uint64_t saved_sas);
    // A table entry's texts from what IdentifyDrive read.
    static void TakeIdentify(DEV_INFO& e, const IdentifyRead& read);
    void FillNvmeSelectors(const records::STORAGE_FIRMWARE_INFO& info, uint8_t read_only_slots);
    void ApplyCsmiTarget();
    std::string NowText() const;
    std::string NoticeText() const;
    void ReadPackageOptions();
    void SetLabels();
    // Copies the command line into the state; why the run must end before any drive is
    // touched, empty when it may go on.
    std::string ApplyCommandLine();
    // The single-instance rule: true when another copy runs (this one then ends); otherwise
    // this copy takes the mutex.
    bool AnotherCopyRuns();
    bool MayShowBox() const { return !bSilent || m_Package.opt.bAutoStart; }
    BoxAnswer Box(const std::string& caption, const std::string& text, BoxButtons buttons, BoxIcon icon,
                  bool topmost = false);
    BoxAnswer Box(const BoxRequest& box);
    // A run the user watches: the window, not "/S", not an unattended package.
    bool UserWatches() const { return !bSilent && !m_Package.opt.bUnattended; }
    // "MODEL, serial SN, 512.1 GB, drive letters E: F:" for a question about the disk.
    std::string DiskFacts(const DEV_INFO& e);
    bool ConfirmErase(const UpdateRun& run);
    // A run that ended without success and showed no box of its own says why, before the window goes.
    void ShowEndBox(const UpdateRun& run);
    int boxes_shown_ = 0;
    void EndProgram();
    bool EngineeringChordHeld() const;
    std::unique_ptr<device::TAtaDevice> CreateDevice();

    int iErrorLevel = 0;
    package::PackageInfo m_Package;
    std::string m_PackageError;  // why the package was refused, empty when it was read
    std::unique_ptr<device::TAtaDevice> m_Device;
    system::HiTimer m_Stopwatch;
    system::OSInfo m_OSInfo;
    bool m_bClosing = false;
    bool m_bDebugLog = true;
    std::string m_DebugLogPath;
    bool m_bUpdating = false;
    bool bSilent = false;
    bool bEraseAll = false;
    std::string m_AppTitle;
    bool bThreadDone = true;
    // The named parts of the window's state, each changed by one file.
    DriveTable drives_;       // drive_scan.cpp
    TargetAddress address_;   // orvane_main.cpp (the command line), drive_scan.cpp
    Selection selection_;     // drive_list.cpp
    ProgressBar progress_;    // auto_flash.cpp, set by the Update command's phases
    Walk walk_;               // auto_flash.cpp
    std::vector<uint8_t> m_ImageBuffer;  // the prepared slot image (kImageBufferSize + one cipher block)
    // A forced restart or shutdown that was asked for: done at the very end, after the last log line.
    std::optional<platform::ExitKind> m_PendingExit;
    // What the run did, for "/RESULT:"; written when the program ends if the path is usable.
    RunResult m_Result;
    std::string m_ResultPath;
    // The running update's stopwatch of the program's own work: a box pauses it.
    system::HiTimer* work_timer_ = nullptr;
    std::unique_ptr<HistoryFile> history_file_;
    History history_;
    bool m_bVerify = false;
    bool m_Activated = false;
    bool m_Timer1Fired = false;
    bool m_WalkRan = false;

    AppContext& ctx_;
    View& view_;
    DebugLog log_;
    bool m_bShowWindow = true;
};

}  // namespace orvane::app
