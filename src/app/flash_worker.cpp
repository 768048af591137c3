#include "app/flash_worker.h"

#include "app/debug_log.h"
#include "device/download_flows.h"
#include "discovery/dev_mgr.h"
#include "system/hi_timer.h"

namespace orvane::app {

namespace {
constexpr int kAttempts = 13;
}  // namespace

int NextMaxSector(int attempt, int current) {
    if (attempt == 1) return 1;
    if (attempt <= 7) return 64;
    switch (current) {
        case 1: return 64;
        case 64: return 8;
        case 8: return 7;
        case 7: return 4;
        case 4: return 1;
        default: return current;
    }
}

MFlashThread::MFlashThread(platform::Platform& platform, MF_THREAD_PARAMETER job, std::string log_path)
    : platform_(platform), job_(std::move(job)), log_path_(std::move(log_path)) {}

std::string MFlashThread::Now() { return LogDateTime(platform_.system.LocalTimeNow()); }

bool MFlashThread::Write(const std::string& text) { return platform_.system.AppendText(log_path_, text); }

void MFlashThread::Execute() {
    // Nothing may escape the thread: the window learns the outcome from the stored result alone.
    try {
        if (job_.device) {
            if (job_.kind == kJobDownload) Download();
            else if (job_.kind == kJobPreformat) Preformat();
        } else if (job_.kind == kJobRefreshBus) {
            if (job_.result) *job_.result = 1;
            RefreshBus();
        }
    } catch (...) {
    }
}

void MFlashThread::Download() {
    int32_t result = device::ATACMD_FAIL;
    system::HiTimer delay(platform_.clock, nullptr);
    device::TAtaDevice& dev = *job_.device;
    int max_sector = job_.max_sector;
    // The log counts as open for the whole job when its first line could be written.
    const bool log_open =
        Write(Format("%s Start UpdateFW , max_sector=%d, bIsNvme=%d, fwslot=%d, commit action=%d\n", Now().c_str(),
                     max_sector, job_.nvme, job_.fw_slot, job_.commit_action));
    if (job_.nvme) {
        const bool ok = dev.nvme_flash_firmware(job_.image, job_.size, static_cast<uint32_t>(job_.commit_action),
                                                static_cast<uint32_t>(job_.fw_slot));
        result = ok ? device::ATACMD_OK : device::ATACMD_FAIL;
    } else {
        for (int i = 0; i < kAttempts;) {
            ++i;
            result = dev.flash_firmware(job_.image, job_.size, max_sector, job_.flash_mode, job_.update_boot != 0,
                                        job_.reboot != 0);
            if (result == device::ATACMD_OK) break;
            delay.DelaySeconds(1.0);
            max_sector = NextMaxSector(i, max_sector);
            if (log_open) Write(Format("%s retry%d : max_sector=%d \n", Now().c_str(), i, max_sector));
        }
    }
    if (log_open) Write(Format("%s End of UpdateFW , max_sector=%d \n", Now().c_str(), max_sector));
    if (job_.result) *job_.result = result;
}

void MFlashThread::Preformat() {
    system::HiTimer delay(platform_.clock, nullptr);
    device::TAtaDevice& dev = *job_.device;
    bool pata = false;
    uint8_t r = device::ATACMD_FAIL;
    for (int i = 0;; i = 1) {
        Write(Format("%s Preformat ...\n", Now().c_str()));
        if (dev.pata_check() == device::ATACMD_OK && device::IsPataAnswer(dev.read_buffer(), 512)) {
            pata = true;
            Write(Format("%s PATA drive detected. \n", Now().c_str()));
        }
        if (pata) {
            Write(Format("%s PATA_Preformat\n", Now().c_str()));
            r = dev.pata_preformat();
        } else {
            r = dev.preformat();
        }
        if (r == device::ATACMD_OK || i != 0) break;
        delay.DelaySeconds(1.0);
    }
    if (job_.result) *job_.result = r;
}

void MFlashThread::RefreshBus() {
    system::HiTimer delay(platform_.clock, nullptr);
    // A device manager of the worker's own: no message pump on this thread.
    discovery::TDevMgr mgr(platform_, nullptr);
    // A disk behind a USB bridge hangs below no controller that the rescan looks at: its own
    // parent is asked again too, or the removal would leave it gone until it is plugged in again.
    std::string parent;
    if (!job_.path.empty()) {
        parent = mgr.parent_of(job_.path);
        mgr.remove_disk(job_.path.c_str());
        delay.DelayMs(1000);
    }
    mgr.rescan_controllers();
    if (!parent.empty()) mgr.reenumerate_device(parent);
}

}  // namespace orvane::app
