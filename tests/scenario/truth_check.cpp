#include "scenario/truth_check.h"

#include <map>

#include "app/run_result.h"
#include "scenario/result_check.h"

namespace orvane::testing::scenario {

namespace {

namespace out = app::outcome;

// Sent and accepted, not read back: the drive runs it after a restart (or nobody looked).
constexpr const char* kPending = "pending";

bool StartsWith(const std::string& s, const char* head) { return s.rfind(head, 0) == 0; }

std::string Trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, s.find_last_not_of(' ') - a + 1);
}

bool Failure(const std::string& outcome) {
    return StartsWith(outcome, "failed: ") || StartsWith(outcome, "refused: ") || outcome == out::kNotFoundAgain;
}

bool EndedWell(const std::string& outcome) {
    return outcome == out::kUpdated || outcome == kPending || outcome == out::kBootPrepared ||
           outcome == out::kErased || outcome == out::kAlreadyLatest;
}

bool Known(const std::string& outcome) {
    return EndedWell(outcome) || Failure(outcome) || outcome == out::kNotUpdated;
}

int Downloads(const DriveState& d) { return Written(d, "download") + Written(d, "nvme-download"); }
bool AnyWrite(const DriveState& d) { return !d.writes.empty(); }

// A member of the document, whatever the document holds.
json Member(const json& object, const char* key) {
    return object.is_object() && object.contains(key) ? object[key] : json(nullptr);
}
std::string TextOf(const json& object, const char* key) {
    const json v = Member(object, key);
    return v.is_string() ? v.get<std::string>() : std::string();
}

std::string Quoted(const json& v) { return v.is_string() ? "\"" + v.get<std::string>() + "\"" : v.dump(); }

// The unattended window's bar ran out: its diagnostic label reads "5 | <interval> | 100".
bool BarRanOut(const Outcome& o) { return StartsWith(o.label8, "5 | ") && o.label8.size() > 6 &&
                                          o.label8.compare(o.label8.size() - 6, 6, " | 100") == 0; }

class Checker {
public:
    Checker(const Outcome& o, const json& doc, const PackageFacts& p) : o_(o), doc_(doc), p_(p) {}

    std::vector<std::string> Run() {
        if (!doc_.is_object() || !doc_.contains("drives") || !doc_["drives"].is_array()) {
            Add("document", "no result document, or not one with a drive list");
            return std::move(found_);
        }
        if (Member(doc_, "exit_code") != json(o_.exit_code))
            Add("document", "exit_code " + Member(doc_, "exit_code").dump() + ", but the program exited with " +
                                std::to_string(o_.exit_code));
        std::map<std::string, const json*> entries;
        for (const json& e : doc_["drives"]) {
            const std::string serial = Trimmed(TextOf(e, "serial"));
            if (!entries.emplace(serial, &e).second) Add("entry-twice", serial + " has more than one entry");
            Entry(serial, e);
        }
        for (const DriveState& d : o_.drives) {
            if (!AnyWrite(d)) continue;
            // One listed as "not updated" is the no-write rule's.
            if (!entries.count(Trimmed(d.first_serial)))
                Add("written", d.first_serial + " received " + WritesText(d) + " but the document does not list it");
        }
        ExitCode();
        SuccessReports();
        return std::move(found_);
    }

private:
    void Add(const std::string& rule, const std::string& what) { found_.push_back(rule + ": " + what); }

    const DriveState* Drive(const std::string& serial) const {
        for (const DriveState& d : o_.drives)
            if (Trimmed(d.first_serial) == serial) return &d;
        return nullptr;
    }

