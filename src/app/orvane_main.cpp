#include "app/orvane_main.h"

#include "app/command_line.h"
#include "system/admin.h"

namespace orvane::app {

namespace {
// The exit code of a copy that ended because another one runs.
constexpr int kExitAnotherCopy = 9;
}  // namespace

TOrvaneMain::TOrvaneMain(AppContext& ctx) : TOrvaneMain(ctx, TakeResultArgument(ctx.args)) {}

TOrvaneMain::TOrvaneMain(AppContext& ctx, ResultArgument result)
    : m_Stopwatch(ctx.platform.clock, &ctx.platform.pump),
      m_OSInfo(ctx.platform.system),
      progress_(ctx.platform.clock, &ctx.platform.pump),
      ctx_(ctx),
      view_(ctx.view),
      log_(ctx.platform.system, DebugLog::DefaultPath(ctx.platform.system)) {
    // The start-up can already wait and dispatch messages (a silent run updates inside it): the
    // window's events reach this object from here on.
    view_.SetEvents(this);
    m_ImageBuffer.assign(package::kImageBufferSize, 0);
    TakeResultPath(result);
    StartUp();
}

TOrvaneMain::~TOrvaneMain() { view_.SetEvents(nullptr); }

void TOrvaneMain::EndProgram() { ctx_.platform.pump.Quit(); }

std::unique_ptr<device::TAtaDevice> TOrvaneMain::CreateDevice() {
    if (ctx_.make_device) return ctx_.make_device(ctx_.platform, m_DebugLogPath);
    try {
        return std::make_unique<device::TAtaDevice>(ctx_.platform, m_DebugLogPath);
    } catch (const std::exception& e) {
        // Its buffers could not be had: the start-up reports the device object as failed.
        LogLine(std::string("Device object: ") + e.what());
        return nullptr;
    }
}

BoxAnswer TOrvaneMain::Box(const std::string& caption, const std::string& text, BoxButtons buttons,
                           BoxIcon icon, bool topmost) {
    return Box(BoxRequest{caption, text, buttons, icon, topmost});
}

BoxAnswer TOrvaneMain::Box(const BoxRequest& box) {
    ++boxes_shown_;
    // The time a question waits for its answer is the user's, not the update's.
    const bool pause = work_timer_ && work_timer_->Running();
    if (pause) work_timer_->Stop();
    const BoxAnswer answer = view_.MessageBox(box);
    if (pause) work_timer_->Start(false);
    return answer;
}

void TOrvaneMain::ReadPackageOptions() {
    package::ParseResult parsed = package::ParsePackage(ctx_.package, ctx_.package_size);
    m_Package = parsed.info;
    if (!parsed.ok) {
        // Nothing of a refused package is acted on; its texts still name the window.
        m_PackageError = parsed.error;
        m_Package.opt = package::PackageOptions{};
    }

    iErrorLevel = 0;
    m_DebugLogPath = log_.path();
    m_bDebugLog = true;

    if (m_Package.opt.bUnattended) {
        view_.SetCaption(kUnattendedCaption);
        view_.SetSystemMenu(false);
    } else {
        view_.SetCaption(Format("%s (%s)", m_Package.banner.c_str(), m_Package.version.c_str()));
        view_.SetSystemMenu(true);
    }
}

void TOrvaneMain::SetLabels() {
    const TextSet& t = texts();
    view_.SetText(Control::Label1, t.Label1);
    view_.SetText(Control::lblUpdateMsg, t.lblUpdateMsg);
    view_.SetText(Control::lblTo, t.lblTo);
    view_.SetText(Control::lblMsg, t.lblMsg);
    view_.SetText(Control::cmdUpdate, t.cmdUpdate);
    view_.SetText(Control::cmdClose, t.cmdClose);
    view_.SetText(Control::Label2, t.Label2);
    view_.SetText(Control::Label3, t.Label3);
    view_.SetText(Control::Label4, t.Label4);
}

std::string TOrvaneMain::ApplyCommandLine() {
    CommandLine cl = ParseCommandLine(ctx_.args, m_Package.opt.bUnattended);
    bSilent = cl.bSilent;
    bEraseAll = cl.bEraseAll;
    if (bEraseAll) view_.SetText(Control::cmdUpdate, texts().EraseButton);
    m_bVerify = cl.bVerify;
    for (const std::string& line : cl.log) LogLine(line);
    if (!cl.devPath.empty()) address_.m_DevPath = cl.devPath;
    address_.gScanType = cl.gScanType;
    if (cl.gScanType == 1) {
        address_.m_ScsiPort = cl.scsiPort;
        address_.m_CsmiIndex = cl.csmiIndex;
        address_.m_CsmiPort = cl.csmiPort;
        address_.m_SasAddr = cl.sasAddr;
    }
    if (cl.errorLevel >= 0) iErrorLevel = cl.errorLevel;
    if (cl.closing) {
        m_bClosing = true;
        EndProgram();
    }
    return cl.refusal;
}

bool TOrvaneMain::AnotherCopyRuns() {
    std::string title = m_AppTitle;
    if (title.empty()) {
        std::string exe = ctx_.platform.system.ModuleFileName();
        size_t slash = exe.find_last_of("/\\");
        std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
        title = name.substr(0, name.find('.'));
        m_AppTitle = title;
    }
    platform::SystemApi& sys = ctx_.platform.system;
    if (!sys.MutexExists(title)) {
        sys.CreateMutex(title);
        return false;
    }
    LogLine(Format("INSTANCE: another copy of %s is running\n", title.c_str()));
    iErrorLevel = kExitAnotherCopy;
    m_bShowWindow = false;
    view_.SetApplicationTitle("");
    view_.ActivateOtherInstance(title);
    EndProgram();
    return true;
}

void TOrvaneMain::StartUp() {
    ReadPackageOptions();
    SetLabels();
    const std::string refusal = ApplyCommandLine();
    // Before the device object enumerates the disks: two copies must never update one drive.
    if (AnotherCopyRuns()) return;

    // A package that does not read right is refused before any drive is touched.
    if (!m_PackageError.empty()) {
        LogLine("PACKAGE_ERROR: " + m_PackageError);
        if (MayShowBox())
            Box(kErrorCaption, "Malformed firmware package: " + m_PackageError, BoxButtons::Ok, BoxIcon::Error);
        iErrorLevel = 4;
        m_bShowWindow = false;
        EndProgram();
        return;
    }
    if (m_Package.opt.iFWCount == 0) {
        if (MayShowBox()) Box(kErrorCaption, texts().NoFirmware, BoxButtons::Ok, BoxIcon::Error);
        iErrorLevel = 4;
        m_bShowWindow = false;
        EndProgram();
        return;
    }

    // A command line the run will not honour ends it before any drive is touched: a mistyped
    // switch must not turn into an update of whatever the scan lists.
    if (!refusal.empty()) {
        LogLine("COMMAND_LINE_REFUSED: " + refusal + "\n");
        if (MayShowBox()) Box(kErrorCaption, refusal, BoxButtons::Ok, BoxIcon::Error);
        m_bShowWindow = false;
        return;
    }

    m_Device = CreateDevice();
    if (!m_Device) {
        if (MayShowBox()) Box(texts().ErrorCaption, texts().DeviceInitFailed, BoxButtons::Ok, BoxIcon::Error);
        iErrorLevel = 1;
        m_bShowWindow = false;
        EndProgram();
        ctx_.platform.pump.Dispatch();
        RunSilentUpdate();
        return;
    }

    if (m_OSInfo.bIsNT && !system::IsAdmin(ctx_.platform.system)) {
        if (MayShowBox()) Box(texts().ErrorCaption, texts().AccessDenied, BoxButtons::Ok, BoxIcon::Error);
        iErrorLevel = 1;
        EndProgram();
    }

    if (m_bVerify) return VerifyOnly();
    if (!ScanAndDecide()) return;
    RunSilentUpdate();
}

bool TOrvaneMain::ScanAndDecide() {
    // A start narrowed to one target does not count as a start without the other drives.
    const bool full_scan = address_.gScanType == kScanAta && address_.m_DevPath.empty();
    if (address_.gScanType == kScanAta && address_.m_DevPath.empty()) {
        drives_.DriveCount = ScanSSDDrive(kScanAta);
        if (drives_.DriveCount == 0) {
            address_.gScanType = kScanCsmi;
            drives_.DriveCount = ScanSSDDrive(kScanCsmi);
        }
    } else {
        drives_.DriveCount = ScanSSDDrive(address_.gScanType);
    }
    LogLine(Format("gScanType: %d, CNT: %d\n", address_.gScanType, drives_.DriveCount));
    if (drives_.DriveCount < 0) {
        m_bShowWindow = false;
        EndProgram();
        return false;
    }

    // Before any update: a drive updated by an earlier run may be the one this run would update.
    VerifyHistory(full_scan, !bSilent && !opt().bUnattended);
    RefreshComboBox();
    SelectDrive();
    LogLine("MainForm: 1");
    ListDrivesInResult();
    int eligible = 0;
    bool locked = false;
    for (int i = 0; i < drives_.DriveCount; ++i) {
        if (drives_.m_DevInfo[i].bExisted && drives_.m_DevInfo[i].bEnabled) ++eligible;
        if (drives_.m_DevInfo[i].bExisted && drives_.m_DevInfo[i].bMatchedLocked) locked = true;
    }

    const TextSet& t = texts();
    const package::PackageOptions& o = opt();
    if (eligible == 0) {
        // A locked drive is the likelier reason nothing can be updated: say so instead.
        std::string text = locked ? t.UnlockPassword : t.NoMatched;
        if (!o.bListMatchedOnly || o.iLanguage == 1) text += std::string(t.DetectedDrives) + selection_.m_DetectedList;
        if (!text.empty() && !o.bUnattended && MayShowBox()) Box(kErrorCaption, text, BoxButtons::Ok, BoxIcon::Error, true);
        iErrorLevel = 3;
        LogLine("MainForm: 2");
        m_bClosing = true;
        m_bShowWindow = false;
        EndProgram();
        return false;
    }

    // These two questions are asked whatever "/S" says: the user must be able to decline.
    if (o.iVisualStyle == 4 &&
        Box(kWarningCaption, kWarningText, BoxButtons::YesNo, BoxIcon::Information, true) != BoxAnswer::Yes) {
        Declined();
        return false;
    }
    LogLine("MainForm: 3");
    if (o.iVisualStyle == 0 && (o.iNoticeLevel == 1 || o.iNoticeLevel == 2) &&
        Box(kWarningCaption, NoticeText(), BoxButtons::YesNo, BoxIcon::Information, true) != BoxAnswer::Yes) {
        Declined();
        return false;
    }
    view_.RemoveSystemMenuItem(5);
    view_.RemoveSystemMenuItem(5);
    LogLine("MainForm: 4");
    return true;
}

void TOrvaneMain::Declined() {
    // The exit code stays 0, as callers expect of a declined warning; the record says why
    // nothing happened.
    LogLine("WARNING: declined by the user; nothing was updated\n");
    MarkAllNotUpdated(not_updated::kDeclined);
    m_bShowWindow = false;
    EndProgram();
}

std::string TOrvaneMain::NoticeText() const {
    const TextSet& t = texts();
    std::string text = std::string(t.NoticeSupports) + m_Package.target_model + t.NoticeSsd + t.NoticeHead +
                       t.Notice1 + t.Notice2;
    if (opt().iNoticeLevel == 2) text += t.Notice3;
    return text + t.NoticeContinue;
}

void TOrvaneMain::RunSilentUpdate() {
    if (!bSilent && !m_Package.opt.bAutoStart) return;
    m_bShowWindow = false;
    // A start-up that already decided to end (no device, no rights, a bad command line) must
    // not update anything, nor overwrite the exit code that says why it ended.
    if (EndRequested()) return;
    LogLine("MainForm: 5");
    StartUpdate();
    EndProgram();
}

void TOrvaneMain::FormCreate() {
    // The start-up already ended this copy for the one that runs: that one keeps the title.
    if (iErrorLevel == kExitAnotherCopy) return;
    view_.SetApplicationTitle(m_AppTitle);
    if (m_Package.opt.bUnattended) view_.GreyCloseCommand();
}

void TOrvaneMain::FormShowAs(bool unattended) {
    view_.LayoutFirmwareLine();
    if (unattended) {
        LogLine("FormShow: 1");
        progress_.iPhase = 0;
        view_.ShowCompactPanel();
        view_.SetVisible(Control::cboDrives, false);
        view_.StartTimer(Timer::Timer1);
    } else {
        LogLine("FormShow: 2");
        view_.SetVisible(Control::cboDrives, true);
    }
}

void TOrvaneMain::FormActivate() {
    // Only the first activation: a closed message box activates the window again.
    if (m_Activated) return;
    m_Activated = true;
    if (m_Package.opt.bAutoFlashAll && !m_Package.opt.bUnattended) {
        view_.StartTimer(Timer::tmrAutoFlash);
        view_.SetEnabled(Control::cmdUpdate, false);
    }
}

void TOrvaneMain::FormDestroy() {
    LogLine(Format("EXIT_ERROR: 0x%X\n", static_cast<unsigned>(iErrorLevel)));
    // Before a forced restart or shutdown can end the process.
    SyncWalkHistory();
    WriteResult();
    m_Device.reset();
    view_.HideAnimated();
    // Asked for during the run, done only now that every line is written.
    if (m_PendingExit) {
        m_OSInfo.ExitSystem(*m_PendingExit);
    }
}

void TOrvaneMain::ShowStatus(const std::string& text) {
    if (m_Package.opt.bUnattended) return;
    view_.ShowStatus(text);
}

}  // namespace orvane::app
