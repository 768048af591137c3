#include "scenario/result_check.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/update_texts.h"

namespace orvane::testing::scenario {

std::string ResultArgumentFor(AppRun& run, std::string& path) {
    path = (std::filesystem::path(run.machine().system.temp_dir) / "result.json").string();
    return "/RESULT:" + path;
}

json ReadResultFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return json(json::value_t::discarded);
    std::stringstream ss;
    ss << in.rdbuf();
    return json::parse(ss.str(), nullptr, false);
}

std::string RowOutcome(const json& drive) {
    if (!drive.is_object()) return {};
    const std::string word = drive.value("outcome", ""), detail = drive.value("detail", "");
    if (word == "failed" || word == "refused") return word + ": " + detail;
    if (word == "pending" && detail == app::update_text::kPendingNotFound) return "not found again";
    if (word == "already_latest") return "already latest";
    if (word == "boot_prepared") return "boot-time update prepared";
    if (word == "not_updated" || word == "declined") return "not updated";
    return word;
}

namespace {

// The words a document's drive may have, and whether its detail must say why.
bool KnownWord(const std::string& w, bool& needs_detail) {
    static const std::map<std::string, bool> words = {
        {"updated", false}, {"verified", false}, {"pending", true},        {"failed", true},
        {"refused", true},  {"not_updated", true}, {"already_latest", false}, {"erased", false},
        {"boot_prepared", true}, {"declined", true}};
    const auto it = words.find(w);
    if (it == words.end()) return false;
    needs_detail = it->second;
    return true;
}

bool IsoTime(const json& v) {
    if (!v.is_string()) return false;
    const std::string s = v.get<std::string>();
    // The simulated machine's clock is an hour ahead of UTC.
    const std::string shape = "dddd-dd-ddTdd:dd:dd+01:00";
    if (s.size() != shape.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != shape[i]) return false;
    return true;
}

}  // namespace

void ExpectSoundDocument(const json& doc, const Outcome& o, const std::string& name) {
    ASSERT_TRUE(doc.is_object()) << name << ": no result document, or not JSON";
    EXPECT_EQ(doc.value("exit_code", -99), o.exit_code) << name;
    EXPECT_EQ(doc.value("exit_meaning", ""), app::ExitMeaning(o.exit_code)) << name;
    EXPECT_EQ(doc.value("program_version", ""), "3.1.10") << name << ": the project's version";
    EXPECT_EQ(doc.value("schema", 0), 2) << name;
    EXPECT_EQ(doc.value("host_name", ""), "SIM-PC") << name;
    EXPECT_TRUE(doc["verification"].is_array()) << name;
    ASSERT_TRUE(IsoTime(doc["start_time"]) && IsoTime(doc["end_time"])) << name << ": " << doc.dump();
    EXPECT_LE(doc["start_time"].get<std::string>(), doc["end_time"].get<std::string>()) << name;
    ASSERT_TRUE(doc["drives"].is_array()) << name;
    for (const json& d : doc["drives"]) {
        const std::string outcome = d.value("outcome", "");
        const std::string serial = d.value("serial", "");
        bool needs_detail = false;
        EXPECT_TRUE(KnownWord(outcome, needs_detail)) << name << ": " << serial << " outcome \"" << outcome << "\"";
        if (needs_detail) {
            EXPECT_FALSE(d.value("detail", "").empty()) << name << ": " << serial << " says not why";
        }
        EXPECT_TRUE(d["restart_required"].is_boolean() && d["restart_requested"].is_boolean()) << name;
        // A verification run decides earlier updates: it opens no drive.
        if (outcome == "not_updated" || outcome == "declined" || doc.value("run", "") == "verify") {
            EXPECT_TRUE(d["duration_seconds"].is_null()) << name << ": " << serial;
            EXPECT_FALSE(d.value("restart_requested", true)) << name << ": " << serial;
            continue;
        }
        EXPECT_TRUE(d["transport"].is_string()) << name << ": " << serial;
        ASSERT_TRUE(d["duration_seconds"].is_number()) << name << ": " << serial;
        EXPECT_GE(d["duration_seconds"].get<double>(), 0) << name;
    }
    // Written without a complaint: the log still ends as it always did.
    for (const std::string& l : o.log_lines) EXPECT_NE(l.rfind("RESULT: not written", 0), 0u) << name << ": " << l;
}

void ExpectDrives(const json& doc, const std::vector<DriveExpect>& want, const std::string& name) {
    ASSERT_TRUE(doc.is_object() && doc["drives"].is_array()) << name;
    ASSERT_EQ(doc["drives"].size(), want.size()) << name << ": " << doc["drives"].dump(2);
    for (size_t i = 0; i < want.size(); ++i) {
        const json& d = doc["drives"][i];
        const DriveExpect& w = want[i];
        EXPECT_EQ(d.value("serial", ""), w.serial) << name << " #" << i;
        EXPECT_EQ(RowOutcome(d), w.outcome) << name << " " << w.serial;
        if (w.revision_after) {
            EXPECT_EQ(d["revision_after"], *w.revision_after) << name << " " << w.serial;
        } else {
            EXPECT_TRUE(d["revision_after"].is_null()) << name << " " << w.serial << ": " << d["revision_after"];
        }
        if (!w.transport.empty()) {
            EXPECT_EQ(d["transport"], w.transport) << name << " " << w.serial;
        }
    }
}

}  // namespace orvane::testing::scenario
