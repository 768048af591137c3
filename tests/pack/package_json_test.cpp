#include "package/package_json.h"

#include "pack/pack_tool.h"
#include "pack_fixture.h"
#include "package/package_info.h"

namespace orvane::pack::test {
namespace {

using nlohmann::json;

// The image's digest is of 394,240 zero bytes, worked out with another SHA-256 program.
TEST_F(PackDir, ShowDescribesTheBuildsOwnBlock) {
    const json expected = json::parse(R"({
      "version": "v3.1.10", "banner": "Mereth Orvane Utility for Windows", "target_model": "MERETH QZ4-AB256",
      "iVisualStyle": 0, "iLanguage": 0, "iFlashMode": 1, "iFWCount": 1,
      "options": {"bUseFWExt": false, "ReBoot": false, "bAutoFlashAll": false, "bAskShutdown": false,
                  "iNoticeLevel": 0, "bListMatchedOnly": true, "bAskReboot": true, "bNFlashAuto": false,
                  "bUpdateBoot": false, "bUnattended": false, "Preformat": false, "bBPreformat": false,
                  "bFOld": false, "bAutoStart": false, "bWinFlash": true},
      "slots": [{"start": 0, "size": 394240, "new_fw": "1.02", "fw_ext": "GM802030",
                 "records": [{"fws": "1.0!", "fwe": "1.0~", "model": "TOLBERN TQ-256K7KW"}],
                 "sha256": "6dc323456042048bdd0260c87e0deea082c855c53b6f948dbb5be27a3d721ded"}],
      "aux": {}
    })");
    EXPECT_EQ(json::parse(ShowPackage(Path("base"))), expected);
}

// Raw block edits at documented offsets: which records are listed, and texts that are not ASCII.
TEST(DescribePackage, ListsFilledRecordsAndKeepsEveryTextByte) {
    Bytes block(package::PackageBlockBytes(), package::PackageBlockBytes() + package::PackageBlockSize());
    auto put = [&](size_t at, const std::string& s) { std::memcpy(block.data() + at, s.data(), s.size()); };
    put(9322, "\x03");                              // iFWCount 3
    put(9319, "\xFE");                              // iVisualStyle -2
    put(49, std::string("Caf\xE9\0", 5));             // banner, one Latin-1 byte
    put(190 + 76 * 1, std::string("#FLSH12\0", 8)); // group 1 record 2 stays a placeholder...
    put(190 + 76 * 2, std::string("2.0\0\0\0\0\0" "2.9\0\0\0\0\0" "  OTHER  ", 25));  // ...record 3 is filled
    put(190 + 608 * 2, std::string("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0 ", 17));       // group 3 record 1: all empty
    for (int n = 1; n < 3; ++n) put(9682 + 22 * n + 11, "0000000016");

    const auto r = package::ParsePackage(block.data(), block.size());
    ASSERT_TRUE(r.ok) << r.error;
    const json d = package::DescribePackage(r.info);
    EXPECT_EQ(d["iVisualStyle"], -2);
    EXPECT_EQ(d["banner"], "Caf\xC3\xA9");
    EXPECT_EQ(d["slots"][0]["records"], json::parse(R"([{"fws":"1.0!","fwe":"1.0~","model":"TOLBERN TQ-256K7KW"},
                                                         {"fws":"2.0","fwe":"2.9","model":"OTHER"}])"));
    EXPECT_FALSE(d["slots"][1].contains("records"));  // placeholder first record: no constraint
    EXPECT_EQ(d["slots"][2]["records"], json::parse(R"([{"fws":"","fwe":"","model":""}])"));
    EXPECT_EQ(d["slots"][2]["new_fw"], "N/A     ");
    EXPECT_NO_THROW(d.dump());
}

}  // namespace
}  // namespace orvane::pack::test
