// The Update command: one drive carried through the checks, the download, the re-finding and
// the report; and the engineering path that flashes a chosen file.
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

const FileDialogRequest kFirmwareFileDialog{"Firmware Files (*.BIN) |*.BIN", "BIN", true};

}  // namespace

bool TOrvaneMain::CheckFatalError(const DEV_INFO& e) {
    if (!MayReportFatal(e.szDEF) || !m_Device) return false;
    std::memset(m_Device->read_buffer(), 0, 512);
    if (m_Device->vendor_read_buffer(3, 0) != device::ATACMD_OK) return false;
    static const uint8_t kZeros[512] = {};
    return std::memcmp(m_Device->read_buffer(), kZeros, 512) != 0;
}

int32_t TOrvaneMain::RunJob(int kind, const std::string& path) {
    _MF_THREAD_PARAMETER job;
    job.kind = kind;
    job.path = path;
    if (kind != kJobRefreshBus) job.device = m_Device.get();
    return RunFlashJob(job);
}

void TOrvaneMain::cmdUpdateClick() {
    // A job already runs (the engineering path leaves Update enabled): one at a time.
    if (m_bUpdating) {
        LogLine("cmdUpdateClick: an update is already running");
        return;
    }
    const int item = view_.SelectedItem(Control::cboDrives);
    UpdateRun run(ctx_.platform.clock, ctx_.platform.pump);
    run.os_code = system::OSVersionCode(ctx_.platform.system);
    run.total.Start(true);
    run.drive = item >= 0 && item < m_ItemCount ? m_ItemToDrive[item] : -1;
    // Without a device object or a drive there is nothing to update.
    if (!m_Device || run.drive < 0) {
        LogLine("cmdUpdateClick: no drive to update");
        iErrorLevel = 1;
        if (!bNextPending) EndProgram();
        return;
    }
    run.boot = m_DevInfo[run.drive].bSystemDrive;
    run.result = ResultEntry(run.drive);
    run.transport = m_Device->protocol_name();
    if (EngineeringChordHeld())
        UpdateEngineering(run);
    else
        UpdateNormal(run);
    FinishResult(run);
}

