#include <gtest/gtest.h>

#include "app/command_line.h"

namespace orvane::app {
namespace {

TEST(HexTextToInt64, PiecesFromTheEnd) {
    struct Row {
        const char* text;
        int base;
        std::optional<uint64_t> value;
    } rows[] = {
        {"ABC", 16, 0xABC},
        {"abc", 16, 0xABC},
        {"0", 16, 0},
        {"5000CCA012345678", 16, 0x5000CCA012345678ull},
        {"FFFFFFFFFFFFFFFF", 16, 0xFFFFFFFFFFFFFFFFull},
        {"123", 16, 0x123},
        {"0123456789ABCDEF0", 16, std::nullopt},  // 17 digits
        {"12G4", 16, std::nullopt},
        {"", 16, std::nullopt},
        {"0x12", 16, std::nullopt},
        {"1234", 10, 1234},
        {"18446744073709551615", 10, 18446744073709551615ull},
        {"18446744073709551616", 10, std::nullopt},
        {"12a", 10, std::nullopt},
        {"12", 8, std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(HexTextToInt64(r.text, r.base), r.value) << r.text << " base " << r.base;
}

TEST(ParseCommandLine, FlagsAreWholeArgumentsInAnyCase) {
    struct Row {
        std::vector<std::string> args;
        bool silent;
        bool erase;
    } rows[] = {
        {{"/S"}, true, false},
        {{"/s"}, true, false},
        {{"/erase"}, false, true},
        {{"/Erase", "/s"}, true, true},
        {{"/LIST", "/S"}, true, false},
        {{}, false, false},
    };
    for (const auto& r : rows) {
        CommandLine cl = ParseCommandLine(r.args, false);
        EXPECT_EQ(cl.bSilent, r.silent);
        EXPECT_EQ(cl.bEraseAll, r.erase);
        EXPECT_EQ(cl.errorLevel, -1);
        EXPECT_TRUE(cl.log.empty());
        EXPECT_EQ(cl.refusal, "");
    }
}

// Every argument that is no flag and no target the package takes is logged; with "/S" the first
// such argument, and in any mode a target for a package that takes none, ends the run.
TEST(ParseCommandLine, UnknownAndRefusedArguments) {
    const std::string kUnknown = "COMMAND_LINE: unknown argument ";
    struct Row {
        const char* name;
        bool unattended;
        std::vector<std::string> args;
        bool silent;
        std::string refusal;            // "": the run goes on
        std::vector<std::string> log;   // the whole log
    } rows[] = {
        {"near misses of /S are unknown", false, {"/SS", "x/S", "/S "}, false, "",
         {kUnknown + "\"/SS\"\n", kUnknown + "\"x/S\"\n", kUnknown + "\"/S \"\n"}},
        {"with /S an unknown argument ends the run", false, {"/S", "/SS"}, true,
         "Unknown argument \"/SS\". Nothing was updated.", {kUnknown + "\"/SS\"\n"}},
        {"/S after it counts the same", false, {"-erase", "/s"}, true,
         "Unknown argument \"-erase\". Nothing was updated.", {kUnknown + "\"-erase\"\n"}},
        {"an empty argument", false, {"/S", ""}, true, "Unknown argument \"\". Nothing was updated.",
         {kUnknown + "\"\"\n"}},
        {"the first of several", false, {"/S", "/Q", "/R"}, true, "Unknown argument \"/Q\". Nothing was updated.",
         {kUnknown + "\"/Q\"\n", kUnknown + "\"/R\"\n"}},
        {"a target for a plain package", false, {"/T:\\\\.\\PhysicalDrive0"}, false,
         "The argument \"/T:\\\\.\\PhysicalDrive0\" names a target, but only an unattended package takes one. "
         "Nothing was updated.",
         {}},
        {"/C: anywhere in the argument", false, {"/S", "run/C:2,ABC"}, true,
         "The argument \"run/C:2,ABC\" names a target, but only an unattended package takes one. "
         "Nothing was updated.",
         {}},
        {"lower-case /t: is no target", false, {"/t:x"}, false, "", {kUnknown + "\"/t:x\"\n"}},
        {"unattended: the target is known", true, {"/S", "x/T:y"}, true, "", {"DEV_PATH:y\n"}},
        {"unattended: an unknown argument is logged", true, {"/T:y", "hello"}, false, "",
         {kUnknown + "\"hello\"\n", "DEV_PATH:y\n"}},
        {"unattended: with /S it ends the run", true, {"/S", "/T:y", "/t:z"}, true,
         "Unknown argument \"/t:z\". Nothing was updated.", {kUnknown + "\"/t:z\"\n"}},
    };
    for (const auto& r : rows) {
        CommandLine cl = ParseCommandLine(r.args, r.unattended);
        EXPECT_EQ(cl.bSilent, r.silent) << r.name;
        EXPECT_EQ(cl.refusal, r.refusal) << r.name;
        EXPECT_EQ(cl.log, r.log) << r.name;
        if (!r.refusal.empty()) {
            EXPECT_EQ(cl.errorLevel, 2) << r.name;
            EXPECT_TRUE(cl.closing) << r.name;
            // Nothing the refused command line names becomes a target.
            EXPECT_EQ(cl.devPath, "") << r.name;
            EXPECT_EQ(cl.gScanType, 0) << r.name;
        } else {
            EXPECT_EQ(cl.closing, false) << r.name;
        }
    }
}

TEST(ParseCommandLine, UnattendedTargets) {
    struct Row {
        std::vector<std::string> args;
        int errorLevel;
        std::string devPath;
        int scanType;
        int port;
        uint64_t sas;
    } rows[] = {
        {{}, 2, "", 0, 0, 0},
        {{"/S"}, 2, "", 0, 0, 0},
        {{"/T:\\\\.\\PhysicalDrive1"}, -1, "\\\\.\\PhysicalDrive1", 0, 0, 0},
        {{"run/T:  \\\\?\\ide#disk  "}, -1, "\\\\?\\ide#disk", 0, 0, 0},
        {{"/t:\\\\.\\PhysicalDrive1"}, 2, "", 0, 0, 0},
        {{"/T:"}, 2, "", 0, 0, 0},
        {{"/C:2,ABC"}, -1, "", 1, 2, 0xABC},
        {{"/c:2,ABC"}, 2, "", 0, 0, 0},
        {{"/C: 7 , 5000CCA0 "}, -1, "", 1, 7, 0x5000CCA0},
        {{"/C:2,ABC,DEF"}, 8, "", 1, 0, 0},
        {{"/C:,ABC"}, 8, "", 1, 0, 0},
        {{"/C:2,"}, 8, "", 1, 0, 0},
        {{"/T:a/C:2,1"}, -1, "a/C:2,1", 0, 0, 0},
    };
    for (const auto& r : rows) {
        std::string name = r.args.empty() ? "(none)" : r.args[0];
        CommandLine cl = ParseCommandLine(r.args, true);
        EXPECT_EQ(cl.errorLevel, r.errorLevel) << name;
        EXPECT_EQ(cl.closing, r.errorLevel > 0) << name;
        EXPECT_EQ(cl.devPath, r.devPath) << name;
        EXPECT_EQ(cl.gScanType, r.scanType) << name;
        EXPECT_EQ(cl.scsiPort, r.port) << name;
        EXPECT_EQ(cl.sasAddr, r.sas) << name;
    }
}

TEST(ParseCommandLine, LogLines) {
    CommandLine cl = ParseCommandLine({"/C:12,5000CCA012345678"}, true);
    ASSERT_EQ(cl.log.size(), 2u);
    EXPECT_EQ(cl.log[0], "/C: _/C:12,5000CCA012345678\n");
    EXPECT_EQ(cl.log[1], "SCSI_PORT:12, INDEX:0, PORT:0, SAS_ADDR: 5000CCA012345678\n");
    cl = ParseCommandLine({"/T:\\\\.\\PhysicalDrive2"}, true);
    ASSERT_EQ(cl.log.size(), 1u);
    EXPECT_EQ(cl.log[0], "DEV_PATH:\\\\.\\PhysicalDrive2\n");
}

TEST(TakeResultArgument, TakenOutBeforeTheTargetSearch) {
    using Args = std::vector<std::string>;
    struct Row {
        const char* name;
        Args args;
        int count;
        std::string path;
        Args rest;
    } rows[] = {
        {"upper case", {"/S", "/RESULT:C:\\out\\r.json"}, 1, "C:\\out\\r.json", {"/S"}},
        {"lower and mixed case", {"/result:a.json", "/Result:b.json"}, 2, "b.json", {}},
        {"the last of several counts", {"/RESULT:a", "/T:x", "/RESULT:b"}, 2, "b", {"/T:x"}},
        {"empty path", {"/RESULT:"}, 1, "", {}},
        {"blanks kept as given", {"/RESULT: r.json "}, 1, " r.json ", {}},
        {"a path with /T: inside", {"/RESULT:C:\\x/T:y\\r.json"}, 1, "C:\\x/T:y\\r.json", {}},
        {"a path with /C: inside", {"/RESULT:/C:2,ABC"}, 1, "/C:2,ABC", {}},
        {"a path that reads /S", {"/RESULT:/S"}, 1, "/S", {}},
        {"not at the start: an ordinary argument", {"x/RESULT:a"}, 0, "", {"x/RESULT:a"}},
        {"no colon", {"/RESULT"}, 0, "", {"/RESULT"}},
        {"none", {"/S", "/ERASE"}, 0, "", {"/S", "/ERASE"}},
    };
    for (const auto& r : rows) {
        Args args = r.args;
        const ResultArgument got = TakeResultArgument(args);
        EXPECT_EQ(got.count, r.count) << r.name;
        EXPECT_EQ(got.path, r.path) << r.name;
        EXPECT_EQ(args, r.rest) << r.name;
    }
}

TEST(TakeResultArgument, APathIsNeverATarget) {
    // An unattended package: the path's "/T:" or "/C:" must not become the drive to update.
    for (const char* a : {"/RESULT:C:\\x/T:y\\r.json", "/RESULT:D:\\logs/C:2,ABC.json"}) {
        std::vector<std::string> args = {a};
        TakeResultArgument(args);
        const CommandLine cl = ParseCommandLine(args, true);
        EXPECT_EQ(cl.devPath, "") << a;
        EXPECT_EQ(cl.gScanType, 0) << a;
        EXPECT_EQ(cl.errorLevel, 2) << a << ": no argument names a target";
    }
    std::vector<std::string> args = {"/RESULT:C:\\x/T:y\\r.json", "/T:\\\\.\\PhysicalDrive1", "/s"};
    TakeResultArgument(args);
    const CommandLine cl = ParseCommandLine(args, true);
    EXPECT_EQ(cl.devPath, "\\\\.\\PhysicalDrive1");
    EXPECT_TRUE(cl.bSilent);
    EXPECT_EQ(cl.errorLevel, -1);
}

}  // namespace
}  // namespace orvane::app
