#include <gmock/gmock.h>

#include "pack/pack_error.h"
#include "pack/pack_tool.h"
#include "pack_fixture.h"
#include "package/aes_cipher.h"
#include "package/package_info.h"

namespace orvane::pack::test {
namespace {

constexpr size_t kImage = 14618;
constexpr size_t kAux = 14618 + 7864320;
constexpr size_t kPayload = kAux + 1052;

class PackBuild : public PackDir {
protected:
    // Packs the manifest into "base" (or another file of the folder); "" or the refusal's message.
    std::string Pack(const std::string& manifest, const std::string& base = "base", const std::string& out = "out") {
        WriteText(Path("m.json"), manifest);
        try {
            BuildPackage(Path("m.json"), Path(base), Path(out));
            return "";
        } catch (const PackError& e) {
            return e.what();
        }
    }
    Bytes Out() const { return ReadBytes(Path("out")); }
};

TEST_F(PackBuild, WritesEveryFieldAtItsDocumentedOffset) {
    const Bytes fw1 = Junk(1000, 1), fw2 = Junk(300, 2), xp = Junk(100, 3), w7 = Junk(50, 4);
    WriteBytes(Path("fw1.bin"), fw1);
    fs::create_directory(Path("sub"));
    WriteBytes(Path("sub/fw2.bin"), fw2);
    WriteBytes(Path("xp.exe"), xp);
    WriteBytes(Path("w7.exe"), w7);
    ASSERT_EQ(Pack(R"({"version": "v4.0.1", "banner": "Banner", "target_model": "QZ4",
        "iVisualStyle": 4, "iLanguage": 1, "iFlashMode": -3,
        "options": {"bUseFWExt": true, "iNoticeLevel": 2, "bAskReboot": false, "bWinFlash": true},
        "slots": [{"image": "fw1.bin", "new_fw": "2.01", "fw_ext": "EXT00001",
                   "records": [{"fws": "1.00", "fwe": "1.99", "model": "ACME DRIVE"}]},
                  {"image": "sub/fw2.bin", "new_fw": "3.00", "fw_ext": "E2", "encipher": false}],
        "aux": {"EXE_WIN7_X64": "w7.exe", "EXE_2003_X86": "xp.exe"}})"),
              "");
    const Bytes out = Out();
    ASSERT_EQ(out.size(), base_.size());
    EXPECT_EQ(At(out, 21, 13), std::string("v4.0.1\0\0\0\0\0\0\0", 13));
    EXPECT_EQ(At(out, 49, 7), std::string("Banner\0", 7));
    EXPECT_EQ(At(out, 125, 4), std::string("QZ4\0", 4));
    EXPECT_EQ(At(out, 9310, 42), std::string("PARA_OPT=\x04\x01\xFD\x02" "1000020011001000000000002100\0", 42));
    EXPECT_EQ(At(out, 9352 + 22 + 11, 10), "0000001000");
    EXPECT_EQ(At(out, 9682 + 11, 10), "0000001000");
    EXPECT_EQ(At(out, 9682 + 22 + 11, 10), "0000000300");
    EXPECT_EQ(At(out, 10012 + 8, 9), std::string("2.01\0\0\0\0\0", 9));
    EXPECT_EQ(At(out, 10012 + 17 + 8, 8), std::string("3.00\0\0\0\0", 8));
    EXPECT_EQ(At(out, 10012 + 34, 16), "NEW_FW3=N/A     ");
    EXPECT_EQ(At(out, 10267 + 8, 8), "EXT00001");
    EXPECT_EQ(At(out, 10267 + 17 + 8, 8), std::string("E2\0\0\0\0\0\0", 8));
    // Group 1: the given record, blank-padded model, zero reserved bytes; then placeholders.
    EXPECT_EQ(At(out, 190, 76), std::string("1.00\0\0\0\0" "1.99\0\0\0\0" "ACME DRIVE", 26) + std::string(30, ' ') +
                                    std::string(20, '\0'));
    EXPECT_EQ(At(out, 190 + 76, 17), std::string("#FLSH12\0#\0\0\0\0\0\0\0#", 17));
    EXPECT_EQ(At(out, 190 + 608, 7), "#FLSH21");  // slot 2 gave no records
    EXPECT_EQ(At(out, kImage, 1000), std::string(fw1.begin(), fw1.end()));
    EXPECT_EQ(At(out, kImage + 1000, 300), std::string(fw2.begin(), fw2.end()));
    EXPECT_EQ(At(out, kImage + 1300, 16), std::string(16, '\0'));
    // Aux executables in slot order (2003_X86 before WIN7_X64) and their size fields.
    EXPECT_EQ(At(out, kPayload, 150), std::string(xp.begin(), xp.end()) + std::string(w7.begin(), w7.end()));
    EXPECT_EQ(At(out, kAux + 750, 25), std::string("2003_X86_SIZE=0000000100\0", 25));
    EXPECT_EQ(At(out, kAux + 927, 25), std::string("WIN7_X64_SIZE=0000000050\0", 25));
    EXPECT_EQ(At(out, kAux + 704, 23), std::string("XP_X86_SIZE=0000000000\0", 23));
    // Nothing outside the block moves, and the base stays as it was.
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + kJunkBefore, base_.begin()));
    EXPECT_TRUE(std::equal(out.end() - kJunkAfter, out.end(), base_.end() - kJunkAfter));
    EXPECT_EQ(ReadBytes(Path("base")), base_);
}