void TOrvaneMain::UpdateNormal(UpdateRun& run) {
    const package::PackageOptions& o = opt();
    DEV_INFO& e = m_DevInfo[run.drive];
    view_.SetEnabled(Control::cmdUpdate, false);
    m_bUpdating = true;
    // The machine must not sleep in the middle of a download; Ending lets it again.
    ctx_.platform.system.KeepAwake(true);
    LogLine(Format("iVisualStyle:%d, iFlashMode:%d, bNFlashAuto:%d, bFOld:%d, iFlashMode:%d\n", o.iVisualStyle,
                   o.iFlashMode, o.bNFlashAuto, o.bFOld, o.iFlashMode));

    if (e.bIsNvme) {
        // Decided from the version the system really runs: the version code gives Windows 10
        // and 11 family 0, below the code of Windows 8.1.
        platform::OsVersion v;
        const bool new_enough = ctx_.platform.system.GetTrueVersion(v) && NvmeCapableVersion(v);
        if (!new_enough || !e.bIsNVMe_InBoxDriver) {
            const std::string text = new_enough ? std::string(ut::kInboxDriverRequired) : Format(ut::kWindowsRequired, run.os_code);
            LogLine(text);
            Box(kErrorCaption, text, BoxButtons::Ok, BoxIcon::Error);
            run.outcome = outcome::Refused(text);
            iErrorLevel = 7;
            return Ending(run);
        }
    }

    if (CheckFatalError(e)) {
        Box(kErrorCaption, ut::kFatalError, BoxButtons::Ok, BoxIcon::Error);
        LogLine(ut::kFatalError);
        run.outcome = outcome::Refused(ut::kFatalError);
        iErrorLevel = 1;
        return Ending(run);
    }

    const bool erase_capable = o.bBPreformat || o.Preformat || bEraseAll;
    if (bEraseAll && !run.boot) {
        LogLine("EraseAll START\n");
        ShowStatus("Erasing ...");
        run.delay.DelayMs(500);
        if (RunJob(kJobPreformat) != device::ATACMD_OK) {
            const uint32_t err = m_Device ? m_Device->dwLastError : 0;
            ShowStatus(Format("ERASE ERROR:0x%X", err));
            LogLine(Format("ERASE_ERROR:0x%X\n", err));
            run.outcome = outcome::Failed(Format("ERASE ERROR:0x%X", err));
            iErrorLevel = 1;
        } else {
            run.outcome = outcome::kErased;
            iErrorLevel = 0;
        }
        return Ending(run);
    }

    if (!bEraseAll) {
        const int32_t length = package::LoadSlotImage(m_Package, static_cast<int>(m_SelectedSlot), m_ImageBuffer.data());
        bool prepared = length >= 0;
        if (prepared && !o.bWinFlash) {
            package::AesCipher cipher;
            prepared = package::DecipherImage(cipher, m_ImageBuffer.data(), static_cast<size_t>(length));
        }
        if (!prepared) {
            run.error = Format(ut::kImageUnusable, static_cast<int>(m_SelectedSlot));
            run.outcome = outcome::Refused(run.error);
            return Failure(run);
        }
        m_ImageLength = static_cast<uint32_t>(length);
    }

    // An erase, too, is refused on the disk the running system starts from.
    if (erase_capable && run.boot) {
        Box(ut::kInformationCaption, ut::kBootDriveGuard, BoxButtons::Ok, BoxIcon::Warning);
        LogLine("BOOT_DRIVE: refused\n");
        run.outcome = outcome::Refused(ut::kBootDriveGuard);
        iErrorLevel = 3;
        return Ending(run);
    }

    const package::SlotInfo& slot = m_Package.slots[m_SelectedSlot < package::kSlotCount ? m_SelectedSlot : 0];
    LogLine(Format("UP. bNFlash=%d,bFOld=%d, DEF7:%.8s%.8s DEF8:%.7s %.7s \n", o.bNFlashAuto, o.bFOld,
                   text::FieldText(e.szFW).c_str(), text::FieldText(slot.new_fw).c_str(),
                   text::FieldText(e.szDEF).c_str(), text::FieldText(slot.fw_ext).c_str()));
    const LatestCheck latest = IsLatestFirmware(e.szFW, e.szDEF, slot, o);
    if (!o.bUseFWExt) LogLine(Format("FW compare size: %d\n", latest.compare_size));
    if (latest.latest) {
        LogLine(o.bUseFWExt ? "bUseFWExt=true,This drive is the latest firmware\n"
                            : "bUseFWExt=false,This drive is the latest firmware\n");
        ShowStatus(ut::kLatest);
        iPhase = 5;
        run.delay.DelayMs(3000);
        run.outcome = outcome::kAlreadyLatest;
        iErrorLevel = 0;
        return Ending(run);
    }

    if (!o.bWinFlash) return BootTimeRoute(run);
    RunNormalFlash(run);
}

