#include <gtest/gtest.h>

#include "app/update_history.h"
#include "common/fake_system_api.h"

namespace orvane::app {
namespace {

using namespace std::string_literals;

const char kNow[] = "2026-03-04T10:20:30+01:00";

HistoryEntry Entry(const std::string& serial, const std::string& state, const std::string& target,
                   const std::string& def = "", int starts = 0) {
    HistoryEntry e;
    e.time = "2026-03-01T09:00:00+01:00";
    e.serial = serial;
    e.revision_before = "1.0";
    e.target_revision = target;
    e.target_def = def;
    e.method = history_method::kDownload;
    e.state = state;
    e.detail = state == history_state::kPending ? "a restart is needed" : "";
    e.starts_without_drive = starts;
    return e;
}
HistoryEntry Pending(const std::string& serial, const std::string& target, const std::string& def = "",
                     int starts = 0) {
    return Entry(serial, history_state::kPending, target, def, starts);
}

// What an entry holds afterwards.
struct Want {
    std::string state, detail;
    int starts = 0;
    std::string decided;
    std::optional<std::string> found;
};
Want Waiting(int starts) { return {"pending", "a restart is needed", starts, "", std::nullopt}; }
Want Verified(const char* found) { return {"verified", "a restart is needed", 0, kNow, found}; }
Want Failed(const char* detail, std::optional<std::string> found, int starts = 0) {
    return {"failed", detail, starts, kNow, found};
}
Want Untouched(const char* state) { return {state, "", 0, "", std::nullopt}; }

void ExpectEntry(const HistoryEntry& e, const Want& w, const std::string& where) {
    EXPECT_EQ(e.state, w.state) << where;
    EXPECT_EQ(e.detail, w.detail) << where;
    EXPECT_EQ(e.starts_without_drive, w.starts) << where;
    EXPECT_EQ(e.decided_time, w.decided) << where;
    EXPECT_EQ(e.revision_found, w.found) << where;
}

TEST(UpdateHistory, VerifyPendingDecidesEachSerialsNewestPendingEntry) {
    struct Row {
        const char* name;
        std::vector<HistoryEntry> entries;
        std::vector<SeenDrive> seen;
        bool counts_start;
        std::vector<Want> want;
        std::vector<size_t> changed;
    } rows[] = {
        {"verified, blanks from the drive", {Pending("S1", "2.0")}, {{"SX", "1.0", ""}, {"  S1  ", "2.0  ", ""}},
         true, {Verified("2.0")}, {0}},
        {"verified with its DEF", {Pending("S1", "2.0", "D2")}, {{"S1", "2.0", "D2"}}, true, {Verified("2.0")}, {0}},
        {"another revision", {Pending("S1", "2.0", "D2")}, {{"S1", "1.0", "D1"}}, false,
         {Failed("the drive still reports firmware 1.0 after the restart", "1.0")}, {0}},
        {"the DEF alone differs", {Pending("S1", "2.0", "D2")}, {{"S1", "2.0", "D1"}}, true,
         {Failed("the drive still reports firmware 2.0 (DEF D1) after the restart", "2.0")}, {0}},
        {"not found: counted", {Pending("S1", "2.0", "", 3)}, {{"S2", "2.0", ""}}, true, {Waiting(4)}, {0}},
        {"the fifth start without it fails it", {Pending("S1", "2.0", "", 4)}, {}, true,
         {Failed("not found after 5 starts", std::nullopt, 5)}, {0}},
        {"a start narrowed to one drive does not count", {Pending("S1", "2.0", "", 4)}, {{"S2", "2.0", ""}}, false,
         {Waiting(4)}, {}},
        {"same serial twice: only the newest is matched", {Pending("S1", "1.5"), Pending("S1", "2.0")},
         {{"S1", "2.0", ""}}, true, {Waiting(0), Verified("2.0")}, {1}},
        {"same serial twice: only the newest is counted, in entry order",
         {Pending("S1", "1.5"), Pending("S2", "3.0"), Pending("S1", "2.0")}, {}, true,
         {Waiting(0), Waiting(1), Waiting(1)}, {1, 2}},
        {"entries not pending are never touched",
         {Entry("S1", "verified", "2.0"), Entry("S2", "failed", "2.0"), Entry("S3", "refused", "2.0"),
          Pending("S4", "2.0")},
         {{"S1", "9.9", ""}, {"S2", "2.0", ""}}, true,
         {Untouched("verified"), Untouched("failed"), Untouched("refused"), Waiting(1)}, {3}},
        {"drives without a serial are never matched, each is counted", {Pending("", "2.0"), Pending(" ", "2.0")},
         {{"", "2.0", ""}}, true, {Waiting(1), Waiting(1)}, {0, 1}},
    };
    for (Row& r : rows) {
        History h;
        h.entries = r.entries;
        const std::vector<HistoryChange> changes = VerifyPending(h, r.seen, r.counts_start, kNow);
        ASSERT_EQ(h.entries.size(), r.want.size()) << r.name;
        for (size_t i = 0; i < r.want.size(); ++i)
            ExpectEntry(h.entries[i], r.want[i], r.name + " entry "s + std::to_string(i));
        std::vector<size_t> changed;
        for (const HistoryChange& c : changes) {
            changed.push_back(c.entry);
            EXPECT_EQ(c.state_before, "pending") << r.name;
        }
        EXPECT_EQ(changed, r.changed) << r.name;
    }
}

TEST(UpdateHistory, AddEntryDecidesTheDrivesOlderPendingEntries) {
    const char* const kOther = "the drive reported firmware 2.0 at the next update";
    struct Row {
        const char* name;
        std::optional<std::string> def_before;
        Want first;
    } rows[] = {
        {"DEF not read", std::nullopt, Verified("2.0")},
        {"same DEF", "D2", Verified("2.0")},
        {"other DEF", "D1", Failed("the drive reported firmware 2.0 (DEF D1) at the next update", "2.0")},
    };
    for (const Row& r : rows) {
        History h;
        h.entries = {Pending("S1", "2.0", "D2"), Pending("S1 ", "1.9"), Pending("S2", "2.0"),
                     Entry("S1", "failed", "1.5")};
        HistoryEntry next = Entry("S1", "verified", "2.1");
        next.revision_before = "2.0";
        next.time = kNow;
        AddEntry(h, next, r.def_before);
        ASSERT_EQ(h.entries.size(), 5u) << r.name;
        ExpectEntry(h.entries[0], r.first, r.name);
        ExpectEntry(h.entries[1], Failed(kOther, "2.0"), r.name);
        ExpectEntry(h.entries[2], Waiting(0), r.name);
        ExpectEntry(h.entries[3], Untouched("failed"), r.name);
        EXPECT_EQ(h.entries[4], next) << r.name;
    }
    // The cap: the oldest go.
    History h;
    for (int i = 0; i < 203; ++i) {
        HistoryEntry e = Entry("S" + std::to_string(i), "verified", "2.0");
        e.time = std::to_string(i);
        AddEntry(h, e);
    }
    ASSERT_EQ(h.entries.size(), 200u);
    EXPECT_EQ(h.entries.front().time, "3");
    EXPECT_EQ(h.entries.back().time, "202");
}

// One entry with every field set, and bytes no code page agrees on in the drive texts.
const char kDocument[] = R"({
  "schema": 1,
  "entries": [
    {
      "time": "2026-03-01T09:00:00+01:00",
      "program_version": "3.1.0",
      "package_version": "J0614E5 \"fast\"",
      "model": "MERETH\u00FF SSD\u0080",
      "serial": "MJ256\u0000\u001F\u007F\u00C3\u00A9",
      "transport": "usb",
      "device": "\\\\.\\PhysicalDrive3",
      "revision_before": "J0613E5",
      "target_revision": "J0614E5",
      "target_def": "GJ614035",
      "method": "nvme",
      "download_flow": "chunked",
      "nvme_slot": 2,
      "nvme_commit_action": null,
      "state": "failed",
      "detail": "the drive still reports firmware J0613E5 after the restart",
      "starts_without_drive": 3,
      "decided_time": "2026-03-04T10:20:30-05:30",
      "revision_found": "J0613E5"
    },
    {
      "time": "2026-03-02T09:00:00+01:00",
      "program_version": "",
      "package_version": "",
      "model": "",
      "serial": "",
      "transport": "",
      "device": "",
      "revision_before": "",
      "target_revision": "",
      "target_def": "",
      "method": "boot",
      "download_flow": "",
      "nvme_slot": null,
      "nvme_commit_action": 0,
      "state": "pending",
      "detail": "",
      "starts_without_drive": 0,
      "decided_time": "",
      "revision_found": null
    }
  ]
}
)";