    void Entry(const std::string& serial, const json& e) {
        const std::string outcome = RowOutcome(e);
        if (!Known(outcome)) Add("unknown-outcome", serial + ": \"" + outcome + "\"");
        const DriveState* d = Drive(serial);
        if (!d) {
            Add("entry-unknown", serial + " (\"" + outcome + "\") is no drive of the machine");
            return;
        }
        const json after = Member(e, "revision_after");
        const std::string held = Describe(*d);
        if (outcome == out::kUpdated) {
            if (!(d->present && d->revision == p_.new_fw && d->committed > 0))
                Add("updated", serial + " is \"updated\" but " + held);
            if (after != json(p_.new_fw))
                Add("updated", serial + " is \"updated\" with revision_after " + Quoted(after) + ", not " + p_.new_fw);
            return;
        }
        if (after.is_string() && d->present && after.get<std::string>() != d->revision)
            Add("revision-after", serial + " (\"" + outcome + "\") has revision_after " + Quoted(after) + " but " + held);
        if (outcome == kPending) {
            const bool waits = d->pending && d->pending_revision == p_.new_fw;
            const bool took = d->committed > 0 && (!d->present || d->revision == p_.new_fw);
            if (Downloads(*d) == 0 || !(waits || took)) Add("pending", serial + " is \"pending\" but " + held);
        } else if (outcome == out::kBootPrepared) {
            if (AnyWrite(*d)) Add("boot-prepared", serial + " is \"" + outcome + "\" but " + held);
            if (!o_.boot_files) Add("boot-prepared", serial + " is \"" + outcome + "\" but FW.bin or the flasher is missing");
        } else if (outcome == out::kAlreadyLatest || outcome == out::kNotUpdated || StartsWith(outcome, "refused: ")) {
            if (AnyWrite(*d)) Add("no-write", serial + " is \"" + outcome + "\" but received " + WritesText(*d));
        } else if (outcome == out::kErased) {
            if (Written(*d, "preformat") == 0 || Downloads(*d) > 0) Add("erased", serial + " is \"erased\" but " + held);
        }
    }

    void ExitCode() {
        for (const json& e : doc_["drives"]) {
            const std::string outcome = RowOutcome(e);
            if (o_.exit_code == 0 && Failure(outcome))
                Add("exit-code", "exit code 0, but " + TextOf(e, "serial") + " is \"" + outcome + "\"");
        }
    }

    void SuccessReports() {
        bool took = false, done = false;
        for (const json& e : doc_["drives"]) {
            const std::string outcome = RowOutcome(e);
            took = took || outcome == out::kUpdated || outcome == kPending;
            done = done || outcome == out::kAlreadyLatest || outcome == out::kErased;
        }
        if (took) return;
        // The engineering path's answer says only that the chosen file was taken; a later update of
        // the same run may have acted on that drive again and decided its outcome.
        bool received = false;
        for (const DriveState& d : o_.drives) received = received || Downloads(d) > 0;
        std::vector<std::string> reports;
        for (const auto& b : o_.boxes)
            if (b.text == "Flash finished !" || (b.text == "Flash OK!" && !received))
                reports.push_back("box \"" + b.text + "\"");
        for (const std::string& s : o_.statuses)
            if (s == "Done !" || s == "Next") reports.push_back("status \"" + s + "\"");
        // The unattended bar runs out at the end of any job that went well: after an erase, or on a drive
        // found up to date, it claims no update.
        if (!done && BarRanOut(o_)) reports.push_back("the unattended bar at 100");
        for (const std::string& r : reports) Add("false-success", r + ", but no drive was updated or is pending");
    }

    const Outcome& o_;
    const json& doc_;
    const PackageFacts& p_;
    std::vector<std::string> found_;
};

}  // namespace

std::vector<std::string> TruthViolations(const Outcome& o, const json& doc, const PackageFacts& p) {
    return Checker(o, doc, p).Run();
}

std::string ViolationRule(const std::string& violation) { return violation.substr(0, violation.find(':')); }

void ExpectTruth(const Outcome& o, const json& doc, const PackageFacts& p, const std::string& name) {
    for (const std::string& v : TruthViolations(o, doc, p)) ADD_FAILURE() << name << ": " << v;
}

}  // namespace orvane::testing::scenario