void TOrvaneMain::RunNormalFlash(UpdateRun& run) {
    const package::PackageOptions& o = opt();
    DEV_INFO& e = m_DevInfo[run.drive];
    LogLine("Windows Flash START\n");
    if (!m_DevPath.empty()) LogLine(Format("DEV_PATH: %s\n", m_DevPath.c_str()));
    if (gScanType == kScanCsmi)
        LogLine(Format("SCSI_PORT: %d, SAS_ADDR: %llX\n", m_ScsiPort, static_cast<unsigned long long>(m_SasAddr)));

    if (o.bBPreformat) {
        LogLine("B_Preformat START\n");
        ShowStatus("Preformating ...");
        run.delay.DelayMs(500);
        if (RunJob(kJobPreformat) != device::ATACMD_OK) {
            const uint32_t err = m_Device->dwLastError;
            ShowStatus(Format("BPF_ERROR:0x%X", err));
            LogLine(Format("BPF_ERROR:0x%X\n", err));
            run.outcome = outcome::Failed(Format("BPF_ERROR:0x%X", err));
            iErrorLevel = 1;
            return Ending(run);
        }
    }

    LogLine("Flash FW START\n");
    LogLine(Format("BinSize: 0x%X\n", m_ImageLength));
    ShowStatus("FW updating ...");
    run.success = false;
    iPhase = 1;

    const std::string def = text::FieldText(e.szDEF);
    if (m_Package.opt.iFlashMode != 1) {
        LogLine(Format("iFlashMode=%d,DEF%c=%.7s [1st digit:%c]\n", m_Package.opt.iFlashMode, e.szDEF[7],
                       def.c_str(), e.szDEF[0]));
        if (ForcesMode3(e.szDEF)) {
            // The controller takes the mode-3 download only: so for the rest of this run.
            m_Package.opt.iFlashMode = 1;
            LogLine(Format("CTL - iFlashMode=mode3 (%d)\n", 1));
        }
    }

    _MF_THREAD_PARAMETER job;
    job.device = m_Device.get();
    job.image = m_ImageBuffer.data();
    job.size = m_ImageLength;
    job.max_sector = 1;
    job.reboot = o.ReBoot;
    job.flash_mode = m_Package.opt.iFlashMode;
    job.update_boot = o.bUpdateBoot;
    job.kind = kJobDownload;
    job.nvme = e.bIsNvme;
    const int slot_item = view_.SelectedItem(Control::cboFwSlot);
    const int action_item = view_.SelectedItem(Control::cboCommitAction);
    job.fw_slot = (slot_item < 0 ? 0 : slot_item) + 1;
    job.commit_action = action_item < 0 ? 3 : action_item;

    // A connection that cannot carry the chunks' offsets would put every chunk at offset 0.
    std::string why;
    if (!e.bIsNvme && !m_Device->carries_download(&why)) {
        LogLine("DOWNLOAD_REFUSED: " + why + "\n");
        run.error = why;
        run.outcome = outcome::Refused(why);
        return Failure(run);
    }

    LogLine(Format("max_sector=%d\n", 1));
    run.download_sent = true;
    const int32_t r = RunFlashJob(job);
    LogLine(Format("ATACMD_RET: 0x%X       //0=OK, 1=ERR, 2=TIMEOUT, 0xFE=FAIL, 0xFF=SYS NOT SUPPORT\n",
                   static_cast<unsigned>(r)));
    if (r == device::ATACMD_ERR) {
        iLastResult = r;
        iLastDetail = m_Device->bLastStatus;
    } else if (r == device::ATACMD_FAIL) {
        iLastResult = r;
        iLastDetail = static_cast<int>(m_Device->dwLastError);
    } else if (r == device::ATACMD_OK) {
        run.success = true;
        run.restart_needed = e.bIsNvme && m_Device->nvme_restart_required();
        run.delay.DelayMs(500);
    } else {
        iLastResult = r;
        iLastDetail = 0;
    }

    LogLine(Format("ReBoot:%d, AHCI:%d, Preformat:%d\n", o.ReBoot, bIsAhci, o.Preformat));
    iPhase = 2;
    // An NVMe drive that activates at the next restart still reports its old firmware now.
    if (run.success && !bNextPending && o.ReBoot && !run.restart_needed) FindDriveAgain(run);
    if (run.success) return Success(run);
    Failure(run);
}

