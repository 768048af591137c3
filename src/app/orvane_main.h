#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/debug_log.h"
#include "app/drive_scan.h"
#include "app/flash_worker.h"
#include "app/run_result.h"
#include "app/texts.h"
#include "app/view.h"
#include "device/ata_device.h"
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

    void LogLine(const std::string& text) const { log_.Line(text); }
    void ShowStatus(const std::string& text);

    // Whether the message loop should show the window.
    bool ShouldShow() const { return m_bShowWindow; }
    bool EndRequested() const { return ctx_.platform.pump.Quitting(); }

    // The drive scan: the number of drives entered in m_DevInfo, or -1 when opening a device
    // failed so that the program must end.
    int ScanSSDDrive(int kind);
    uint8_t IdentifyDrive();
    bool GetNvmeSlotInfo();
    // The device number of the disk that holds the system directory, -1 when unknown.
    int SystemDiskNumber();
    // Both paths open and name the same disk.
    bool SamePhysicalDisk(const std::string& a, const std::string& b);
    // The eligibility of every entry below DriveCount; nothing without a device object.
    void ChkConstraint();
    // Rebuilds cboDrives from the table.
    void RefreshComboBox();

    // Runs one job on a worker thread; the window's thread keeps dispatching messages until the
    // job's completion reaches it. The job's result, 0xFF when it stored none.
    int32_t RunFlashJob(_MF_THREAD_PARAMETER job);
    // The worker's completion, run on the window's thread.
    void ThreadDone();
    // The selected drive reports the controller's fatal state.
    bool CheckFatalError(const DEV_INFO& e);

    // State the later steps and the tests read.
    int iErrorLevel = 0;
    package::PackageInfo m_Package;
    std::string m_PackageError;  // why the package was refused, empty when it was read
    std::unique_ptr<device::TAtaDevice> m_Device;
    system::HiTimer m_Stopwatch;
    system::OSInfo m_OSInfo;
    std::string m_DevPath;
    int gScanType = 0;
    int m_ScsiPort = 0;
    int m_CsmiIndex = 0;
    int m_CsmiPort = 0;
    uint64_t m_SasAddr = 0;
    bool m_bClosing = false;
    bool m_bDebugLog = true;
    std::string m_DebugLogPath;
    bool m_bUpdating = false;
    int iPhase = 0;
    bool bSilent = false;
    bool bEraseAll = false;
    std::string m_AppTitle;
    DEV_INFO m_DevInfo[kMaxDrives] = {};
    int DriveCount = 0;
    IDENTIFY_SUMMARY m_Identify = {};
    records::STORAGE_FIRMWARE_INFO m_FwSlotInfo = {};
    int m_ItemToDrive[kMaxDrives] = {};
    int m_ItemCount = 0;
    uint32_t m_SelectedSlot = 0;
    std::string m_DetectedList;
    std::string TargetSerial;
    std::string TargetPath;
    bool bNextPending = false;
    bool bThreadDone = true;
    int iLastResult = 0;
    int iLastDetail = 0;
    bool bIsAhci = false;              // the selected drive's controller runs an AHCI driver (logged only)
    std::vector<uint8_t> m_ImageBuffer;  // the prepared slot image (kImageBufferSize + one cipher block)
    uint32_t m_ImageLength = 0;
    int m_SelectedDrive = -1;          // entry of the selected item; -1: none
    std::string m_lblNewFW, m_lblFWExt;  // what the firmware line shows for the selection
    int iProgressInterval = 100;
    int m_Progress = 0;                // ProgressBar1's position
    system::HiTimer m_ProgressTimer;
    // A forced restart or shutdown that was asked for: done at the very end, after the last log line.
    std::optional<platform::ExitKind> m_PendingExit;
    // What the run did, for "/RESULT:"; written when the program ends if the path is usable.
    RunResult m_Result;
    std::string m_ResultPath;

    const package::PackageOptions& opt() const { return m_Package.opt; }
    const TextSet& texts() const { return Texts(m_Package.opt.iLanguage); }

private:
    struct UpdateRun;
    void UpdateNormal(UpdateRun& run);
    void UpdateEngineering(UpdateRun& run);
    void RunNormalFlash(UpdateRun& run);
    void BootTimeRoute(UpdateRun& run);
    uint32_t PrepareBootUpdate(const DEV_INFO& e, const std::string& fw_path);
    void EndBootRoute();
    void FindDriveAgain(UpdateRun& run);
    void OpenFoundEntry(const DEV_INFO& e);
    void Success(UpdateRun& run);
    void Failure(UpdateRun& run);
    void Ending(UpdateRun& run);
    // A job of the given kind on the current device object (kJobRefreshBus: none, with path).
    int32_t RunJob(int kind, const std::string& path = {});
    void AskRestart(platform::ExitKind kind, const char* question);
    void StartProgressTimer();
    bool m_Activated = false;
    bool m_Timer2Running = false;
    unsigned m_Timer2Interval = 100;
    int m_WalkFirstError = 0;
    int m_WalkFailures = 0;
    void StartUp();
    // The result record: the drives the start-up listed, each update's outcome, the file.
    void TakeResultPath(const ResultArgument& arg);
    void ListDrivesInResult();
    int ResultEntry(int drive);
    void FinishResult(UpdateRun& run);
    void MarkNotUpdated(int drive, const char* why);
    void WriteResult();
    // Start-up steps 8 to 12 (scan, list, decision, boxes); false when the program ends there.
    bool ScanAndDecide();
    void RunSilentUpdate();
    void FormShowAs(bool unattended);
    int ScanAta(int n);
    int ScanCsmiPorts(int n);
    int ScanCsmiTarget(uint64_t saved_sas);
    // Entry n from m_Identify's five texts.
    void TakeIdentify(DEV_INFO& e);
    void FillNvmeSelectors(const records::STORAGE_FIRMWARE_INFO& info);
    void ApplyCsmiTarget();
    std::string NowText() const;
    std::string NoticeText() const;
    bool m_IdentifyLocked = false;
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
    void EndProgram();
    bool EngineeringChordHeld() const;
    std::unique_ptr<device::TAtaDevice> CreateDevice();

    AppContext& ctx_;
    View& view_;
    DebugLog log_;
    bool m_bShowWindow = true;
};

}  // namespace orvane::app