TEST(UpdateHistory, DocumentRoundTripsByteForByte) {
    History h;
    HistoryEntry e;
    e.time = "2026-03-01T09:00:00+01:00";
    e.program_version = "3.1.0";
    e.package_version = "J0614E5 \"fast\"";
    e.model = "MERETH\xFF SSD\x80";
    e.serial = "MJ256\0\x1F\x7F\xC3\xA9"s;
    e.transport = "usb";
    e.device = "\\\\.\\PhysicalDrive3";
    e.revision_before = "J0613E5";
    e.target_revision = "J0614E5";
    e.target_def = "GJ614035";
    e.method = "nvme";
    e.download_flow = "chunked";
    e.nvme_slot = 2;
    e.state = "failed";
    e.detail = "the drive still reports firmware J0613E5 after the restart";
    e.starts_without_drive = 3;
    e.decided_time = "2026-03-04T10:20:30-05:30";
    e.revision_found = "J0613E5";
    HistoryEntry second;
    second.time = "2026-03-02T09:00:00+01:00";
    second.method = "boot";
    second.nvme_commit_action = 0;
    second.state = "pending";
    h.entries = {e, second};

    EXPECT_EQ(HistoryJson(h), kDocument);
    const HistoryParse p = ParseHistory(kDocument);
    ASSERT_EQ(p.status, HistoryStatus::Ok) << p.why;
    EXPECT_EQ(p.schema, 1);
    EXPECT_EQ(p.history, h);
    EXPECT_EQ(HistoryJson(History{}), "{\n  \"schema\": 1,\n  \"entries\": []\n}\n");
}

