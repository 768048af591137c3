#include "package/eligibility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/debug_log.h"
#include "common/fake_system_api.h"
#include "common/package_bytes.h"

namespace orvane::package {
namespace {

// A drive entry's four text fields, NUL-padded to their widths as the drive table holds them.
struct Drive {
    char model_chk[40] = {};
    char model[40] = {};
    char fw[8] = {};
    char def[8] = {};
    bool existed = true;
    bool nvme = false;

    DriveFacts Facts() const {
        return {existed, nvme, {model_chk, sizeof model_chk}, {model, sizeof model}, {fw, sizeof fw}, {def, sizeof def}};
    }
};

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

Drive MakeDrive(const std::string& model, const std::string& fw, const std::string& def = "") {
    Drive d;
    Put(d.model_chk, model);
    Put(d.model, model);
    Put(d.fw, fw);
    Put(d.def, def.empty() ? fw : def);
    return d;
}

// The build's own block: group 1 record 1 filled, the other 119 records placeholders.
PackageInfo Stored() {
    testing::PackageBytes bytes;
    ParseResult r = ParsePackage(bytes.data(), bytes.size());
    EXPECT_TRUE(r.ok) << r.error;
    return r.info;
}

void SetRecord(PackageInfo& p, int g, int r, const std::string& fws, const std::string& fwe,
               const std::string& model) {
    EligibilityRecord& rec = p.records[g][r];
    std::memset(&rec, 0, sizeof rec);
    Put(rec.szFWS, fws);
    Put(rec.szFWE, fwe);
    Put(rec.szModel, model);
}

const std::string kModel = "TOLBERN TQ-256K7KW";

struct Case {
    const char* name;
    std::function<void(PackageInfo&)> package;  // applied to the stored package
    Drive drive;
    bool enabled;
    uint16_t slot;
};

Drive NotExisting() {
    Drive d = MakeDrive(kModel, "1.02");
    d.existed = false;
    return d;
}
Drive Nvme(const std::string& model, const std::string& fw) {
    Drive d = MakeDrive(model, fw);
    d.nvme = true;
    return d;
}
Drive ModelFieldEmpty() {  // szModelChk still filled: the check looks at szModel's first byte
    Drive d = MakeDrive(kModel, "1.02");
    d.model[0] = '\0';
    return d;
}

void Keep(PackageInfo&) {}
// Every group filled with a record for another drive, so none is left unfilled (accepting all).
void AllGroupsFilled(PackageInfo& p) {
    for (int g = 0; g < kSlotCount; ++g) SetRecord(p, g, 0, "", "", "NOBODY");
}
void Unfilled(PackageInfo& p) { SetRecord(p, 0, 0, "#FLSH11", "#", "#"); }
void EmptyRecord(PackageInfo& p) { SetRecord(p, 0, 0, "", "", ""); }
void UseExt(PackageInfo& p) {
    p.opt.bUseFWExt = true;
    SetRecord(p, 0, 0, "GM802030", "GM802039", kModel);
}

TEST(Eligibility, DecidesAsTheRecordsSay) {
    const Case cases[] = {
        {"stored: 1.02 in range", Keep, MakeDrive(kModel, "1.02"), true, 0},
        {"stored: lower bound inclusive", Keep, MakeDrive(kModel, "1.0!"), true, 0},
        {"stored: upper bound inclusive", Keep, MakeDrive(kModel, "1.0~"), true, 0},
        {"stored: 1.1 is three characters against four", Keep, MakeDrive(kModel, "1.1"), false, 0},
        {"stored: 1.10 above 1.0~", Keep, MakeDrive(kModel, "1.10"), false, 0},
        {"stored: another model", Keep, MakeDrive("TOLBERN TQ-512K7KW", "1.02"), false, 0},
        {"stored: lower-case model", Keep, MakeDrive("tolbern tq-256k7kw", "1.02"), false, 0},
        {"stored: blanks around the texts", Keep, MakeDrive("  " + kModel + "    ", " 1.02  "), true, 0},
        {"stored: firmware blank-padded to three", Keep, MakeDrive(kModel, "1.0 "), false, 0},
        {"stored: not existing", Keep, NotExisting(), false, 0},
        {"stored: NVMe decided alike", Keep, Nvme(kModel, "1.02"), true, 0},
        {"stored: empty model field", Keep, ModelFieldEmpty(), false, 0},
        {"unfilled group: any drive", Unfilled, MakeDrive("ANY DRIVE", "X"), true, 0},
        {"unfilled group: empty drive texts", Unfilled, MakeDrive("", ""), true, 0},
        {"unfilled group: not existing", Unfilled, NotExisting(), false, 0},
        {"empty record: any drive", EmptyRecord, MakeDrive("ANY DRIVE", "X"), true, 0},
        {"empty record: empty model field", EmptyRecord, ModelFieldEmpty(), true, 0},
        {"empty model field: accepted by an empty-model record",
         [](PackageInfo& p) { SetRecord(p, 0, 1, "1.0!", "1.0~", ""); }, ModelFieldEmpty(), true, 0},
        {"bUseFWExt: extended text in range", UseExt, MakeDrive(kModel, "1.02", "GM802035"), true, 0},
        {"bUseFWExt: revision is not looked at", UseExt, MakeDrive(kModel, "GM802035", "GM802040"), false, 0},
        {"extended text ignored without bUseFWExt",
         [](PackageInfo& p) { SetRecord(p, 0, 0, "GM802030", "GM802039", kModel); },
         MakeDrive(kModel, "1.02", "GM802035"), false, 0},
        {"second record of the group",
         [](PackageInfo& p) { SetRecord(p, 0, 1, "2.0", "2.9", "OTHER"); }, MakeDrive("OTHER", "2.5"), true, 0},
        {"iFWCount 2: group 1 accepts",
         [](PackageInfo& p) {
             p.opt.iFWCount = 2;
             SetRecord(p, 1, 0, "", "", "OTHER");
         },
         MakeDrive("OTHER", "9"), true, 1},
        {"iFWCount 1: group 1 never looked at", [](PackageInfo& p) { SetRecord(p, 1, 0, "", "", "OTHER"); },
         MakeDrive("OTHER", "9"), false, 0},
        {"iFWCount 2: group 0 wins over group 1",
         [](PackageInfo& p) {
             p.opt.iFWCount = 2;
             SetRecord(p, 1, 0, "", "", kModel);
         },
         MakeDrive(kModel, "1.02"), true, 0},
        {"iFWCount 16: the 15th group is the last",
         [](PackageInfo& p) {
             p.opt.iFWCount = 16;
             AllGroupsFilled(p);
             SetRecord(p, 14, 0, "", "", "OTHER");
         },
         MakeDrive("OTHER", "9"), true, 14},
        {"iFWCount 127: nothing past the table", [](PackageInfo& p) {
             p.opt.iFWCount = 127;
             AllGroupsFilled(p);
         },
         MakeDrive("OTHER", "9"), false, 0},
        {"iFWCount -1: no group", [](PackageInfo& p) { p.opt.iFWCount = -1; Unfilled(p); },
         MakeDrive("ANY", "X"), false, 0},
        {"iFWCount 0: no group", [](PackageInfo& p) { p.opt.iFWCount = 0; Unfilled(p); },
         MakeDrive("ANY", "X"), false, 0},
        {"bytes compared unsigned", [](PackageInfo& p) { SetRecord(p, 0, 0, "A", "\xFF", ""); },
         MakeDrive("ANY", "\xC0"), true, 0},
        {"a proper prefix is smaller", [](PackageInfo& p) { SetRecord(p, 0, 0, "AC", "A", ""); },
         MakeDrive("ANY", "AC"), false, 0},
        {"a proper prefix as upper bound's start", [](PackageInfo& p) { SetRecord(p, 0, 0, "AB", "ABC", ""); },
         MakeDrive("ANY", "AB"), true, 0},
        {"whole-width fields without NUL",
         [](PackageInfo& p) { SetRecord(p, 0, 0, "ABCDEFGH", "ABCDEFGH", std::string(40, 'M')); },
         MakeDrive(std::string(40, 'M') + "TAIL", "ABCDEFGHIJ"), true, 0},
    };
    for (const Case& c : cases) {
        PackageInfo p = Stored();
        c.package(p);
        std::vector<std::string> lines;
        const Eligibility e = ChkConstraint(c.drive.Facts(), p, [&](const std::string& s) { lines.push_back(s); });
        EXPECT_EQ(e.bEnabled, c.enabled) << c.name;
        if (c.enabled) {
            EXPECT_EQ(e.wSlot, c.slot) << c.name;
        }
        EXPECT_FALSE(lines.empty()) << c.name;
    }
}

std::vector<std::string> LogOf(const Drive& d, const PackageInfo& p) {
    std::vector<std::string> lines;
    ChkConstraint(d.Facts(), p, [&](const std::string& s) { lines.push_back(s); });
    return lines;
}

// Records 2 to 8 of group 1 as the build leaves them, against a drive of kModel.
const std::vector<std::string> kPlaceholdersRefuse = {
    "  _FC STR:#FLSH12 # # \n", "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:#", "  iPassLevel:0 mis-match\n",
    "  _FC STR:#FLSH13 # # \n", "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:#", "  iPassLevel:0 mis-match\n",
    "  _FC STR:#FLSH14 # # \n", "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:#", "  iPassLevel:0 mis-match\n",
    "  _FC STR:#FLSH15 # # \n", "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:#", "  iPassLevel:0 mis-match\n",
    "  _FC STR:#FLSH16 # # \n", "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:#", "  iPassLevel:0 mis-match\n",
    "  _FC STR:#FLSH17 # # \n", "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:#", "  iPassLevel:0 mis-match\n",
    "  _FC STR:#FLSH18 # # \n", "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:#", "  iPassLevel:0 mis-match\n",
};

TEST(Eligibility, LogsEveryStep) {
    struct LogCase {
        const char* name;
        std::function<void(PackageInfo&)> package;
        Drive drive;
        std::vector<std::string> lines;
    };
    std::vector<std::string> len_err = {
        "ChkConstraint: bExisted:1, bUseFWExt:0\n",
        "  DEF1 |                       TOLBERN TQ-256K7KW | 1.1",
        "  _FC STR:1.0! 1.0~ TOLBERN TQ-256K7KW \n",
        "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:TOLBERN TQ-256K7KW",
        "  iPassLevel:1 match\n",
        "   FWS[1.1]|CFW[1.0!]",
        "LEN ERR : FW3 CFWS4 CFWE4 \n",
    };
    len_err.insert(len_err.end(), kPlaceholdersRefuse.begin(), kPlaceholdersRefuse.end());

    const LogCase cases[] = {
        {"stored package accepts 1.02",
         Keep,
         MakeDrive(kModel, "1.02"),
         {
             "ChkConstraint: bExisted:1, bUseFWExt:0\n",
             "  DEF1 |                       TOLBERN TQ-256K7KW | 1.02",
             "  _FC STR:1.0! 1.0~ TOLBERN TQ-256K7KW \n",
             "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:TOLBERN TQ-256K7KW",
             "  iPassLevel:1 match\n",
             "   FWS[1.02]|CFW[1.0!]",
             "  iPassLevel:3 match\n",
             "   FWE[1.02]|CFW[1.0~]",
             "  iPassLevel:4 match\n",
         }},
        {"stored package: 1.1 has the wrong length", Keep, MakeDrive(kModel, "1.1"), len_err},
        {"upper bound fails at level 3",
         Keep,
         MakeDrive(kModel, "1.10"),
         [] {
             std::vector<std::string> v = {
                 "ChkConstraint: bExisted:1, bUseFWExt:0\n",
                 "  DEF1 |                       TOLBERN TQ-256K7KW | 1.10",
                 "  _FC STR:1.0! 1.0~ TOLBERN TQ-256K7KW \n",
                 "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:TOLBERN TQ-256K7KW",
                 "  iPassLevel:1 match\n",
                 "   FWS[1.10]|CFW[1.0!]",
                 "  iPassLevel:3 match\n",
                 "   FWE[1.10]|CFW[1.0~]",
                 "  iPassLevel:3 mis-match\n",
             };
             v.insert(v.end(), kPlaceholdersRefuse.begin(), kPlaceholdersRefuse.end());
             return v;
         }()},
        {"unfilled group, NVMe drive",
         Unfilled,
         Nvme("NV 1TB", "ABC12345"),
         {
             "ChkConstraint: bExisted:1, bUseFWExt:0\n",
             "  DEF0 |                                   NV 1TB | ABC12345",
             "  _FC STR:#FLSH11 # # \n",
             "NO constraint was set, exit check",
         }},
        {"empty record writes no comparison",
         EmptyRecord,
         MakeDrive("ANY", "1.02"),
         {
             "ChkConstraint: bExisted:1, bUseFWExt:0\n",
             "  DEF1 |                                      ANY | 1.02",
             "  _FC STR:   \n",
             "  iPassLevel:1 match\n",
             "  iPassLevel:3 match\n",
             "  iPassLevel:4 match\n",
         }},
        {"bUseFWExt shows the extended text's 8th character",
         UseExt,
         MakeDrive(kModel, "1.02", "GM802035"),
         {
             "ChkConstraint: bExisted:1, bUseFWExt:1\n",
             "  DEF5 |                       TOLBERN TQ-256K7KW | GM80203",
             "  _FC STR:GM802030 GM802039 TOLBERN TQ-256K7KW \n",
             "   MODEL:TOLBERN TQ-256K7KW\n  CMODEL:TOLBERN TQ-256K7KW",
             "  iPassLevel:1 match\n",
             "   FWS[GM802035]|CFW[GM802030]",
             "  iPassLevel:3 match\n",
             "   FWE[GM802035]|CFW[GM802039]",
             "  iPassLevel:4 match\n",
         }},
        {"not existing: one line", Keep, NotExisting(), {"ChkConstraint: bExisted:0, bUseFWExt:0\n"}},
        {"empty model field, no group",
         [](PackageInfo& p) { p.opt.iFWCount = 0; },
         ModelFieldEmpty(),
         {
             "ChkConstraint: bExisted:1, bUseFWExt:0\n",
             "  DEF1 |                                          | 1.02",
         }},
    };
    for (const LogCase& c : cases) {
        PackageInfo p = Stored();
        c.package(p);
        EXPECT_EQ(LogOf(c.drive, p), c.lines) << c.name;
    }
}

TEST(Eligibility, LinesReachTheLogFileAsWritten) {
    test::FakeSystemApi api;
    app::DebugLog log(api, "C:\\TEMP\\ORVANE_DEBUG.txt");
    PackageInfo p = Stored();
    Unfilled(p);
    ChkConstraint(MakeDrive("ANY", "1.02").Facts(), p, [&](const std::string& s) { log.Line(s); });
    const std::vector<uint8_t>& file = api.files[log.path()];
    EXPECT_EQ(std::string(file.begin(), file.end()),
              "ChkConstraint: bExisted:1, bUseFWExt:0\n\n"
              "  DEF1 |                                      ANY | 1.02\n"
              "  _FC STR:#FLSH11 # # \n\n"
              "NO constraint was set, exit check\n");
}

}  // namespace
}  // namespace orvane::package
