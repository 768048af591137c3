// The three timers: the automatic walk over every listed drive, the unattended start, and the
// unattended window's progress bar.
#include <algorithm>

#include "app/orvane_main.h"
#include "app/update_texts.h"
#include "text/text.h"

namespace orvane::app {

bool StepProgress(ProgressBar& bar, double t) {
    int p = bar.position;
    bool hold = false;
    switch (bar.iPhase) {
        case 1:
            if (p > 75) hold = true;
            else if (p > 55) bar.iProgressInterval = 1000;
            else if (p > 40) bar.iProgressInterval = 500;
            break;
        case 2:
            if (p > 85) hold = true;
            else if (p > 60) bar.iProgressInterval = 1000;
            else if (p > 40) bar.iProgressInterval = 500;
            break;
        case 3:
            if (p > 90) hold = true;
            else if (p > 80) bar.iProgressInterval = 1000;
            else if (p > 60) bar.iProgressInterval = 500;
            else if (t > 10 && p < 80) p = 80;
            break;
        case 4:
            if (p >= 96) hold = true;
            else if (p > 90) bar.iProgressInterval = 1000;
            else if (t > 8) bar.iProgressInterval = 500;
            break;
        case 5:
            if (t > 10) p = 100;
            break;
        default:
            break;
    }
    if (hold) return false;
    bar.position = std::min(100, p + 1);
    return true;
}

void TOrvaneMain::tmrAutoFlashTimer() {
    view_.StopTimer(Timer::tmrAutoFlash);
    if (RefusedWhileUpdating("tmrAutoFlashTimer") || !opt().bAutoFlashAll) return;
    // The walk runs once: a second one would update every drive again.
    if (m_WalkRan) {
        LogLine("tmrAutoFlashTimer: refused, the walk has run\n");
        return;
    }
    m_WalkRan = true;
    const int n = selection_.m_ItemCount;
    // The walk leaves out drives the selection refuses; the last one it updates ends the run.
    int last = -1;
    for (int i = 0; i < n; ++i)
        if (drives_.m_DevInfo[selection_.m_ItemToDrive[i]].bEnabled) last = i;
    walk_ = Walk{};
    walk_.active = true;
    walk_.bNextPending = true;
    for (int i = 0; i < n; ++i) {
        if (i >= last) walk_.bNextPending = false;
        LogLine(Format("INDEX: %d, NEXT: %d\n", i, walk_.bNextPending));
        view_.SelectItem(Control::cboDrives, i);
        SelectDrive();
        const int entry = selection_.m_ItemToDrive[i];
        if (!drives_.m_DevInfo[entry].bEnabled) {
            LogLine(Format("INDEX: %d skipped: the drive is not allowed to be updated\n", i));
            MarkNotUpdated(entry, not_updated::kNotEligible);
            continue;
        }
        iErrorLevel = 0;
        StartUpdate();
        ++walk_.updated;
        if (iErrorLevel != 0) {
            ++walk_.failures;
            if (walk_.first_error == 0) walk_.first_error = iErrorLevel;
        }
        // A drive after the last one to update is not touched.
        if (i >= last) break;
        // The boot-time route prepares one drive and ends the program: the walk ends with it.
        if (EndRequested()) {
            for (int k = i + 1; k < n; ++k)
                if (drives_.m_DevInfo[selection_.m_ItemToDrive[k]].bEnabled)
                    MarkNotUpdated(selection_.m_ItemToDrive[k],
                                   opt().bWinFlash ? update_text::kRunEnded : update_text::kBootOneDrive);
            break;
        }
    }
    FinishWalk();
    walk_.active = false;
    walk_.bNextPending = false;
    // One drive's success must not hide another's failure.
    iErrorLevel = walk_.first_error;
    if (walk_.failures > 0) {
        const std::string text = Format("%d of %d drives failed", walk_.failures, walk_.updated);
        LogLine(text);
        ShowStatus(text);
    }
    EndProgram();
}

void TOrvaneMain::FinishWalk() {
    if (walk_.finished) return;
    walk_.finished = true;
    if (walk_.unverified.empty()) return;
    // The last drive's re-finding scanned after every download; without it the walk scans now.
    if (!walk_.rescanned) {
        system::HiTimer delay(ctx_.platform.clock, &ctx_.platform.pump);
        ShowStatus("Wait for device to be ready ...");
        delay.DelaySeconds(5);
        m_Device.reset();
        ShowStatus("Scanning devices ...");
        LogLine("SCAN DEVICES\n");
        m_Device = CreateDevice();
        drives_.DriveCount = m_Device ? ScanSSDDrive(address_.gScanType) : 0;
        LogLine(Format("FIND DEVICES...%d\n", drives_.DriveCount));
    }
    for (const WalkDrive& w : walk_.unverified) {
        const DEV_INFO* found = nullptr;
        for (int i = 0; i < drives_.DriveCount && !found; ++i)
            if (text::FieldText(drives_.m_DevInfo[i].szSN) == w.serial) found = &drives_.m_DevInfo[i];
        DriveResult& d = m_Result.drives[static_cast<size_t>(w.result)];
        d.revision_after.reset();
        bool ok = false;
        if (!found) {
            d.outcome = outcome::kNotFoundAgain;
            d.pending_why = update_text::kPendingNotFound;
        } else {
            const std::string fw = text::Trim(text::FieldText(found->szFW));
            d.revision_after = fw;
            ok = text::FieldText(found->szFW).compare(0, w.new_fw.size(), w.new_fw) == 0;
            d.outcome = ok ? std::string(outcome::kUpdated) : outcome::Failed(Format(update_text::kStillOld, fw.c_str()));
        }
        LogLine(Format("WALK_VERIFY: %s | %s\n", text::Trim(w.serial).c_str(), d.outcome.c_str()));
        if (ok) continue;
        ++walk_.failures;
        if (walk_.first_error == 0) walk_.first_error = 1;
    }
    walk_.unverified.clear();
}

void TOrvaneMain::StartProgressTimer() {
    view_.SetTimerInterval(Timer::Timer2, static_cast<unsigned>(progress_.iProgressInterval));
    progress_.interval = static_cast<unsigned>(progress_.iProgressInterval);
    view_.StartTimer(Timer::Timer2);
    progress_.running = true;
}

void TOrvaneMain::Timer1Timer() {
    view_.StopTimer(Timer::Timer1);
    if (RefusedWhileUpdating("Timer1Timer")) return;
    // It starts the one update of an unattended run: once, and only there.
    if (!opt().bUnattended || m_Timer1Fired) {
        LogLine("Timer1Timer: refused, no unattended update waits to start\n");
        return;
    }
    m_Timer1Fired = true;
    progress_.position = 0;
    view_.SetProgress(0);
    progress_.iProgressInterval = 100;
    progress_.timer.Start(true);
    StartProgressTimer();
    StartUpdate();
}

void TOrvaneMain::Timer2Timer() {
    view_.StopTimer(Timer::Timer2);
    progress_.running = false;
    if (m_bClosing) {
        view_.SetText(Control::Label8, Format("STOP UPDATE: %d", iErrorLevel));
        return;
    }
    if (StepProgress(progress_, progress_.timer.Elapsed())) {
        const int p = progress_.position;
        view_.SetProgress(p);
        view_.SetText(Control::Label8, Format("%d | %u | %d", progress_.iPhase, progress_.interval, p));
        // The update may still be asking its last question: the bar waits at 100 for its end.
        if (p == 100 && progress_.iPhase == 5 && !m_bUpdating) {
            EndProgram();
            return;
        }
    }
    StartProgressTimer();
}

}  // namespace orvane::app
