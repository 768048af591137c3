// The truth check against hand-made runs: a sound one, and one per fault each rule must catch.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "scenario/truth_check.h"

namespace orvane::testing::scenario {
namespace {

using Writes = std::vector<std::pair<std::string, int>>;
using Strings = std::vector<std::string>;

const Writes kFlashed = {{"download", 80}, {"commit", 1}};

DriveState Drive(const std::string& serial, const std::string& revision, int committed = 0, Writes writes = {}) {
    DriveState d;
    d.serial = d.first_serial = serial;
    d.revision = revision;
    d.committed = committed;
    d.writes = std::move(writes);
    return d;
}

json Entry(const std::string& serial, const std::string& outcome, json after) {
    return json{{"serial", serial}, {"outcome", outcome}, {"revision_after", after}};
}

// Two drives; the first was chosen and took S0614C0, the second was left alone.
struct Made {
    Outcome o;
    json doc;
    Made() {
        o.exit_code = 0;
        o.drives = {Drive("A1", "S0614C0", 1, kFlashed), Drive("B2", "S0614B0")};
        o.boxes = {app::BoxRequest{"Information", "Flash finished !"}};
        doc = json{{"exit_code", 0},
                   {"drives", {Entry("A1", "updated", "S0614C0"), Entry("B2", "not updated", "S0614B0")}}};
    }
    DriveState& a() { return o.drives[0]; }
    DriveState& b() { return o.drives[1]; }
    json& entry(size_t i) { return doc["drives"][i]; }
    // The first drive as one that was not flashed, with this outcome.
    void Untouched(const std::string& outcome, int exit_code) {
        a() = Drive("A1", "S0614B0");
        entry(0) = Entry("A1", outcome, "S0614B0");
        o.exit_code = exit_code;
        doc["exit_code"] = exit_code;
        o.boxes.clear();
    }
};

TEST(TruthCheck, EachRuleCatchesItsFault) {
    struct Row {
        const char* name;
        std::function<void(Made&)> fault;
        Strings rules;  // the rules that must speak, in order
    } rows[] = {
        {"a sound update", nullptr, {}},
        {"the other drive was flashed and reported as the chosen one",
         [](Made& r) {
             r.a() = Drive("A1", "S0614B0");
             r.b() = Drive("B2", "S0614C0", 1, kFlashed);
         },
         // The document also says the second drive runs its old firmware.
         {"updated", "revision-after", "no-write"}},
        {"a flashed drive the document does not list", [](Made& r) { r.doc["drives"].erase(1); r.b().writes = kFlashed; },
         {"written"}},
        {"updated, but the image only waits for the restart",
         [](Made& r) {
             r.a().revision = "S0614B0";
             r.a().committed = 0;
             r.a().pending = true;
             r.a().pending_revision = "S0614C0";
             r.entry(0)["revision_after"] = nullptr;
         },
         {"updated", "updated"}},
        {"updated, but the drive did not come back", [](Made& r) { r.a().present = false; }, {"updated"}},
        {"updated without reading the revision again", [](Made& r) { r.entry(0)["revision_after"] = nullptr; },
         {"updated"}},
        {"pending, and it is", [](Made& r) {
             r.a().revision = "S0614B0";
             r.a().committed = 0;
             r.a().pending = true;
             r.a().pending_revision = "S0614C0";
             r.a().writes = {{"download", 80}, {"commit", 1}};
             r.entry(0) = Entry("A1", "pending", nullptr);
         },
         {}},
        {"pending, but nothing waits", [](Made& r) {
             r.a() = Drive("A1", "S0614B0", 0, {{"download", 3}});
             r.entry(0) = Entry("A1", "pending", nullptr);
         },
         {"pending"}},
        {"the engineering file went in: pending, and nobody read it back", [](Made& r) {
             r.entry(0) = Entry("A1", "pending", nullptr);
         },
         {}},
        {"boot-time update prepared", [](Made& r) {
             r.Untouched("boot-time update prepared", 0);
             r.o.boot_files = true;
         },
         {}},
        {"boot-time update prepared, but a command reached the drive", [](Made& r) {
             r.Untouched("boot-time update prepared", 0);
             r.a().writes = {{"preformat", 2}};
             r.o.boot_files = true;
         },
         {"boot-prepared"}},
        {"boot-time update prepared, but the files are not there",
         [](Made& r) { r.Untouched("boot-time update prepared", 0); }, {"boot-prepared"}},
        {"already latest, yet written to", [](Made& r) {
             r.Untouched("already latest", 0);
             r.a().writes = {{"vendor-write", 1}};
         },
         {"no-write"}},
        {"refused, yet a chunk reached the drive", [](Made& r) {
             r.Untouched("refused: this connection cannot carry a firmware download", 1);
             r.a().writes = {{"download", 1}};
         },
         {"no-write"}},
        {"erased", [](Made& r) {
             r.Untouched("erased", 0);
             r.a().writes = {{"vendor-write", 1}, {"preformat", 2}};
         },
         {}},
        {"erased, but the firmware went in too", [](Made& r) {
             r.Untouched("erased", 0);
             r.a().writes = {{"preformat", 2}, {"nvme-download", 3}};
         },
         {"erased"}},
        {"erased, but no preformat reached the drive", [](Made& r) { r.Untouched("erased", 0); }, {"erased"}},
        {"failed, yet the exit code is 0", [](Made& r) { r.entry(0) = Entry("A1", "failed: ERROR", nullptr); r.o.boxes.clear(); },
         {"exit-code"}},
        {"refused, yet the exit code is 0", [](Made& r) { r.Untouched("refused: Fatal error", 0); }, {"exit-code"}},
        {"not found again, yet the exit code is 0",
         [](Made& r) { r.entry(0) = Entry("A1", "not found again", nullptr); r.o.boxes.clear(); }, {"exit-code"}},
        {"the drive came back under another serial number: listed by the old one", [](Made& r) {
             r.a().serial = "Z9";
             r.entry(0) = Entry("A1", "not found again", nullptr);
             r.o.boxes.clear();
             r.o.exit_code = 1;
             r.doc["exit_code"] = 1;
         },
         {}},
        {"the document's exit code is not the program's", [](Made& r) { r.o.exit_code = 1; }, {"document"}},
        {"no document", [](Made& r) { r.doc = json(json::value_t::discarded); }, {"document"}},
        {"Flash finished ! after a failure", [](Made& r) {
             r.entry(0) = Entry("A1", "failed: ERROR", nullptr);
             r.o.exit_code = 1;
             r.doc["exit_code"] = 1;
         },
         {"false-success"}},
        {"Done ! and Next for a drive already up to date", [](Made& r) {
             r.Untouched("already latest", 0);
             r.o.statuses = {"Next", "Done !"};
         },
         {"false-success", "false-success"}},
        {"the unattended bar ran out after a failure", [](Made& r) {
             r.Untouched("failed: ERROR", 1);
             r.o.label8 = "5 | 100 | 100";
         },
         {"false-success"}},
        {"the bar ran out on a drive already up to date", [](Made& r) {
             r.Untouched("already latest", 0);
             r.o.label8 = "5 | 100 | 100";
         },
         {}},
        {"the bar ran out after an erase, but Done ! is still no update", [](Made& r) {
             r.Untouched("erased", 0);
             r.a().writes = {{"preformat", 2}};
             r.o.label8 = "5 | 100 | 100";
             r.o.statuses = {"Done !"};
         },
         {"false-success"}},
        {"a revision the drive does not run", [](Made& r) {
             r.Untouched("failed: the drive still reports firmware S0614B0", 1);
             r.entry(0)["revision_after"] = "S0614C0";
         },
         {"revision-after"}},
        {"one drive twice", [](Made& r) { r.doc["drives"][1] = Entry("A1", "updated", "S0614C0"); }, {"entry-twice"}},
        {"an entry for no drive of the machine", [](Made& r) { r.entry(1) = Entry("C3", "not updated", nullptr); },
         {"entry-unknown"}},
        {"an outcome nobody knows", [](Made& r) { r.entry(1)["outcome"] = "flashed"; }, {"unknown-outcome"}},
    };
    for (const Row& row : rows) {
        Made run;
        if (row.fault) row.fault(run);
        const Strings found = TruthViolations(run.o, run.doc, PackageFacts{"S0614C0"});
        Strings rules;
        for (const std::string& v : found) rules.push_back(ViolationRule(v));
        EXPECT_EQ(rules, row.rules) << row.name << ":\n" << ::testing::PrintToString(found);
    }
}

}  // namespace
}  // namespace orvane::testing::scenario