TEST(UpdateHistory, ParseNamesWhatIsWrong) {
    const std::string doc = kDocument;
    auto with = [&doc](const std::string& from, const std::string& to) {
        const size_t at = doc.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? doc : doc.substr(0, at) + to + doc.substr(at + from.size());
    };
    const char* const kCount = "expected a whole number from 0 to 2147483647";
    struct Row {
        std::string text;
        HistoryStatus status;
        std::string why;
        int schema;
    } rows[] = {
        {"", HistoryStatus::Damaged, "not valid JSON", 0},
        {doc.substr(0, doc.size() - 3), HistoryStatus::Damaged, "not valid JSON", 0},
        {with("MERETH", "\xFF"), HistoryStatus::Damaged, "not valid JSON", 0},
        {"[]", HistoryStatus::Damaged, "(top level): expected an object", 0},
        {R"({"entries": []})", HistoryStatus::Damaged, "schema: missing", 0},
        {R"({"schema": "1", "entries": []})", HistoryStatus::Damaged, "schema: expected a whole number from 1", 0},
        {R"({"schema": 0, "entries": []})", HistoryStatus::Damaged, "schema: expected a whole number from 1", 0},
        {R"({"schema": -1, "entries": []})", HistoryStatus::Damaged, "schema: expected a whole number from 1", 0},
        {R"({"schema": 1.0, "entries": []})", HistoryStatus::Damaged, "schema: expected a whole number from 1", 0},
        {R"({"schema": 2, "entries": "whatever a later program keeps"})", HistoryStatus::Newer, "2", 2},
        {R"({"schema": 99999999999})", HistoryStatus::Newer, "99999999999", 2147483647},
        {R"({"schema": 1})", HistoryStatus::Damaged, "entries: missing", 1},
        {R"({"schema": 1, "entries": {}})", HistoryStatus::Damaged, "entries: expected an array", 1},
        {R"({"schema": 1, "entries": [null]})", HistoryStatus::Damaged, "entries[0]: expected an object", 1},
        {with("\"failed\"", "\"done\""), HistoryStatus::Damaged,
         "entries[0].state: expected one of verified, pending, failed, refused", 1},
        {with("\"pending\"", "\"Pending\""), HistoryStatus::Damaged,
         "entries[1].state: expected one of verified, pending, failed, refused", 1},
        {with("\"nvme\"", "\"usb\""), HistoryStatus::Damaged, "entries[0].method: expected one of download, nvme, boot",
         1},
        {with("\"serial\": \"MJ256", "\"Serial\": \"MJ256"), HistoryStatus::Damaged, "entries[0].serial: missing", 1},
        {with("\"transport\": \"usb\"", "\"transport\": null"), HistoryStatus::Damaged,
         "entries[0].transport: expected a string", 1},
        {with("\"starts_without_drive\": 3", "\"starts_without_drive\": -1"), HistoryStatus::Damaged,
         "entries[0].starts_without_drive: "s + kCount, 1},
        {with("\"starts_without_drive\": 3", "\"starts_without_drive\": 2147483648"), HistoryStatus::Damaged,
         "entries[0].starts_without_drive: "s + kCount, 1},
        {with("\"nvme_slot\": 2", "\"nvme_slot\": \"2\""), HistoryStatus::Damaged,
         "entries[0].nvme_slot: "s + kCount + " or null", 1},
        {with("\"nvme_commit_action\": 0", "\"nvme_commit_action\": -3"), HistoryStatus::Damaged,
         "entries[1].nvme_commit_action: "s + kCount + " or null", 1},
        {with("\"revision_found\": \"J0613E5\"", "\"revision_found\": false"), HistoryStatus::Damaged,
         "entries[0].revision_found: expected a string or null", 1},
        {with("SSD\\u0080", "SSD\\u0100"), HistoryStatus::Damaged,
         "entries[0].model: holds a character beyond U+00FF", 1},
        {with("\"detail\": \"the", "\"detail\": \"\xE2\x80\x94the"), HistoryStatus::Damaged,
         "entries[0].detail: holds a character beyond U+00FF", 1},
        // Fields a later version of this schema adds are no damage.
        {with("\"time\"", "\"note\": [1, {}], \"time\""), HistoryStatus::Ok, "", 1},
    };
    for (const Row& r : rows) {
        const HistoryParse p = ParseHistory(r.text);
        EXPECT_EQ(p.status, r.status) << r.text;
        EXPECT_EQ(p.why, r.why) << r.text;
        EXPECT_EQ(p.schema, r.schema) << r.text;
        if (r.status != HistoryStatus::Ok) {
            EXPECT_TRUE(p.history.entries.empty()) << r.text;
        }
    }
}