void TOrvaneMain::Success(UpdateRun& run) {
    const package::PackageOptions& o = opt();
    iPhase = 3;
    if (!run.lost && o.Preformat) {
        ShowStatus("Preformating ...");
        run.delay.DelayMs(500);
        if (RunJob(kJobPreformat) != device::ATACMD_OK) {
            const uint32_t err = m_Device ? m_Device->dwLastError : 0;
            ShowStatus(Format("APF_ERROR:0x%X", err));
            LogLine(Format("APF_ERROR:0x%X\n", err));
            run.outcome = outcome::Failed(Format("APF_ERROR:0x%X", err));
            iErrorLevel = 1;
            return Ending(run);
        }
    }
    if (!bNextPending) {
        run.delay.DelayMs(1000);
        m_Device.reset();
        iPhase = 4;
        if (!run.boot && !(o.bAskReboot || run.verified || o.bAskShutdown || o.bUnattended)) {
            ShowStatus("Updating device information ...");
            RunJob(kJobRefreshBus, TargetPath);
        }
    }
    iPhase = 5;
    LogLine(ut::kFlashFinished);
    run.outcome = outcome::kUpdated;
    if (bNextPending)
        ShowStatus("Next");
    else if (o.iVisualStyle == 9)
        Box(ut::kInformationCaption, ut::kFlashFinished, BoxButtons::Ok, BoxIcon::Information);
    else if (bSilent || o.bUnattended)
        ShowStatus("Done !");
    else
        Box(ut::kInformationCaption, ut::kFlashFinished, BoxButtons::Ok, BoxIcon::Information);
    if (!o.bUnattended) run.delay.DelayMs(2000);
    if (!bNextPending) {
        if (o.bAskReboot || run.restart_needed)
            AskRestart(platform::ExitKind::Reboot, ut::kRebootQuestion);
        else if (o.bAskShutdown)
            AskRestart(platform::ExitKind::Shutdown, ut::kShutdownQuestion);
    }
    iErrorLevel = 0;
    Ending(run);
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

void TOrvaneMain::Failure(UpdateRun& run) {
    std::string text = run.error;
    if (text.empty()) {
        switch (iLastResult) {
            case device::ATACMD_ERR: text = Format("ERROR: ATACMD_ERR, STATUS_REGISTER:0x%X", iLastDetail); break;
            case device::ATACMD_TIMEOUT: text = ut::kTimeoutError; break;
            case device::ATACMD_FAIL: text = Format("ERROR: ATACMD_FAIL, ERROR_CODE: 0x%X", iLastDetail); break;
            case device::ATACMD_NOT_SUPPORT: text = "ERROR: ATACMD_SYS_NOT_SUPPORT"; break;
            default: break;
        }
    }
    LogLine(text);
    ShowStatus(text);
    if (run.outcome.empty())
        run.outcome = outcome::Failed(text.empty() ? Format("result 0x%X", static_cast<unsigned>(iLastResult)) : text);
    run.delay.DelayMs(1000);
    iErrorLevel = 1;
    Ending(run);
}

void TOrvaneMain::Ending(UpdateRun& run) {
    m_bUpdating = false;
    ctx_.platform.system.KeepAwake(false);
    run.total.Stop();
    // Every way here decided the drive's outcome; one that did not must not read as success.
    if (run.outcome.empty()) run.outcome = outcome::Failed("no outcome was recorded");
    LogLine(Format("Flash Total Time : %.2f\n", run.total.TotalSeconds()));
    if (opt().bUnattended) {
        if (iErrorLevel != 0) {
            m_bClosing = true;
            // The progress timer shows why the run stopped before the program ends.
            if (m_Timer2Running) Timer2Timer();
            EndProgram();
        } else {
            // A finished run lets the progress bar run out; without it nothing else would end it.
            iPhase = 5;
            if (!m_Timer2Running) EndProgram();
        }
    } else if (!bNextPending) {
        EndProgram();
    }
}

void TOrvaneMain::UpdateEngineering(UpdateRun& run) {
    std::optional<std::string> file = view_.OpenFileDialog(kFirmwareFileDialog);
    if (!file) {
        run.total.Stop();
        return;
    }
    std::optional<std::vector<uint8_t>> bytes = ctx_.platform.system.ReadFile(*file);
    std::string refusal;
    if (!bytes)
        refusal = ut::kFileUnreadable;
    else if (bytes->size() > device::kDeviceBufferSize)
        refusal = Format(ut::kFileTooLarge, static_cast<unsigned>(device::kDeviceBufferSize));
    if (!refusal.empty()) {
        LogLine(refusal);
        Box(kErrorCaption, refusal, BoxButtons::Ok, BoxIcon::Error);
        run.outcome = outcome::Refused(refusal);
        run.total.Stop();
        return;
    }
    m_bUpdating = true;
    ctx_.platform.system.KeepAwake(true);
    _MF_THREAD_PARAMETER job;
    job.device = m_Device.get();
    job.image = bytes->data();
    job.size = static_cast<uint32_t>(bytes->size());
    job.flash_mode = m_Package.opt.iFlashMode;
    job.max_sector = 1;
    job.kind = kJobDownload;
    run.download_sent = true;
    const int32_t r = RunFlashJob(job);
    m_bUpdating = false;
    ctx_.platform.system.KeepAwake(false);
    // The drive accepted the chosen file: nothing reads its revision again on this path.
    run.outcome = r == device::ATACMD_OK ? std::string(outcome::kUpdated) : outcome::Failed(ut::kFlashFailed);
    if (r == device::ATACMD_OK)
        Box(ut::kInformationCaption, ut::kFlashOk, BoxButtons::Ok, BoxIcon::Information);
    else
        Box(kErrorCaption, ut::kFlashFailed, BoxButtons::Ok, BoxIcon::Error);
    run.total.Stop();
    LogLine(Format("Flash Total Time : %.2f\n", run.total.TotalSeconds()));
}

void TOrvaneMain::cmdCloseClick() {
    // Nothing shows this button: no user reaches this vendor preformat, which erases the drive.
    if (!m_Device || m_bUpdating) return;
    m_Device->identify_device();
    system::HiTimer delay(ctx_.platform.clock, &ctx_.platform.pump);
    delay.DelayMs(500);
    m_Device->preformat();
}

}  // namespace orvane::app
