// What the user is asked before an erase, and told when an update ends without success.
#include "app/update_run.h"
#include "discovery/dev_mgr.h"
#include "text/text.h"

namespace orvane::app {

std::string TOrvaneMain::DiskFacts(const DEV_INFO& e) {
    std::string s = text::TrimmedField(e.szModel) + ", serial " + text::TrimmedField(e.szSN);
    const discovery::DISK_NODE* node = nullptr;
    discovery::DRIVE_LETTER_ENTRY map[discovery::kLetterMapSize];
    bool letters_known = false;
    if (m_Device) {
        discovery::TDevMgr& mgr = m_Device->device_manager();
        letters_known = mgr.last_drive_letters(map);
        const std::string id = text::FieldText(e.szInstanceId);
        for (int i = 0; i < mgr.node_count() && !node; ++i)
            if (!id.empty() && text::FieldText(mgr.node_list()[i].szInstanceId) == id) node = &mgr.node_list()[i];
    }
    if (node && node->pInfo && node->pInfo->Size) {
        const double bytes = static_cast<double>(node->pInfo->Size);
        s += bytes >= 1e9 ? Format(", %.1f GB", bytes / 1e9) : Format(", %.0f MB", bytes / 1e6);
    } else {
        s += ", size unknown";
    }
    std::string letters;
    if (node)
        for (int l = 0; l < 26; ++l)
            if (node->DriveLetters[l]) letters += Format(" %c:", 'A' + l);
    // No letter found is "none" only when the system answered the question.
    s += !letters.empty() ? ", drive letters" + letters : letters_known && node ? ", no drive letter" : ", drive letters unknown";
    return s;
}

bool TOrvaneMain::ConfirmErase(const UpdateRun& run) {
    const TextSet& t = texts();
    const std::string facts = DiskFacts(run.target.drive);
    LogLine("ERASE: asking to erase " + facts + "\n");
    BoxRequest box{t.EraseCaption, Format(t.EraseQuestion, facts.c_str()), BoxButtons::YesNo, BoxIcon::Warning};
    box.default_no = true;
    const bool yes = Box(box) == BoxAnswer::Yes;
    LogLine(yes ? "ERASE: confirmed\n" : "ERASE: not confirmed\n");
    return yes;
}

void TOrvaneMain::ShowEndBox(const UpdateRun& run) {
    if (iErrorLevel == 0 || !UserWatches() || walk_.active || boxes_shown_ != run.boxes_at_start) return;
    const TextSet& t = texts();
    // A refusal sent nothing: the drive is as it was. Anything else may have reached it.
    const bool refused = run.outcome.rfind("refused: ", 0) == 0;
    std::string why = run.error;
    if (why.empty()) {
        const size_t colon = run.outcome.find(": ");
        why = colon == std::string::npos ? run.outcome : run.outcome.substr(colon + 2);
    }
    const std::string text = text::TrimmedField(run.target.drive.szModel) + " (" +
                             text::TrimmedField(run.target.drive.szSN) + "):\n" + why +
                             "\n\n" + (refused ? t.RefusedAdvice : t.FailedAdvice) + "\n\n" +
                             Format(t.LogAt, m_DebugLogPath.c_str());
    Box(refused ? t.RefusedCaption : t.FailedCaption, text, BoxButtons::Ok, refused ? BoxIcon::Warning : BoxIcon::Error);
}

}  // namespace orvane::app