const char kPath[] = "C:\\ProgramData\\Orvane\\history.json";
const char kAside[] = "C:\\ProgramData\\Orvane\\history.json.damaged-20260304-102030";
const char kNotWritten[] = "HISTORY: not written (C:\\ProgramData\\Orvane\\history.json is left as it is)\n";

TEST(UpdateHistory, HistoryFileNeverLosesWhatIsThere) {
    using Api = test::FakeSystemApi;
    auto put = [](Api& api, const char* path, std::string_view bytes) {
        api.files[path] = std::vector<uint8_t>(bytes.begin(), bytes.end());
    };
    // Nine damaged files set aside in the same second.
    std::map<std::string, std::string> nine = {{kAside, "1"}};
    for (int k = 2; k <= 9; ++k) nine[kAside + "-"s + std::to_string(k)] = std::to_string(k);
    struct Row {
        const char* name;
        std::function<void(Api&)> setup;
        size_t loaded;
        bool stored;
        std::vector<std::string> log;
        std::map<std::string, std::string> others;  // the files besides the history afterwards
        // The history afterwards: none, its old bytes, or "" for the one written (it must read back).
        std::optional<std::string> history;
    } rows[] = {
        {"none yet", [](Api&) {}, 0, true, {}, {}, ""},
        {"one to go on with", [&](Api& api) { put(api, kPath, kDocument); }, 2, true, {}, {}, ""},
        {"damaged: set aside", [&](Api& api) { put(api, kPath, "{"); }, 0, true,
         {"HISTORY: C:\\ProgramData\\Orvane\\history.json is damaged (not valid JSON); set aside as "
          "history.json.damaged-20260304-102030\n"},
         {{kAside, "{"}}, ""},
        {"damaged twice in one second: the first one set aside stays",
         [&](Api& api) {
             put(api, kPath, "[]");
             put(api, kAside, "{");
         },
         0, true,
         {"HISTORY: C:\\ProgramData\\Orvane\\history.json is damaged ((top level): expected an object); set aside "
          "as history.json.damaged-20260304-102030-2\n"},
         {{kAside, "{"}, {kAside + "-2"s, "[]"}}, ""},
        {"there but unreadable: set aside",
         [&](Api& api) {
             put(api, kPath, "x");
             api.unreadable.insert(kPath);
         },
         0, true,
         {"HISTORY: C:\\ProgramData\\Orvane\\history.json is damaged (cannot be read); set aside as "
          "history.json.damaged-20260304-102030\n"},
         {{kAside, "x"}}, ""},
        {"damaged and cannot be set aside: not written over",
         [&](Api& api) {
             put(api, kPath, "{");
             api.unwritable.insert(kAside);
         },
         0, false,
         {"HISTORY: C:\\ProgramData\\Orvane\\history.json is damaged (not valid JSON); cannot set it aside as "
          "history.json.damaged-20260304-102030, so it stays as it is and is not written over\n",
          kNotWritten},
         {}, "{"},
        {"no free name to set it aside under: not written over",
         [&](Api& api) {
             put(api, kPath, "{");
             for (const auto& [path, bytes] : nine) put(api, path.c_str(), bytes);
         },
         0, false,
         {"HISTORY: C:\\ProgramData\\Orvane\\history.json is damaged (not valid JSON); cannot set it aside as "
          "history.json.damaged-20260304-102030, so it stays as it is and is not written over\n",
          kNotWritten},
         nine, "{"},
        {"newer: left alone", [&](Api& api) { put(api, kPath, R"({"schema": 2})"); }, 0, false,
         {"HISTORY: C:\\ProgramData\\Orvane\\history.json has schema 2, newer than this program's 1; left alone\n",
          kNotWritten},
         {}, R"({"schema": 2})"},
        {"the folder cannot be made", [](Api& api) { api.protect_ok = false; }, 0, false,
         {"HISTORY: cannot make C:\\ProgramData\\Orvane\n"}, {}, std::nullopt},
        {"the file cannot be written", [](Api& api) { api.unwritable.insert(kPath + ".tmp"s); }, 0, false,
         {"HISTORY: not written (cannot write C:\\ProgramData\\Orvane\\history.json.tmp)\n"}, {}, std::nullopt},
        {"the system names no folder", [](Api& api) { api.program_data = ""; }, 0, false,
         {"HISTORY: the system names no application-data folder; not written\n"}, {}, std::nullopt},
    };
    for (const Row& r : rows) {
        Api api;
        r.setup(api);
        std::vector<std::string> log;
        HistoryFile file(api, [&log](const std::string& line) { log.push_back(line); });
        History h = file.Load();
        EXPECT_EQ(h.entries.size(), r.loaded) << r.name;
        AddEntry(h, Pending("S9", "2.0"));
        EXPECT_EQ(file.Store(h), r.stored) << r.name;
        EXPECT_EQ(log, r.log) << r.name;
        EXPECT_EQ(file.newer_schema(), r.name == "newer: left alone"s) << r.name;

        std::map<std::string, std::string> others;
        std::optional<std::string> history;
        for (const auto& [path, bytes] : api.files)
            (path == kPath ? history.emplace() : others[path]) = std::string(bytes.begin(), bytes.end());
        EXPECT_EQ(others, r.others) << r.name;
        if (r.history && r.history->empty()) {
            ASSERT_TRUE(history) << r.name;
            const HistoryParse p = ParseHistory(*history);
            ASSERT_EQ(p.status, HistoryStatus::Ok) << r.name << ": " << p.why;
            EXPECT_EQ(p.history, h) << r.name;
            EXPECT_EQ(api.protected_dirs, std::vector<std::string>{"C:\\ProgramData\\Orvane"}) << r.name;
        } else {
            EXPECT_EQ(history, r.history) << r.name;
        }
    }
}

}  // namespace
}  // namespace orvane::app
