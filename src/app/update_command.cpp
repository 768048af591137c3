// The Update command: one drive carried through the checks, the download, the re-finding and
// the report. Every check that can refuse the drive comes before the first command that changes it.
#include <algorithm>
#include <cstring>

#include "app/update_run.h"
#include "app/update_rules.h"
#include "app/update_texts.h"
#include "device/download_flows.h"
#include "package/aes_cipher.h"
#include "system/os_version.h"

namespace orvane::app {

namespace ut = update_text;

namespace {

// A fixed field's character for a "%s" in the log: a NUL writes nothing.
std::string CharText(char c) { return c ? std::string(1, c) : std::string(); }

}  // namespace

int32_t TOrvaneMain::RunJob(int kind, const std::string& path) {
    MF_THREAD_PARAMETER job;
    job.kind = kind;
    job.path = path;
    if (kind != kJobRefreshBus) job.device = m_Device.get();
    return RunFlashJob(job);
}

void TOrvaneMain::cmdUpdateClick() {
    if (RefusedWhileUpdating("cmdUpdateClick")) return;
    // The walk updates the listed drives itself; a click before it starts would run inside it.
    if (opt().bAutoFlashAll && !opt().bUnattended) {
        LogLine("cmdUpdateClick: refused, the automatic walk updates the drives\n");
        return;
    }
    StartUpdate();
}

void TOrvaneMain::StartUpdate() {
    UpdateRun run(ctx_.platform.clock, ctx_.platform.pump);
    run.os_code = system::OSVersionCode(ctx_.platform.system);
    run.total.Start(true);
    run.work.Start(true);
    work_timer_ = &run.work;
    if (!TakeTarget(run)) {
        work_timer_ = nullptr;
        LogLine("cmdUpdateClick: no drive to update");
        iErrorLevel = 1;
        if (!walk_.bNextPending) EndProgram();
        return;
    }
    run.boxes_at_start = boxes_shown_;
    if (EngineeringChordHeld())
        UpdateEngineering(run);
    else
        UpdateNormal(run);
    work_timer_ = nullptr;
    ReleaseVolumes(run);
    FinishResult(run);
}

bool TOrvaneMain::TakeTarget(UpdateRun& run) {
    const int item = view_.SelectedItem(Control::cboDrives);
    const int entry = selection_.EntryOf(item);
    if (!m_Device || entry < 0) return false;
    // The device object is open on the drive the selection handler took: the list must show it.
    if (entry != selection_.entry) {
        LogLine(Format("cmdUpdateClick: item %d was not opened by the selection; opening it", item));
        SelectDrive();
        if (selection_.entry != entry) return false;
    }
    UpdateTarget& t = run.target;
    const DEV_INFO& e = drives_.m_DevInfo[entry];
    t.entry = entry;
    t.item = item;
    t.drive = e;
    t.serial = selection_.TargetSerial;
    t.path = selection_.TargetPath;
    t.address = address_;
    if (address_.gScanType == kScanCsmi && !opt().bUnattended) {
        t.address.m_ScsiPort = e.order;
        t.address.m_SasAddr = e.SasAddr;
    }
    t.opened = selection_.opened;
    t.transport = m_Device->protocol();
    t.transport_name = m_Device->protocol_name();
    t.slot = selection_.m_SelectedSlot;
    t.new_fw = selection_.m_lblNewFW;
    t.fw_ext = selection_.m_lblFWExt;
    const int slot_item = view_.SelectedItem(Control::cboFwSlot);
    const int action_item = view_.SelectedItem(Control::cboCommitAction);
    t.fw_slot = (slot_item < 0 ? 0 : slot_item) + 1;
    t.commit_action = action_item < 0 ? 3 : action_item;
    t.boot = e.bSystemDrive;
    run.result = ResultEntry(entry);
    return true;
}

bool TOrvaneMain::RefusedWhileUpdating(const char* event) {
    if (!m_bUpdating && !walk_.active) return false;
    LogLine(Format(ut::kRefusedWhileUpdating, event));
    return true;
}

void TOrvaneMain::LockTarget(bool locked) {
    m_bUpdating = locked;
    // The machine must not sleep in the middle of a download.
    ctx_.platform.system.KeepAwake(locked);
    for (Control c : {Control::cboDrives, Control::cboFwSlot, Control::cboCommitAction})
        view_.SetEnabled(c, !locked);
    view_.SetEnabled(Control::cmdUpdate, !locked && UpdateOffered());
}

void TOrvaneMain::UpdateNormal(UpdateRun& run) {
    const package::PackageOptions& o = opt();
    const DEV_INFO& e = run.target.drive;
    LockTarget(true);
    LogLine(Format("iVisualStyle:%d, iFlashMode:%d, bNFlashAuto:%d, bFOld:%d, iFlashMode:%d\n", o.iVisualStyle,
                   o.iFlashMode, o.bNFlashAuto, o.bFOld, o.iFlashMode));

    if (auto v = CheckNvmeSupport(run)) return Ending(run, *v);
    if (CheckFatalError(e)) {
        Box(kErrorCaption, ut::kFatalError, BoxButtons::Ok, BoxIcon::Error);
        LogLine(ut::kFatalError);
        return Ending(run, Verdict{1, outcome::Refused(ut::kFatalError)});
    }
    if (bEraseAll && !run.target.boot) {
        if (!run.target.opened) return Failure(run, outcome::Refused(ut::kOpenFailed), ut::kOpenFailed);
        // The user who watches is asked, naming the disk; "/S /ERASE" asks nobody.
        if (UserWatches() && !ConfirmErase(run)) return Ending(run, Verdict{1, outcome::Refused(ut::kEraseDeclined)});
        if (auto v = CheckPower()) return Ending(run, *v);
        return Ending(run, Erase(run));
    }
    if (!bEraseAll) {
        if (auto v = PrepareImage(run)) return Failure(run, v->outcome);
    }
    // An erase, too, is refused on the disk the running system starts from.
    if ((o.bBPreformat || o.Preformat || bEraseAll) && run.target.boot) {
        Box(ut::kInformationCaption, ut::kBootDriveGuard, BoxButtons::Ok, BoxIcon::Warning);
        LogLine("BOOT_DRIVE: refused\n");
        return Ending(run, Verdict{3, outcome::Refused(ut::kBootDriveGuard)});
    }
    if (auto v = CheckLatest(run)) return Ending(run, *v);
    // A drive already up to date is told so; any other is refused the placeholder.
    if (run.placeholder) return Failure(run, outcome::Refused(run.error));
    if (!o.bWinFlash) return BootTimeRoute(run);
    if (auto v = CheckBeforeWrite(run)) return Failure(run, v->outcome);
    if (auto v = CheckPower()) return Ending(run, *v);
    if (auto v = LockVolumes(run)) return Ending(run, *v);
    RunNormalFlash(run);
}

MF_THREAD_PARAMETER TOrvaneMain::DownloadJob(const UpdateRun& run, const uint8_t* image, uint32_t size) const {
    MF_THREAD_PARAMETER job;
    job.device = m_Device.get();
    job.image = image;
    job.size = size;
    job.max_sector = 1;
    job.reboot = opt().ReBoot;
    job.flash_mode = m_Package.opt.iFlashMode;
    job.update_boot = opt().bUpdateBoot;
    job.kind = kJobDownload;
    job.nvme = run.target.drive.bIsNvme;
    job.fw_slot = run.target.fw_slot;
    job.commit_action = run.target.commit_action;
    return job;
}

void TOrvaneMain::RunNormalFlash(UpdateRun& run) {
    const package::PackageOptions& o = opt();
    const DEV_INFO& e = run.target.drive;
    const TargetAddress& a = run.target.address;
    LogLine("Windows Flash START\n");
    if (!a.m_DevPath.empty()) LogLine(Format("DEV_PATH: %s\n", a.m_DevPath.c_str()));
    if (a.gScanType == kScanCsmi)
        LogLine(Format("SCSI_PORT: %d, SAS_ADDR: %llX\n", a.m_ScsiPort, static_cast<unsigned long long>(a.m_SasAddr)));

    if (o.bBPreformat) {
        LogLine("B_Preformat START\n");
        if (auto v = PreformatStep(run, "Preformating ...", "BPF_ERROR:0x%X", "BPF_ERROR:0x%X\n")) return Ending(run, *v);
    }

    LogLine("Flash FW START\n");
    LogLine(Format("BinSize: 0x%X\n", run.image_length));
    ShowStatus("FW updating ...");
    run.success = false;
    progress_.iPhase = 1;

    if (m_Package.opt.iFlashMode != 1) {
        LogLine(Format("iFlashMode=%d,DEF%s=%.7s [1st digit:%s]\n", m_Package.opt.iFlashMode, CharText(e.szDEF[7]).c_str(),
                       text::FieldText(e.szDEF).c_str(), CharText(e.szDEF[0]).c_str()));
        if (ForcesMode3(e.szDEF)) {
            // The controller takes the mode-3 download only: so for the rest of this run.
            m_Package.opt.iFlashMode = 1;
            LogLine(Format("CTL - iFlashMode=mode3 (%d)\n", 1));
        }
    }
    const MF_THREAD_PARAMETER job = DownloadJob(run, m_ImageBuffer.data(), run.image_length);

    LogLine(Format("max_sector=%d\n", 1));
    run.download_sent = true;
    const int32_t r = RunFlashJob(job);
    LogLine(Format("ATACMD_RET: 0x%X       //0=OK, 1=ERR, 2=TIMEOUT, 0xFE=FAIL, 0xFF=SYS NOT SUPPORT\n",
                   static_cast<unsigned>(r)));
    run.iLastResult = r;
    run.iLastDetail = r == device::ATACMD_ERR ? m_Device->bLastStatus
                      : r == device::ATACMD_FAIL ? static_cast<int>(m_Device->dwLastError)
                                                 : 0;
    if (r == device::ATACMD_OK) {
        run.success = true;
        run.restart_needed = e.bIsNvme && m_Device->nvme_restart_required();
        run.delay.DelayMs(500);
    }

    LogLine(Format("ReBoot:%d, AHCI:%d, Preformat:%d\n", o.ReBoot, e.bIsAhci, o.Preformat));
    progress_.iPhase = 2;
    // An NVMe drive that activates at the next restart still reports its old firmware now.
    if (!walk_.bNextPending && o.ReBoot && !run.restart_needed) {
        const bool sent = run.success;
        FindDriveAgain(run);
        // A drive gone, or back with its old firmware, did not take the update; one back with
        // the new revision and DEF text did, whatever the download's last answer was.
        if (run.lost || !run.still_reports.empty()) {
            run.success = false;
            if (sent) run.error = run.lost ? std::string(ut::kNotFoundAgain) : Format(ut::kStillOld, run.still_reports.c_str());
            if (sent && run.lost) return Failure(run, outcome::kNotFoundAgain);
        } else if (run.verified) {
            run.success = true;
        }
    }
    if (run.success) return Success(run);
    Failure(run);
}

void TOrvaneMain::Success(UpdateRun& run) {
    const package::PackageOptions& o = opt();
    progress_.iPhase = 3;
    if (!run.lost && o.Preformat) {
        if (auto v = PreformatStep(run, "Preformating ...", "APF_ERROR:0x%X", "APF_ERROR:0x%X\n")) return Ending(run, *v);
    }
    const bool next = walk_.bNextPending;
    if (!next) {
        run.delay.DelayMs(1000);
        m_Device.reset();
        // Nothing more is written; the refresh below may remove the disk, which open volumes would stop.
        ReleaseVolumes(run);
        progress_.iPhase = 4;
        if (!run.target.boot && !(o.bAskReboot || run.verified || o.bAskShutdown || o.bUnattended)) {
            ShowStatus("Updating device information ...");
            RunJob(kJobRefreshBus, run.target.path);
        }
    }
    // Read back with its new revision: updated. Otherwise it takes effect at a restart, or a
    // walk's last scan verifies it.
    const bool read_back = run.revision_after.has_value();
    if (next && o.ReBoot && !run.restart_needed)
        walk_.unverified.push_back(WalkDrive{run.result, run.target.serial, run.target.new_fw, run.target.fw_ext});
    walk_.restart_needed = walk_.restart_needed || run.restart_needed;
    if (!next && walk_.active) FinishWalk();
    progress_.iPhase = 5;
    LogLine(ut::kFlashFinished);
    if (next)
        ShowStatus("Next");
    else if (o.iVisualStyle == 9)
        Box(ut::kInformationCaption, ut::kFlashFinished, BoxButtons::Ok, BoxIcon::Information);
    else if (bSilent || o.bUnattended)
        ShowStatus("Done !");
    else
        Box(ut::kInformationCaption, ut::kFlashFinished, BoxButtons::Ok, BoxIcon::Information);
    if (!o.bUnattended) run.delay.DelayMs(2000);
    // The compact panel's bar shows the update done before the last question, not where its
    // timer had got to.
    if (!next && progress_.running) {
        progress_.position = 100;
        view_.SetProgress(100);
    }
    if (!next) {
        if (o.bAskReboot || run.restart_needed || walk_.restart_needed)
            AskRestart(platform::ExitKind::Reboot, ut::kRebootQuestion);
        else if (o.bAskShutdown)
            AskRestart(platform::ExitKind::Shutdown, ut::kShutdownQuestion);
        run.restart_asked = true;
    }
    Ending(run, Verdict{0, read_back ? outcome::kUpdated : outcome::kPending});
}

void TOrvaneMain::AskRestart(platform::ExitKind kind, const char* question) {
    // "/S" restarts without asking; a shutdown is always asked.
    const bool yes = (kind == platform::ExitKind::Reboot && bSilent) ||
                     Box(ut::kQuestionCaption, question, BoxButtons::YesNo, BoxIcon::Question) == BoxAnswer::Yes;
    if (!yes) return;
    // Done when the program ends, after the last line of the log.
    m_PendingExit = kind;
    LogLine(kind == platform::ExitKind::Reboot ? "RESTART requested\n" : "SHUTDOWN requested\n");
}

void TOrvaneMain::Failure(UpdateRun& run, std::string outcome_text, std::string error) {
    std::string text = error.empty() ? run.error : error;
    if (text.empty()) {
        switch (run.iLastResult) {
            case device::ATACMD_ERR: text = Format("ERROR: ATACMD_ERR, STATUS_REGISTER:0x%X", run.iLastDetail); break;
            case device::ATACMD_TIMEOUT: text = ut::kTimeoutError; break;
            case device::ATACMD_FAIL: text = Format("ERROR: ATACMD_FAIL, ERROR_CODE: 0x%X", run.iLastDetail); break;
            case device::ATACMD_NOT_SUPPORT: text = "ERROR: ATACMD_SYS_NOT_SUPPORT"; break;
            default: break;
        }
    }
    LogLine(text);
    ShowStatus(text);
    if (outcome_text.empty())
        outcome_text =
            outcome::Failed(text.empty() ? Format("result 0x%X", static_cast<unsigned>(run.iLastResult)) : text);
    run.delay.DelayMs(1000);
    Ending(run, Verdict{1, outcome_text});
}

void TOrvaneMain::Ending(UpdateRun& run, const Verdict& v) {
    // The last drive of a walk ends the walk: the drives before it are verified and the restart
    // any of them needs is asked for.
    if (walk_.active && !walk_.bNextPending) {
        FinishWalk();
        if (walk_.restart_needed && !run.restart_asked) AskRestart(platform::ExitKind::Reboot, ut::kRebootQuestion);
    }
    iErrorLevel = v.exit_code;
    run.outcome = v.outcome.empty() ? outcome::Failed("no outcome was recorded") : v.outcome;
    LockTarget(false);
    run.total.Stop();
    run.work.Stop();
    LogLine(Format("Flash Total Time : %.2f\n", run.total.TotalSeconds()));
    ShowEndBox(run);
    if (opt().bUnattended) {
        if (iErrorLevel != 0) {
            m_bClosing = true;
            // The progress timer shows why the run stopped before the program ends.
            if (progress_.running) Timer2Timer();
            EndProgram();
        } else {
            // A finished run lets the progress bar run out; without it nothing else would end it.
            progress_.iPhase = 5;
            if (!progress_.running) EndProgram();
        }
    } else if (!walk_.bNextPending) {
        EndProgram();
    }
}

}  // namespace orvane::app
