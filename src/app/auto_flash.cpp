// The three timers: the automatic walk over every listed drive, the unattended start, and the
// unattended window's progress bar.
#include <algorithm>

#include "app/orvane_main.h"

namespace orvane::app {

void TOrvaneMain::tmrAutoFlashTimer() {
    view_.StopTimer(Timer::tmrAutoFlash);
    if (!opt().bAutoFlashAll) return;
    const int n = m_ItemCount;
    // The walk leaves out drives the selection refuses; the last one it updates ends the run.
    int last = -1;
    for (int i = 0; i < n; ++i)
        if (m_DevInfo[m_ItemToDrive[i]].bEnabled) last = i;
    bNextPending = true;
    m_WalkFirstError = 0;
    m_WalkFailures = 0;
    int updated = 0;
    for (int i = 0; i < n; ++i) {
        if (i >= last) bNextPending = false;
        LogLine(Format("INDEX: %d, NEXT: %d\n", i, bNextPending));
        view_.SelectItem(Control::cboDrives, i);
        cboDrivesChange();
        if (!m_DevInfo[m_ItemToDrive[i]].bEnabled) {
            LogLine(Format("INDEX: %d skipped: the drive is not allowed to be updated\n", i));
            MarkNotUpdated(m_ItemToDrive[i], not_updated::kNotEligible);
            continue;
        }
        iErrorLevel = 0;
        cmdUpdateClick();
        ++updated;
        if (iErrorLevel != 0) {
            ++m_WalkFailures;
            if (m_WalkFirstError == 0) m_WalkFirstError = iErrorLevel;
        }
        // A drive after the last one to update is not touched.
        if (i >= last) break;
    }
    // One drive's success must not hide another's failure.
    iErrorLevel = m_WalkFirstError;
    if (m_WalkFailures > 0) {
        const std::string text = Format("%d of %d drives failed", m_WalkFailures, updated);
        LogLine(text);
        ShowStatus(text);
    }
    bNextPending = false;
    EndProgram();
}

void TOrvaneMain::StartProgressTimer() {
    view_.SetTimerInterval(Timer::Timer2, static_cast<unsigned>(iProgressInterval));
    m_Timer2Interval = static_cast<unsigned>(iProgressInterval);
    view_.StartTimer(Timer::Timer2);
    m_Timer2Running = true;
}

void TOrvaneMain::Timer1Timer() {
    view_.StopTimer(Timer::Timer1);
    m_Progress = 0;
    view_.SetProgress(0);
    iProgressInterval = 100;
    m_ProgressTimer.Start(true);
    StartProgressTimer();
    cmdUpdateClick();
}

void TOrvaneMain::Timer2Timer() {
    view_.StopTimer(Timer::Timer2);
    m_Timer2Running = false;
    if (m_bClosing) {
        view_.SetText(Control::Label8, Format("STOP UPDATE: %d", iErrorLevel));
        return;
    }
    int p = m_Progress;
    const double t = m_ProgressTimer.Elapsed();
    bool hold = false;
    switch (iPhase) {
        case 1:
            if (p > 75) hold = true;
            else if (p > 55) iProgressInterval = 1000;
            else if (p > 40) iProgressInterval = 500;
            break;
        case 2:
            if (p > 85) hold = true;
            else if (p > 60) iProgressInterval = 1000;
            else if (p > 40) iProgressInterval = 500;
            break;
        case 3:
            if (p > 90) hold = true;
            else if (p > 80) iProgressInterval = 1000;
            else if (p > 60) iProgressInterval = 500;
            else if (t > 10 && p < 80) p = 80;
            break;
        case 4:
            if (p >= 96) hold = true;
            else if (p > 90) iProgressInterval = 1000;
            else if (t > 8) iProgressInterval = 500;
            break;
        case 5:
            if (t > 10) p = 100;
            break;
        default:
            break;
    }
    if (!hold) {
        p = std::min(100, p + 1);
        m_Progress = p;
        view_.SetProgress(p);
        view_.SetText(Control::Label8, Format("%d | %u | %d", iPhase, m_Timer2Interval, p));
        // The update may still be asking its last question: the bar waits at 100 for its end.
        if (p == 100 && iPhase == 5 && !m_bUpdating) {
            EndProgram();
            return;
        }
    }
    StartProgressTimer();
}

}  // namespace orvane::app
