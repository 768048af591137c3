#include "scenario/result_check.h"

#include <filesystem>
#include <fstream>
#include <sstream>

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

namespace {

bool IsoTime(const json& v) {
    if (!v.is_string()) return false;
    const std::string s = v.get<std::string>();
    const std::string shape = "dddd-dd-ddTdd:dd:dd";
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
    ASSERT_TRUE(IsoTime(doc["start_time"]) && IsoTime(doc["end_time"])) << name << ": " << doc.dump();
    EXPECT_LE(doc["start_time"].get<std::string>(), doc["end_time"].get<std::string>()) << name;
    ASSERT_TRUE(doc["drives"].is_array()) << name;
    for (const json& d : doc["drives"]) {
        const std::string outcome = d.value("outcome", "");
        const std::string serial = d.value("serial", "");
        if (outcome == "not updated") {
            EXPECT_FALSE(d.value("reason", "").empty()) << name << ": " << serial << " says not why";
            EXPECT_TRUE(d["duration_seconds"].is_null()) << name << ": " << serial;
            continue;
        }
        EXPECT_FALSE(d.contains("reason")) << name << ": " << serial;
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
        EXPECT_EQ(d.value("outcome", ""), w.outcome) << name << " " << w.serial;
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
