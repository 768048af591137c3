// The Update command's engineering path: the chord held at the click flashes a chosen file to
// the selected drive with the plain download flow.
#include "app/update_run.h"
#include "app/update_texts.h"
#include "device/download_flows.h"

namespace orvane::app {

namespace ut = update_text;

namespace {
const FileDialogRequest kFirmwareFileDialog{"Firmware Files (*.BIN) |*.BIN", "BIN", true};
}  // namespace

bool TOrvaneMain::EngineeringChordHeld() const {
    return view_.KeyDown(Key::Control) && view_.KeyDown(Key::Shift) &&
           (view_.KeyDown(Key::K) || view_.KeyDown(Key::F9));
}

void TOrvaneMain::UpdateEngineering(UpdateRun& run) {
    std::optional<std::string> file = view_.OpenFileDialog(kFirmwareFileDialog);
    if (!file) {
        run.total.Stop();
        run.work.Stop();
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
        // The program goes on, but a caller must not read its end as a flashed drive.
        iErrorLevel = 1;
        run.total.Stop();
        run.work.Stop();
        return;
    }
    if (auto v = CheckPower()) {
        run.outcome = v->outcome;
        iErrorLevel = v->exit_code;
        run.total.Stop();
        run.work.Stop();
        return;
    }
    LockTarget(true);
    // The chosen file goes as it is, over the ATA flow, with no restart and no boot code.
    MF_THREAD_PARAMETER job = DownloadJob(run, bytes->data(), static_cast<uint32_t>(bytes->size()));
    job.reboot = 0;
    job.update_boot = 0;
    job.nvme = 0;
    run.download_sent = true;
    const int32_t r = RunFlashJob(job);
    LockTarget(false);
    // The drive took the chosen file, but nothing reads its revision again on this path.
    run.outcome = r == device::ATACMD_OK ? std::string(outcome::kPending) : outcome::Failed(ut::kFlashFailed);
    iErrorLevel = r == device::ATACMD_OK ? 0 : 1;
    if (r == device::ATACMD_OK)
        Box(ut::kInformationCaption, ut::kFlashOk, BoxButtons::Ok, BoxIcon::Information);
    else
        Box(kErrorCaption, ut::kFlashFailed, BoxButtons::Ok, BoxIcon::Error);
    run.total.Stop();
    run.work.Stop();
    LogLine(Format("Flash Total Time : %.2f\n", run.total.TotalSeconds()));
}

}  // namespace orvane::app
