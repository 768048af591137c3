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

void TOrvaneMain::FindDriveAgain(UpdateRun& run) {
    const UpdateTarget& t = run.target;
    ShowStatus("Wait for device to be ready ...");
    run.delay.DelaySeconds(5);
    m_Device.reset();

    bool found = false;
    run.revision_after.reset();
    for (int a = 0;;) {
        found = false;
        run.still_reports.clear();
        ShowStatus("Scanning devices ...");
        LogLine("SCAN DEVICES\n");
        m_Device = CreateDevice();
        drives_.DriveCount = m_Device ? ScanSSDDrive(t.address.gScanType) : 0;
        LogLine(Format("FIND DEVICES...%d\n", drives_.DriveCount));
        for (int i = 0; i < drives_.DriveCount; ++i) {
            const DEV_INFO& e = drives_.m_DevInfo[i];
            const std::string sn = text::FieldText(e.szSN);
            LogLine(Format("SN%d: %s | %s\n", i, sn.c_str(), t.serial.c_str()));
            if (sn != t.serial) continue;
            found = true;
            OpenEntry(e, t.address);
            run.target.path = text::FieldText(e.szInstanceId);
            const std::string fw = text::FieldText(e.szFW);
            run.revision_after = text::Trim(fw);
            const int cmp1 = Sign(CompareField(e.szFW, sizeof e.szFW, t.new_fw, t.new_fw.size()));
            LogLine(Format("FW_CMP_1:(%d) %8s | %s \n", cmp1, fw.c_str(), t.new_fw.c_str()));
            if (cmp1 != 0) {
                run.still_reports = text::Trim(fw);
                break;
            }
            const int cmp2 = Sign(CompareField(e.szDEF, sizeof e.szDEF, t.fw_ext, 8));
            LogLine(Format("FW_CMP_2:(%d) %8s | %s \n", cmp2, text::FieldText(e.szDEF).c_str(), t.fw_ext.c_str()));
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
            if (!t.boot) {
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
    if (run.lost) run.revision_after.reset();
    // Every download of a walk came before this scan: the walk's drives are checked in it.
    if (walk_.active) walk_.rescanned = true;
}

}  // namespace orvane::app
