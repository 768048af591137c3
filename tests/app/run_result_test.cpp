#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/result_file.h"
#include "app/run_result.h"
#include "common/fake_system_api.h"
#include "common/latin1.h"

namespace orvane::app {
namespace {

using namespace std::string_literals;

TEST(ResultJson, StringsAreEscapedByteForByte) {
    struct Row {
        std::string bytes;
        const char* json;
    } rows[] = {
        {"MERETH SSD 512GB", R"("MERETH SSD 512GB")"},
        {"a\"b", R"("a\"b")"},
        {"C:\\x\\r.json", R"("C:\\x\\r.json")"},
        {"/T:", R"("/T:")"},
        {"\0"s, R"("\u0000")"},
        {"\n\r\t", R"("\u000A\u000D\u0009")"},
        {"\x1F\x20", R"("\u001F ")"},
        {"\x7F", R"("\u007F")"},
        {"\x80\xFF", R"("\u0080\u00FF")"},
        // A UTF-8 "e acute" from a drive stays two single-byte characters.
        {"\xC3\xA9", R"("\u00C3\u00A9")"},
        {"S0614C0\0\xFE"s, R"("S0614C0\u0000\u00FE")"},
        {"", R"("")"},
    };
    for (const Row& r : rows) EXPECT_EQ(JsonString(r.bytes), r.json) << r.json;
}

TEST(ResultJson, EveryByteSurvivesAParser) {
    std::string all;
    for (int b = 255; b >= 0; --b) all += static_cast<char>(b);
    const std::string doc = "{\"s\": " + JsonString(all) + "}";
    const auto parsed = nlohmann::json::parse(doc, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded());
    EXPECT_EQ(test::Latin1(parsed["s"].get<std::string>()), all);
    for (char c : doc) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "plain ASCII only";
}

TEST(ResultJson, OutcomeWording) {
    struct Row {
        std::string got;
        const char* want;
    } rows[] = {
        {outcome::kUpdated, "updated"},
        {outcome::kAlreadyLatest, "already latest"},
        {outcome::kNotFoundAgain, "not found again"},
        {outcome::kErased, "erased"},
        {outcome::kBootPrepared, "boot-time update prepared"},
        {outcome::kNotUpdated, "not updated"},
        {outcome::Refused("Fatal error is found, please return this drive to the vendor !"),
         "refused: Fatal error is found, please return this drive to the vendor !"},
        {outcome::Failed("ERROR: ATACMD_ERR, STATUS_REGISTER:0x51"), "failed: ERROR: ATACMD_ERR, STATUS_REGISTER:0x51"},
        // Box texts hold line ends; a reason is one line.
        {outcome::Failed("[0xE1] Fail to write UPDATE files into system !\n"),
         "failed: [0xE1] Fail to write UPDATE files into system !"},
        {outcome::Refused("Because this tool contains erase function.\nOrvane recommends"),
         "refused: Because this tool contains erase function. Orvane recommends"},
        {outcome::Refused("a\r\n\r\nb \n"), "refused: a b"},
    };
    for (const Row& r : rows) EXPECT_EQ(r.got, r.want);
}

TEST(ResultJson, ExitCodeMeanings) {
    struct Row {
        int code;
        const char* meaning;
    } rows[] = {
        {0, "success, or the drive already has the firmware"},
        {1, "an error, or administrator rights are missing"},
        {2, "an unattended package was started without a usable target, or the command line was refused (a "
            "target the package does not take, an unknown argument with /S)"},
        {3, "no eligible drive, a failed scan, or an erase-capable package refused on the boot drive"},
        {4, "no firmware in the executable, or a malformed package (the message names the field)"},
        {5, "unknown exit code"},
        {7, "an NVMe drive without the needed system support"},
        {8, "a /C: argument that does not convert"},
        {9, "another copy of the program is running; this one touched no drive"},
        {10, "/VERIFY: an update is still pending (its drive awaits a restart or was not found yet)"},
        {-1, "unknown exit code"},
    };
    for (const Row& r : rows) EXPECT_STREQ(ExitMeaning(r.code), r.meaning) << r.code;
}

TEST(ResultJson, WholeDocument) {
    RunResult r;
    r.program_version = "3.1.10";
    r.package_version = "V2.4";
    r.host_name = "FLEET-0042";
    r.exit_code = 1;
    r.start = {2026, 1, 5, 9, 30, 0, 500};
    r.end = {2026, 1, 5, 9, 31, 7, 0};
    r.utc_offset_minutes = -210;  // Newfoundland: minus three and a half hours
    DriveResult a;
    a.model = "MERETH SSD 512GB";
    a.serial = "MS512A\x01";
    a.device = "\\\\.\\PhysicalDrive1";
    a.revision_before = "S0614B0";
    a.target_revision = "S0614C0";
    a.revision_after.reset();
    a.transport = "ATA PASSTHROUGH";
    a.outcome = "failed: ERROR: ATACMD_ERR, STATUS_REGISTER:0x51";
    a.history_state = "failed";
    a.duration_seconds = 12.3456;
    DriveResult b;
    b.model = "OTHER";
    b.serial = "X1";
    b.device = "\\\\.\\PhysicalDrive0";
    b.revision_before = "1.0";
    b.revision_after = "1.0";
    b.reason = "not eligible";
    r.drives = {a, b};
    r.verification = {VerificationResult{"2026-01-04T18:02:11-03:30", "MERETH NVMe 1TB", "NV1", "N0814A0",
                                         std::string("N0814A0"), "verified", "", 0}};
    EXPECT_EQ(ResultJson(r), R"({
  "schema": 2,
  "run": "update",
  "program_version": "3.1.10",
  "package_version": "V2.4",
  "host_name": "FLEET-0042",
  "exit_code": 1,
  "exit_meaning": "an error, or administrator rights are missing",
  "start_time": "2026-01-05T09:30:00-03:30",
  "end_time": "2026-01-05T09:31:07-03:30",
  "drives": [
    {
      "model": "MERETH SSD 512GB",
      "serial": "MS512A\u0001",
      "device": "\\\\.\\PhysicalDrive1",
      "transport": "ATA PASSTHROUGH",
      "revision_before": "S0614B0",
      "target_revision": "S0614C0",
      "revision_after": null,
      "outcome": "failed",
      "detail": "ERROR: ATACMD_ERR, STATUS_REGISTER:0x51",
      "restart_required": false,
      "restart_requested": false,
      "history_state": "failed",
      "duration_seconds": 12.346
    },
    {
      "model": "OTHER",
      "serial": "X1",
      "device": "\\\\.\\PhysicalDrive0",
      "transport": null,
      "revision_before": "1.0",
      "target_revision": null,
      "revision_after": "1.0",
      "outcome": "not_updated",
      "detail": "not eligible",
      "restart_required": false,
      "restart_requested": false,
      "history_state": null,
      "duration_seconds": null
    }
  ],
  "verification": [
    {
      "update_time": "2026-01-04T18:02:11-03:30",
      "model": "MERETH NVMe 1TB",
      "serial": "NV1",
      "target_revision": "N0814A0",
      "revision_found": "N0814A0",
      "state": "verified",
      "detail": "",
      "starts_without_drive": 0
    }
  ]
}
)");
    r.drives.clear();
    r.verification.clear();
    const auto parsed = nlohmann::json::parse(ResultJson(r), nullptr, false);
    ASSERT_FALSE(parsed.is_discarded());
    EXPECT_EQ(parsed["drives"], nlohmann::json::array());
    EXPECT_EQ(parsed["verification"], nlohmann::json::array());
}

// The fixed word a fleet reads and the free text beside it, from what a run recorded.
TEST(ResultJson, OutcomeWordsAndDetail) {
    struct Row {
        std::string outcome, reason, pending_why;
        const char* word;
        const char* detail;
    } rows[] = {
        {"updated", "", "", "updated", ""},
        {"pending", "", "the drive activates the new firmware at the next restart", "pending",
         "the drive activates the new firmware at the next restart"},
        {"not found again", "", "", "pending", "not found again after the download"},
        {"already latest", "", "", "already_latest", ""},
        {"erased", "", "", "erased", ""},
        {"boot-time update prepared", "", "the boot-time flasher updates the drive at the next start", "boot_prepared",
         "the boot-time flasher updates the drive at the next start"},
        {"not updated", "not eligible", "", "not_updated", "not eligible"},
        {"not updated", "the user declined the warning; nothing was updated", "", "declined",
         "the user declined the warning; nothing was updated"},
        {"refused: Fatal error is found, please return this drive to the vendor !", "", "", "refused",
         "Fatal error is found, please return this drive to the vendor !"},
        {"failed: the drive still reports firmware S0614B0", "", "", "failed",
         "the drive still reports firmware S0614B0"},
        {"verified", "", "", "verified", ""},
    };
    for (const Row& r : rows) {
        DriveResult d;
        d.outcome = r.outcome;
        d.reason = r.reason;
        d.pending_why = r.pending_why;
        const OutcomeWords w = WordsOf(d);
        EXPECT_EQ(w.outcome, r.word) << r.outcome;
        EXPECT_EQ(w.detail, r.detail) << r.outcome;
    }
}

TEST(ResultFile, PathsWindowsWouldNotWrite) {
    struct Row {
        std::string path;
        bool ok;
    } rows[] = {
        {"C:\\fleet\\r.json", true},
        {"\\\\server\\share\\r.json", true},
        {"r.json", true},
        {"/tmp/results/r.json", true},
        {"C:\\x/T:y\\r.json", false},  // a colon past the drive
        {"", false},
        {std::string(255, 'a'), true},
        {std::string(256, 'a'), false},
        {"C:\\fleet\\", false},
        {"C:", false},
        {"C:\\fleet\\..", false},
        {"C:\\fleet\\r.json.", false},
        {"C:\\fleet\\r.json ", false},
        {"C:\\fleet\\r?.json", false},
        {"C:\\fleet\\r*.json", false},
        {"C:\\fleet\\<r>.json", false},
        {"C:\\fleet\\r|x", false},
        {"C:\\fleet\\\"r\"", false},
        {"C:\\fleet\\r\n.json", false},
        {"C:\\fleet\\r.json:stream", false},
        {"1:\\r.json", false},
        {"C:\\fleet\\NUL", false},
        {"C:\\fleet\\nul.json", false},
        {"C:\\fleet\\com1.txt", false},
        {"C:\\fleet\\LPT9", false},
        {"C:\\fleet\\COM0", true},
        {"C:\\fleet\\console.json", true},
        {"C:\\fleet\\r\xE9sultat.json", true},  // a code-page name
    };
    for (const Row& r : rows) EXPECT_EQ(ResultPathProblem(r.path).empty(), r.ok) << r.path;
}

TEST(ResultFile, WrittenWholeOrNotAtAll) {
    const std::string path = "C:\\fleet\\r.json", tmp = path + ".tmp";
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    struct Row {
        const char* name;
        std::set<std::string> unwritable;
        bool written;
    } rows[] = {
        {"written", {}, true},
        {"the temporary file cannot be written", {tmp}, false},
        {"the target cannot be replaced", {path}, false},
    };
    for (const Row& r : rows) {
        test::FakeSystemApi api;
        api.files[path] = old;
        api.unwritable = r.unwritable;
        const std::string why = WriteResultFile(api, path, "{}\n");
        EXPECT_EQ(why.empty(), r.written) << r.name << ": " << why;
        const std::vector<uint8_t> want = r.written ? std::vector<uint8_t>{'{', '}', '\n'} : old;
        EXPECT_EQ(api.files[path], want) << r.name;
        EXPECT_EQ(api.files.count(tmp), 0u) << r.name << ": the temporary file is left";
    }
}

}  // namespace
}  // namespace orvane::app