TEST_F(PackBuild, OmittedFieldsKeepTheBase) {
    ASSERT_EQ(Pack(R"({"iLanguage": 1, "options": {"bFOld": true}})"), "");
    Bytes expected = base_;
    expected[kJunkBefore + 9320] = 1;
    expected[kJunkBefore + 9323 + 22] = '1';  // digit 23
    EXPECT_TRUE(Out() == expected);
}

// Given slots replace the base's slot tables, records and image area whole.
TEST_F(PackBuild, SlotsReplaceEverySlotOfTheBase) {
    WriteBytes(Path("big.bin"), Junk(1300, 1));
    WriteBytes(Path("small.bin"), Junk(100, 2));
    const std::string two = R"({"slots": [{"image": "big.bin", "new_fw": "A", "fw_ext": "B", "records": [{"model": "X"}]},
                                          {"image": "big.bin", "new_fw": "C", "fw_ext": "D"}]})";
    ASSERT_EQ(Pack(two, "base", "p1"), "");
    ASSERT_EQ(Pack(R"({"slots": [{"image": "small.bin", "new_fw": "E", "fw_ext": "F"}]})", "p1", "out"), "");
    Bytes out = Out();
    EXPECT_EQ(out[kJunkBefore + 9322], 1);
    EXPECT_EQ(At(out, 190, 17), std::string("#FLSH11\0#\0\0\0\0\0\0\0#", 17));
    EXPECT_EQ(At(out, 9682 + 22 + 11, 10), "0000000000");
    EXPECT_EQ(At(out, 10012 + 17 + 8, 8), "N/A     ");
    EXPECT_EQ(At(out, kImage + 100, 2600), std::string(2600, '\0'));

    ASSERT_EQ(Pack(R"({"slots": []})", "p1", "out"), "");
    out = Out();
    EXPECT_EQ(out[kJunkBefore + 9322], 0);
    EXPECT_EQ(At(out, 9682 + 11, 10), "0000000000");
    EXPECT_EQ(At(out, 10012 + 8, 8), "N/A     ");
    EXPECT_EQ(At(out, 10267 + 8, 8), "N/A     ");
    EXPECT_EQ(At(out, kImage, 2600), std::string(2600, '\0'));
}

