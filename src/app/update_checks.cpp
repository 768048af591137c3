// The Update command's checks before the first command that changes the drive, and its
// preformat step: each returns how it ended the update, or nothing to go on.
#include <algorithm>
#include <cstring>

#include "app/update_run.h"
#include "app/update_rules.h"
#include "app/update_texts.h"
#include "package/aes_cipher.h"
#include "system/power_guard.h"

namespace orvane::app {

namespace ut = update_text;

bool TOrvaneMain::CheckFatalError(const DEV_INFO& e) {
    if (!MayReportFatal(e.szDEF) || !m_Device) return false;
    std::memset(m_Device->read_buffer(), 0, 512);
    if (m_Device->vendor_read_buffer(3, 0) != device::ATACMD_OK) return false;
    static const uint8_t kZeros[512] = {};
    return std::memcmp(m_Device->read_buffer(), kZeros, 512) != 0;
}

std::optional<Verdict> TOrvaneMain::CheckNvmeSupport(UpdateRun& run) {
    const DEV_INFO& e = run.target.drive;
    if (!e.bIsNvme) return std::nullopt;
    // Decided from the version the system really runs: the version code gives Windows 10 and
    // 11 family 0, below the code of Windows 8.1.
    platform::OsVersion v;
    const bool new_enough = ctx_.platform.system.GetTrueVersion(v) && NvmeCapableVersion(v);
    if (new_enough && e.bIsNVMe_InBoxDriver) return std::nullopt;
    const std::string text = new_enough ? std::string(ut::kInboxDriverRequired) : Format(ut::kWindowsRequired, run.os_code);
    LogLine(text);
    Box(kErrorCaption, text, BoxButtons::Ok, BoxIcon::Error);
    return Verdict{7, outcome::Refused(text)};
}

std::optional<Verdict> TOrvaneMain::PrepareImage(UpdateRun& run) {
    const int slot = static_cast<int>(run.target.slot);
    const int32_t length = package::LoadSlotImage(m_Package, slot, m_ImageBuffer.data());
    if (length < 0) {
        run.error = Format(ut::kImageUnusable, slot);
        return Verdict{1, outcome::Refused(run.error)};
    }
    // An image of one repeated byte is the build's placeholder, not firmware; checked on the
    // bytes as stored, since deciphering would make any of them look like data.
    const int32_t size = m_Package.slots[slot].size;
    const uint8_t* image = m_ImageBuffer.data();
    run.placeholder = size <= 0 || std::all_of(image, image + size, [&](uint8_t b) { return b == image[0]; });
    if (run.placeholder) run.error = Format(ut::kImagePlaceholder, slot, size, size > 0 ? image[0] : 0);
    if (!opt().bWinFlash) {
        package::AesCipher cipher;
        if (!package::DecipherImage(cipher, m_ImageBuffer.data(), static_cast<size_t>(length))) {
            run.error = Format(ut::kImageUnusable, slot);
            return Verdict{1, outcome::Refused(run.error)};
        }
    }
    run.image_length = static_cast<uint32_t>(length);
    return std::nullopt;
}

std::optional<Verdict> TOrvaneMain::CheckLatest(UpdateRun& run) {
    const package::PackageOptions& o = opt();
    const DEV_INFO& e = run.target.drive;
    const package::SlotInfo& slot = m_Package.slots[run.target.slot < package::kSlotCount ? run.target.slot : 0];
    LogLine(Format("UP. bNFlash=%d,bFOld=%d, DEF7:%.8s%.8s DEF8:%.7s %.7s \n", o.bNFlashAuto, o.bFOld,
                   text::FieldText(e.szFW).c_str(), text::FieldText(slot.new_fw).c_str(),
                   text::FieldText(e.szDEF).c_str(), text::FieldText(slot.fw_ext).c_str()));
    const LatestCheck latest = IsLatestFirmware(e.szFW, e.szDEF, slot, o);
    if (!o.bUseFWExt) LogLine(Format("FW compare size: %d\n", latest.compare_size));
    if (!latest.latest) return std::nullopt;
    LogLine(o.bUseFWExt ? "bUseFWExt=true,This drive is the latest firmware\n"
                        : "bUseFWExt=false,This drive is the latest firmware\n");
    ShowStatus(ut::kLatest);
    progress_.iPhase = 5;
    run.delay.DelayMs(3000);
    return Verdict{0, outcome::kAlreadyLatest};
}

std::optional<Verdict> TOrvaneMain::CheckBeforeWrite(UpdateRun& run) {
    const DEV_INFO& e = run.target.drive;
    if (!run.target.opened) {
        run.error = ut::kOpenFailed;
    } else if (!e.bIsNvme && opt().bWinFlash) {
        // A connection that cannot carry the chunks' offsets would put every chunk at offset 0.
        std::string why;
        if (m_Device->carries_download(&why)) return std::nullopt;
        LogLine("DOWNLOAD_REFUSED: " + why + "\n");
        run.error = why;
    } else {
        return std::nullopt;
    }
    return Verdict{1, outcome::Refused(run.error)};
}

std::optional<Verdict> TOrvaneMain::CheckPower() {
    const system::PowerVerdict power = system::JudgePower(ctx_.platform.system.GetPowerStatus());
    if (!power.refused) {
        LogLine("POWER: " + power.log + "\n");
        return std::nullopt;
    }
    LogLine("POWER_REFUSED: " + power.log + "\n");
    if (MayShowBox()) Box(kErrorCaption, power.reason, BoxButtons::Ok, BoxIcon::Warning);
    return Verdict{kExitPower, outcome::Refused(power.reason)};
}

std::optional<Verdict> TOrvaneMain::PreformatStep(UpdateRun& run, const char* status, const char* error_status,
                                                  const char* error_log) {
    ShowStatus(status);
    run.delay.DelayMs(500);
    if (RunJob(kJobPreformat) == device::ATACMD_OK) return std::nullopt;
    const uint32_t err = m_Device ? m_Device->dwLastError : 0;
    ShowStatus(Format(error_status, err));
    LogLine(Format(error_log, err));
    return Verdict{1, outcome::Failed(Format(error_status, err))};
}

Verdict TOrvaneMain::Erase(UpdateRun& run) {
    if (auto v = LockVolumes(run)) return *v;
    LogLine("EraseAll START\n");
    return PreformatStep(run, "Erasing ...", "ERASE ERROR:0x%X", "ERASE_ERROR:0x%X\n").value_or(Verdict{0, outcome::kErased});
}

}  // namespace orvane::app
