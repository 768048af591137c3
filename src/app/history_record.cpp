// The update history as this run keeps it: the pending updates of earlier runs decided against
// the drives the first scan found, one entry per drive this run acts on, and the "/VERIFY" run.
#include "app/update_run.h"
#include "app/update_texts.h"

namespace orvane::app {

namespace {

bool StartsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// The history's state for what the update did; none where it acted on no firmware.
std::optional<std::string> StateOf(const std::string& outcome_text) {
    if (outcome_text == outcome::kUpdated) return history_state::kVerified;
    if (outcome_text == outcome::kPending || outcome_text == outcome::kNotFoundAgain ||
        outcome_text == outcome::kBootPrepared)
        return history_state::kPending;
    if (StartsWith(outcome_text, "failed: ")) return history_state::kFailed;
    if (StartsWith(outcome_text, "refused: ")) return history_state::kRefused;
    return std::nullopt;
}

}  // namespace

std::string TOrvaneMain::NowIso() const {
    platform::SystemApi& api = ctx_.platform.system;
    return IsoTime(api.LocalTimeNow(), api.UtcOffsetMinutes());
}

std::optional<int64_t> TOrvaneMain::SystemStartUtc() const {
    const std::optional<int64_t> now = UtcSeconds(NowIso());
    const std::optional<double> up = ctx_.platform.system.SecondsSinceSystemStart();
    if (!now || !up) return std::nullopt;
    return *now - static_cast<int64_t>(*up);
}

int TOrvaneMain::VerifyHistory(bool full_scan, bool box) {
    history_file_ = std::make_unique<HistoryFile>(ctx_.platform.system, [this](const std::string& l) { LogLine(l); });
    history_ = history_file_->Load();
    std::vector<SeenDrive> seen;
    for (int i = 0; i < drives_.DriveCount && i < kMaxDrives; ++i) {
        const DEV_INFO& e = drives_.m_DevInfo[i];
        if (e.bExisted)
            seen.push_back(SeenDrive{text::TrimmedField(e.szSN), text::TrimmedField(e.szFW), text::TrimmedField(e.szDEF)});
    }
    const std::vector<HistoryChange> changes = VerifyPending(history_, seen, full_scan, NowIso(), SystemStartUtc());
    int failed = 0;
    std::string failures;
    for (const HistoryChange& c : changes) {
        const HistoryEntry& h = history_.entries[c.entry];
        // A verified entry keeps why it had waited; what this start says of it is that it took.
        const std::string why = h.state == history_state::kVerified ? std::string() : h.detail;
        LogLine(Format("HISTORY: %s %s (%s, %s of %s): %s -> %s%s%s\n", h.model.c_str(), h.serial.c_str(),
                       h.target_revision.c_str(), h.method.c_str(), h.time.c_str(), c.state_before.c_str(),
                       h.state.c_str(), why.empty() ? "" : ": ", why.c_str()));
        m_Result.verification.push_back(VerificationResult{h.time, h.model, h.serial, h.target_revision,
                                                           h.revision_found, h.state, why, h.starts_without_drive});
        if (h.state == history_state::kFailed) {
            ++failed;
            failures += Format("%s  %s  (%s)\n", h.model.c_str(), h.serial.c_str(), h.detail.c_str());
        }
    }
    if (!changes.empty()) history_file_->Store(history_);
    if (failed > 0 && box) {
        const TextSet& t = texts();
        Box(t.HistoryFailedCaption, t.HistoryFailedHead + failures + t.HistoryFailedAdvice, BoxButtons::Ok,
            BoxIcon::Warning);
    }
    return failed;
}

void TOrvaneMain::RecordHistory(const UpdateRun& run, DriveResult& d) {
    const std::optional<std::string> state = StateOf(d.outcome);
    if (!state || !history_file_) return;
    const UpdateTarget& t = run.target;
    HistoryEntry h;
    h.time = NowIso();
    h.program_version = ProgramVersion();
    h.package_version = m_Package.version;
    h.model = d.model;
    h.serial = d.serial;
    h.transport = d.transport.value_or("");
    h.device = d.device;
    h.revision_before = d.revision_before;
    h.target_revision = t.new_fw;
    if (opt().bUseFWExt) h.target_def = t.fw_ext;
    if (d.outcome == outcome::kBootPrepared) {
        h.method = history_method::kBoot;
    } else if (t.drive.bIsNvme) {
        h.method = history_method::kNvme;
        h.nvme_slot = t.fw_slot;
        h.nvme_commit_action = t.commit_action;
    } else {
        h.method = history_method::kDownload;
        if (run.download_sent) h.download_flow = Format("flash mode %d", opt().iFlashMode);
    }
    h.state = *state;
    const OutcomeWords w = WordsOf(d);
    h.detail = w.detail;
    const std::optional<std::string> def_before =
        opt().bUseFWExt ? std::optional<std::string>(text::TrimmedField(t.drive.szDEF)) : std::nullopt;
    AddEntry(history_, h, def_before, SystemStartUtc());
    // The result names the history's state only when the history holds it.
    if (history_file_->Store(history_)) d.history_state = h.state;
}

void TOrvaneMain::SyncWalkHistory() {
    // The walk decided its earlier drives after their entries were written.
    bool changed = false;
    for (DriveResult& d : m_Result.drives) {
        if (!d.history_state) continue;
        const std::optional<std::string> state = StateOf(d.outcome);
        for (auto it = history_.entries.rbegin(); it != history_.entries.rend(); ++it) {
            if (it->serial != d.serial) continue;
            if (state && it->state != *state) {
                it->state = *state;
                it->detail = WordsOf(d).detail;
                d.history_state = *state;
                changed = true;
            }
            break;
        }
    }
    if (changed && history_file_) history_file_->Store(history_);
}

void TOrvaneMain::VerifyOnly() {
    // A deployment tool's check after the restarts: no window, no box, no update.
    m_bShowWindow = false;
    m_Result.run = "verify";
    LogLine("VERIFY: the pending updates of earlier runs\n");
    // As the start-up scans: the RAID controllers' ports when no disk answers on its own.
    drives_.DriveCount = ScanSSDDrive(kScanAta);
    if (drives_.DriveCount == 0) {
        address_.gScanType = kScanCsmi;
        drives_.DriveCount = ScanSSDDrive(kScanCsmi);
    }
    LogLine(Format("gScanType: %d, CNT: %d\n", address_.gScanType, drives_.DriveCount));
    if (drives_.DriveCount < 0) {
        iErrorLevel = 3;
        EndProgram();
        return;
    }
    ListDrivesInResult();
    const int failed = VerifyHistory(true, false);
    int pending = 0;
    for (const HistoryEntry& h : history_.entries) pending += h.state == history_state::kPending;
    for (DriveResult& d : m_Result.drives) {
        d.reason = not_updated::kVerifyOnly;
        for (const VerificationResult& v : m_Result.verification) {
            if (v.serial != d.serial || v.state == history_state::kPending) continue;
            d.outcome = v.state == history_state::kVerified ? std::string(outcome::kVerified) : outcome::Failed(v.detail);
            d.target_revision = v.target_revision;
            d.history_state = v.state;
        }
    }
    iErrorLevel = failed > 0 ? 1 : pending > 0 ? kExitStillPending : 0;
    int decided = 0;
    for (const VerificationResult& v : m_Result.verification) decided += v.state != history_state::kPending;
    LogLine(Format("VERIFY: %d decided, %d failed, %d still pending\n", decided, failed, pending));
    EndProgram();
}

}  // namespace orvane::app