TEST_F(PackBuild, AuxExecutablesMergeWithTheBasesAndStayInSlotOrder) {
    const Bytes a = Junk(100, 7), b = Junk(50, 8), c = Junk(30, 9);
    WriteBytes(Path("a"), a);
    WriteBytes(Path("b"), b);
    WriteBytes(Path("c"), c);
    ASSERT_EQ(Pack(R"({"aux": {"EXE_WIN7_X64": "b", "EXE_XP_X86": "a"}})", "base", "p1"), "");
    ASSERT_EQ(Pack(R"({"aux": {"EXE_2003_X86": "c"}})", "p1", "p2"), "");
    ASSERT_EQ(Pack(R"({"aux": {"EXE_XP_X86": null}})", "p2", "out"), "");
    const Bytes p2 = ReadBytes(Path("p2")), out = Out();
    auto text = [](const Bytes& x) { return std::string(x.begin(), x.end()); };
    EXPECT_EQ(At(p2, kPayload, 181), text(a) + text(c) + text(b) + '\0');
    EXPECT_EQ(At(p2, kAux + 716, 10), "0000000100");
    EXPECT_EQ(At(out, kPayload, 81), text(c) + text(b) + '\0');
    EXPECT_EQ(At(out, kAux + 716, 10), "0000000000");
    EXPECT_EQ(At(out, kAux + 764, 10), "0000000030");
    EXPECT_EQ(At(out, kAux + 941, 10), "0000000050");
}

// Stored enciphered, padded to 512; the program's own load-and-decipher gives the plain image back.
TEST_F(PackBuild, EncipheredImageDeciphersBackToThePlainImage) {
    const Bytes plain = Junk(1000, 3);
    WriteBytes(Path("fw.bin"), plain);
    ASSERT_EQ(Pack(R"({"options": {"bWinFlash": false},
        "slots": [{"image": "fw.bin", "new_fw": "2", "fw_ext": "", "encipher": true},
                  {"image": "fw.bin", "new_fw": "2", "fw_ext": ""}]})"),
              "");
    const Bytes out = Out();
    EXPECT_EQ(At(out, 9682 + 11, 10), "0000001024");
    EXPECT_EQ(At(out, 9352 + 22 + 11, 10), "0000001024");
    EXPECT_NE(At(out, kImage, 1000), std::string(plain.begin(), plain.end()));

    const auto r = package::ParsePackage(out.data() + kJunkBefore, out.size() - kJunkBefore);
    ASSERT_TRUE(r.ok) << r.error;
    for (int slot = 0; slot < 2; ++slot) {
        Bytes buffer(package::kImageBufferSize);
        const int32_t length = package::LoadSlotImage(r.info, slot, buffer.data());
        ASSERT_EQ(length, 1024);
        package::AesCipher cipher;
        ASSERT_TRUE(package::DecipherImage(cipher, buffer.data(), static_cast<size_t>(length)));
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), buffer.begin()));
        EXPECT_EQ(std::count(buffer.begin() + 1000, buffer.begin() + 1024, 0), 24);
    }
}

struct Refusal {
    const char* name;
    std::string manifest;
    const char* error;  // nullptr: accepted
};

