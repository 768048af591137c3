// The run's result record: the drives the start-up listed, what each update made of its drive,
// and the document "/RESULT:" asks for, written as the program ends.
#include "app/result_file.h"
#include "app/update_run.h"
#include "app/update_texts.h"

namespace orvane::app {

namespace {

double Seconds(system::HiTimer& t) {
    if (t.Running()) t.Elapsed();  // brings a running total up to now
    return t.TotalSeconds();
}

}  // namespace

void TOrvaneMain::TakeResultPath(const ResultArgument& arg) {
    m_Result.start = ctx_.platform.system.LocalTimeNow();
    if (arg.count == 0) return;
    if (arg.count > 1) LogLine(Format("RESULT: %d /RESULT: arguments, the last one counts\n", arg.count));
    const std::string why = ResultPathProblem(arg.path);
    if (!why.empty()) {
        LogLine(Format("RESULT: refused (%s): %s\n", why.c_str(), arg.path.c_str()));
        return;
    }
    m_ResultPath = arg.path;
    LogLine(Format("RESULT: %s\n", arg.path.c_str()));
}

void TOrvaneMain::ListDrivesInResult() {
    m_Result.drives.clear();
    for (int i = 0; i < drives_.DriveCount && i < kMaxDrives; ++i)
        if (drives_.m_DevInfo[i].bExisted) ResultEntry(i);
}

int TOrvaneMain::ResultEntry(int drive) {
    const DEV_INFO& e = drives_.m_DevInfo[drive];
    const std::string serial = text::TrimmedField(e.szSN);
    // Under "/T:" every table entry is the named drive: one physical drive, one record.
    const std::string device =
        !e.bIsNvme && !address_.m_DevPath.empty() ? address_.m_DevPath : text::TrimmedField(e.szDevicePath);
    for (size_t k = 0; k < m_Result.drives.size(); ++k)
        if (m_Result.drives[k].serial == serial && m_Result.drives[k].device == device) return static_cast<int>(k);
    DriveResult d;
    d.model = text::TrimmedField(e.szModel);
    d.serial = serial;
    d.revision_before = text::TrimmedField(e.szFW);
    d.revision_after = d.revision_before;
    d.reason = e.bEnabled ? not_updated::kNotSelected
               : e.bMatchedLocked ? not_updated::kLocked
                                  : not_updated::kNotEligible;
    d.entry = drive;
    d.device = device;
    m_Result.drives.push_back(d);
    return static_cast<int>(m_Result.drives.size() - 1);
}

void TOrvaneMain::MarkNotUpdated(int drive, const char* why) {
    DriveResult& d = m_Result.drives[static_cast<size_t>(ResultEntry(drive))];
    if (d.outcome == outcome::kNotUpdated) d.reason = why;
}

void TOrvaneMain::MarkAllNotUpdated(const char* why) {
    for (DriveResult& d : m_Result.drives)
        if (d.outcome == outcome::kNotUpdated) d.reason = why;
}

void TOrvaneMain::FinishResult(UpdateRun& run) {
    // An update that acted on nothing (a cancelled file choice) leaves the drive as listed.
    if (run.result < 0 || run.outcome.empty()) return;
    DriveResult& d = m_Result.drives[static_cast<size_t>(run.result)];
    d.outcome = run.outcome;
    d.reason.clear();
    d.transport = run.target.transport_name;
    d.duration_seconds = Seconds(run.work);
    if (run.image_length > 0 || run.download_sent) d.target_revision = run.target.new_fw;
    d.restart_required = run.restart_needed || run.outcome == outcome::kBootPrepared ||
                         (run.outcome == outcome::kPending && !opt().ReBoot);
    d.pending_why = run.restart_needed                    ? update_text::kPendingActivation
                    : run.outcome == outcome::kBootPrepared ? update_text::kPendingBoot
                    : run.outcome == outcome::kNotFoundAgain ? update_text::kPendingNotFound
                    : !opt().ReBoot                       ? update_text::kPendingNoReboot
                                                          : update_text::kPendingNotReadBack;
    RecordHistory(run, d);
    // What the drive reports was read again, or no firmware went to it (a preformat or erase does
    // not change it); a boot-time update changes it at the next start.
    if (run.revision_after)
        d.revision_after = run.revision_after;
    else if (run.download_sent || run.outcome == outcome::kBootPrepared)
        d.revision_after.reset();
}

void TOrvaneMain::WriteResult() {
    if (m_ResultPath.empty()) return;
    m_Result.program_version = ProgramVersion();
    m_Result.package_version = m_Package.version;
    m_Result.exit_code = iErrorLevel;
    m_Result.end = ctx_.platform.system.LocalTimeNow();
    m_Result.utc_offset_minutes = ctx_.platform.system.UtcOffsetMinutes();
    m_Result.host_name = ctx_.platform.system.ComputerName();
    for (DriveResult& d : m_Result.drives)
        d.restart_requested = d.outcome != outcome::kNotUpdated && m_PendingExit == platform::ExitKind::Reboot;
    bool acted = false;
    for (const DriveResult& d : m_Result.drives) acted = acted || d.outcome != outcome::kNotUpdated;
    if (!acted)
        for (DriveResult& d : m_Result.drives)
            if (d.reason == not_updated::kNotSelected) d.reason = not_updated::kNoUpdateRun;
    const std::string why = WriteResultFile(ctx_.platform.system, m_ResultPath, ResultJson(m_Result));
    if (!why.empty()) LogLine(Format("RESULT: not written (%s)\n", why.c_str()));
}

}  // namespace orvane::app
