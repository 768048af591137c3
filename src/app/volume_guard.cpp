// Before an erase or a preformat destroys a drive's data, every volume on it is locked and
// dismounted, and stays so until the Update command ends; a volume in use refuses the command
// before anything is sent to the drive.
#include "app/update_run.h"
#include "app/update_texts.h"
#include "device/volume_lock.h"

namespace orvane::app {

namespace ut = update_text;

namespace {

const char* PlaceText(device::VolumePlace place) {
    return place == device::VolumePlace::NotADisk ? "not a disk" : "on another disk";
}

}  // namespace

int TOrvaneMain::DiskNumberOf(const DEV_INFO& e, const TargetAddress& a) {
    // A drive behind a RAID controller's port is no disk of Windows' own.
    if (a.gScanType == kScanCsmi || !m_Device) return -1;
    const std::string path = !e.bIsNvme && !a.m_DevPath.empty() ? a.m_DevPath : text::FieldText(e.szDevicePath);
    return path.empty() ? -1 : m_Device->device_manager().get_device_number(path);
}

std::string TOrvaneMain::LockDriveVolumes(const DEV_INFO& e, const TargetAddress& a, device::VolumeLock& out) {
    const int disk = DiskNumberOf(e, a);
    if (disk >= 0)
        LogLine(Format("VOLUME_LOCK: disk %d\n", disk));
    else
        LogLine("VOLUME_LOCK: the drive's disk number is unknown: every volume counts as on it\n");
    if (!ctx_.platform.storage) {
        LogLine("VOLUME_LOCK: no storage layer\n");
        return Format(ut::kVolumesNotListed, platform::kErrorNotSupported);
    }
    out = device::VolumeLock::Acquire(*ctx_.platform.storage, disk);
    for (const device::VolumeReport& v : out.volumes()) {
        if (v.locked)
            LogLine(Format("VOLUME_LOCK: %s locked and dismounted%s\n", v.label.c_str(),
                           v.place == device::VolumePlace::Unknown ? " (its disk is unknown)" : ""));
        else if (v.place == device::VolumePlace::OffDisk || v.place == device::VolumePlace::NotADisk)
            LogLine(Format("VOLUME_LOCK: %s %s\n", v.label.c_str(), PlaceText(v.place)));
    }
    if (out.ok()) {
        if (out.held() == 0) LogLine("VOLUME_LOCK: no volume on the drive\n");
        return std::string();
    }
    const device::VolumeRefusal& r = *out.refusal();
    const char* label = r.label.c_str();
    switch (r.step) {
        case device::VolumeRefusal::List:
            LogLine(Format("VOLUME_LOCK: volumes not listed (error %u)\n", r.error));
            return Format(ut::kVolumesNotListed, r.error);
        case device::VolumeRefusal::Open: LogLine(Format("VOLUME_LOCK: %s not opened (error %u)\n", label, r.error)); break;
        case device::VolumeRefusal::Lock: LogLine(Format("VOLUME_LOCK: %s refused (error %u)\n", label, r.error)); break;
        case device::VolumeRefusal::Dismount:
            LogLine(Format("VOLUME_LOCK: %s not dismounted (error %u)\n", label, r.error));
            break;
    }
    // All or none: those locked before the refused one were given up again.
    unsigned given_up = 0;
    for (const device::VolumeReport& v : out.volumes()) given_up += v.locked ? 1 : 0;
    if (given_up) LogLine(Format("VOLUME_LOCK: %u let go again\n", given_up));
    if (!r.in_use()) return Format(ut::kVolumeNotLocked, label, r.error);
    const bool known = !out.volumes().empty() && out.volumes().back().place == device::VolumePlace::OnDisk;
    return Format(known ? ut::kVolumeInUse : ut::kVolumeMaybeInUse, label);
}

std::optional<Verdict> TOrvaneMain::LockVolumes(UpdateRun& run) {
    if (!bEraseAll && !opt().bBPreformat && !opt().Preformat) return std::nullopt;
    const std::string refusal = LockDriveVolumes(run.target.drive, run.target.address, run.volumes);
    if (refusal.empty()) return std::nullopt;
    LogLine(refusal + "\n");
    ShowStatus(refusal);
    if (MayShowBox()) Box(kErrorCaption, refusal, BoxButtons::Ok, BoxIcon::Error);
    return Verdict{1, outcome::Refused(refusal)};
}

void TOrvaneMain::ReleaseVolumes(UpdateRun& run) {
    const size_t held = run.volumes.held();
    if (held == 0) return;
    run.volumes.Release();
    LogLine(Format("VOLUME_LOCK: %u released\n", static_cast<unsigned>(held)));
}

}  // namespace orvane::app