TEST_F(PackBuild, RefusesWhatDoesNotFitOrMakesNoSense) {
    WriteBytes(Path("fw.bin"), Junk(1000, 1));
    WriteBytes(Path("full.bin"), Junk(524288, 1));
    WriteBytes(Path("over.bin"), Junk(524289, 1));
    WriteBytes(Path("cmax.bin"), Junk(523776, 1));
    WriteBytes(Path("cover.bin"), Junk(523777, 1));
    WriteBytes(Path("huge.exe"), Junk(1100000, 1));
    WriteBytes(Path("empty.bin"), {});
    Bytes marked = Junk(64, 1);
    std::memcpy(marked.data() + 20, "AES_BUF_HERE", 12);
    WriteBytes(Path("marked.bin"), marked);

    auto slot = [](const std::string& extra) {
        return R"({"slots": [{"image": "fw.bin", "new_fw": "1", "fw_ext": "1")" + extra + "}]}";
    };
    auto image = [](const std::string& file, bool win_flash) {
        return std::string(R"({"options": {"bWinFlash": )") + (win_flash ? "true" : "false") +
               R"(}, "slots": [{"image": ")" + file + R"(", "new_fw": "1", "fw_ext": "1"}]})";
    };
    auto records = [](int n) {
        std::string r;
        for (int i = 0; i < n; ++i) r += std::string(i ? "," : "") + "{}";
        return R"({"slots": [{"image": "fw.bin", "new_fw": "1", "fw_ext": "1", "records": [)" + r + "]}]}";
    };
    std::string sixteen = R"({"slots": [)";
    for (int i = 0; i < 16; ++i) sixteen += std::string(i ? "," : "") + R"({"image": "fw.bin", "new_fw": "1", "fw_ext": "1"})";
    sixteen += "]}";

    const Refusal cases[] = {
        {"not JSON", "{", "not valid JSON"},
        {"unknown key", R"({"verison": "v1"})", "unknown key \"verison\""},
        {"iFWCount set directly", R"({"iFWCount": 2})", "number of \"slots\""},
        {"unknown option", R"({"options": {"bFoo": true}})", "unknown option \"bFoo\""},
        {"boolean option as number", R"({"options": {"bAskReboot": 1}})", "true or false"},
        {"iNoticeLevel 9", R"({"options": {"iNoticeLevel": 9}})", nullptr},
        {"iNoticeLevel 10", R"({"options": {"iNoticeLevel": 10}})", "outside 0..9"},
        {"option byte -128", R"({"iVisualStyle": -128, "iLanguage": 127})", nullptr},
        {"option byte 128", R"({"iFlashMode": 128})", "outside -128..127"},
        {"option byte 2^64-1", R"({"iLanguage": 18446744073709551615})", "outside -128..127"},
        {"option byte 1.5", R"({"iLanguage": 1.5})", "whole number"},
        {"version 12", R"({"version": "123456789012"})", nullptr},
        {"version 13", R"({"version": "1234567890123"})", "holds 12"},
        {"banner 64", R"({"banner": ")" + std::string(64, 'b') + R"("})", "holds 63"},
        {"target model 65", R"({"target_model": ")" + std::string(65, 't') + R"("})", "holds 64"},
        {"text not ASCII", R"({"banner": "Caf\u00e9"})", "printable ASCII"},
        {"new_fw 9", R"({"slots": [{"image": "fw.bin", "new_fw": "123456789", "fw_ext": "1"}]})", "holds 8"},
        {"fws 9", slot(R"(, "records": [{"fws": "123456789"}])"), "holds 8"},
        {"model 41", slot(R"(, "records": [{"model": ")" + std::string(41, 'm') + R"("}])"), "holds 40"},
        {"fw_ext missing", R"({"slots": [{"image": "fw.bin", "new_fw": "1"}]})", "\"fw_ext\" is missing"},
        {"8 records", records(8), nullptr},
        {"9 records", records(9), "at most 8"},
        {"16 slots", sixteen, "at most 15"},
        {"image missing", image("nothere.bin", true), "does not exist"},
        {"image empty", image("empty.bin", true), "is empty"},
        {"plain image 524288", image("full.bin", true), nullptr},
        {"plain image 524289", image("over.bin", true), "at most 524288"},
        {"enciphered image 523776", image("cmax.bin", false), nullptr},
        {"enciphered image 523777", image("cover.bin", false), "at most 523776"},
        {"encipher with bWinFlash", slot(R"(, "encipher": true)"), "bWinFlash is true"},
        {"bWinFlash changed under kept images", R"({"options": {"bWinFlash": false}})", "give the \"slots\" again"},
        {"bWinFlash changed with no firmware", R"({"slots": [], "options": {"bWinFlash": false}})", nullptr},
        {"unknown aux slot", R"({"aux": {"EXE_WIN8_X64": "fw.bin"}})", "unknown auxiliary slot"},
        {"aux over 2 MiB", R"({"aux": {"EXE_XP_X86": "huge.exe", "EXE_WIN7_X86": "huge.exe"}})", "area holds 2097152"},
        {"marker text inside an image", image("marked.bin", true), "marker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(Path("out"));
        const std::string error = Pack(c.manifest);
        if (c.error == nullptr) {
            EXPECT_EQ(error, "");
            EXPECT_TRUE(fs::exists(Path("out")));
        } else {
            EXPECT_THAT(error, ::testing::HasSubstr(c.error));
            EXPECT_FALSE(fs::exists(Path("out")));
            EXPECT_FALSE(fs::exists(Path("out.partial")));
        }
    }
}

}  // namespace
}  // namespace orvane::pack::test
