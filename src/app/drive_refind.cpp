// Finding the drive again after it restarted with its new firmware: by its serial number, over
// one, two or three scans, with a bus refresh before the third.
#include <algorithm>
#include <cstring>

#include "app/update_run.h"
#include "app/update_texts.h"

namespace orvane::app {

namespace {

// strncmp's sign over the first n bytes of a fixed field and a text.
int CompareField(const char* field, size_t width, const std::string& text, size_t n) {
    std::string padded(field, width);
    padded.resize(std::max(width, n), '\0');
    return std::strncmp(padded.c_str(), text.c_str(), n);
}

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

}  // namespace

void TOrvaneMain::OpenFoundEntry(const DEV_INFO& e) {
    device::TAtaDevice& dev = *m_Device;
    if (gScanType == kScanCsmi) {
        dev.open_device(m_ScsiPort, nullptr, device::kOpenCsmi);
        // The port alone reaches no drive: its phy and address as the scan found them.
        dev.set_phy(static_cast<uint32_t>(e.scsi_index));
        dev.set_port(static_cast<uint32_t>(e.csmi_port));
        dev.set_sas_address(static_cast<uint32_t>(e.SasAddr), static_cast<uint32_t>(e.SasAddr >> 32));
    } else if (e.bIsNvme) {
        dev.open_device(e.order, text::FieldText(e.szDevicePath).c_str(), device::kOpenNvme);
    } else {
        dev.open_device(e.order, m_DevPath.empty() ? nullptr : m_DevPath.c_str(), device::kOpenAta);
    }
}

void TOrvaneMain::FindDriveAgain(UpdateRun& run) {
    ShowStatus("Wait for device to be ready ...");
    run.delay.DelaySeconds(5);
    m_Device.reset();

    bool found = false;
    run.revision_after.reset();
    std::string still_reports;  // the revision a found drive reports when it is not the new one
    for (int a = 0;;) {
        found = false;
        still_reports.clear();
        ShowStatus("Scanning devices ...");
        LogLine("SCAN DEVICES\n");
        m_Device = CreateDevice();
        DriveCount = m_Device ? ScanSSDDrive(gScanType) : 0;
        LogLine(Format("FIND DEVICES...%d\n", DriveCount));
        for (int i = 0; i < DriveCount; ++i) {
            const DEV_INFO& e = m_DevInfo[i];
            const std::string sn = text::FieldText(e.szSN);
            LogLine(Format("SN%d: %s | %s\n", i, sn.c_str(), TargetSerial.c_str()));
            if (sn != TargetSerial) continue;
            found = true;
            OpenFoundEntry(e);
            TargetPath = text::FieldText(e.szInstanceId);
            const std::string fw = text::FieldText(e.szFW);
            run.revision_after = text::Trim(fw);
            const int cmp1 = Sign(CompareField(e.szFW, sizeof e.szFW, m_lblNewFW, m_lblNewFW.size()));
            LogLine(Format("FW_CMP_1:(%d) %8s | %s \n", cmp1, fw.c_str(), m_lblNewFW.c_str()));
            if (cmp1 != 0) {
                still_reports = text::Trim(fw);
                break;
            }
            const int cmp2 = Sign(CompareField(e.szDEF, sizeof e.szDEF, m_lblFWExt, 8));
            LogLine(Format("FW_CMP_2:(%d) %8s | %s \n", cmp2, text::FieldText(e.szDEF).c_str(), m_lblFWExt.c_str()));
            if (cmp2 == 0)
                run.verified = true;
            else
                LogLine("FW_CMP_2: the DEF text differs; the new revision is taken as the update's\n");
            break;
        }
        if (!found && a == 0) {
            a = 1;
            continue;
        }
        if (a == 1) {
            if (!run.boot) {
                ShowStatus("Scanning bus ...");
                LogLine("SCAN BUS\n");
                RunJob(kJobRefreshBus);
            }
            a = 2;
            continue;
        }
        break;
    }
    run.lost = !found;
    // A drive that is gone, or back with its old firmware, did not take the update.
    if (run.lost) {
        run.success = false;
        run.error = update_text::kNotFoundAgain;
        run.outcome = outcome::kNotFoundAgain;
    } else if (!still_reports.empty()) {
        run.success = false;
        run.error = Format(update_text::kStillOld, still_reports.c_str());
    }
}

}  // namespace orvane::app
