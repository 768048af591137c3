#include "system/boot_setup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/fake_system_api.h"

namespace orvane::system {
namespace {

using platform::RegRead;
using platform::RegWrite;
using platform::Wow64;
using test::FakeSystemApi;

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }
// A literal with its NULs.
template <size_t N>
std::string L(const char (&s)[N]) {
    return std::string(s, N - 1);
}

const char kSm[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kFlasherPath[] = "C:\\WINDOWS\\system32\\Ostrel.exe";

// --- The flasher for each family and width -------------------------------------------------

TEST(ChooseFlasher, EveryFamilyAtBothWidths) {
    const struct {
        uint8_t family;
        int on32, on64;
    } rows[] = {
        {0x07, 6, kFlasherNone},  // XP: no flasher that runs at boot on x64 XP
        {0x08, 4, 5},  {0x09, 4, 5},
        {0x0A, 0, 1},  {0x0C, 0, 1},  {0x0D, 0, 1},
        {0x0E, 2, 3},  // Windows 7
        {0x00, 2, 3},  // Windows 10
        {0x0F, 2, 3},  {0x10, 2, 3},  {0x11, 2, 3},  {0x12, 2, 3},
        {0x06, 2, 3},  {0x0B, 2, 3},  {0xFF, 2, 3},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "family 0x" << std::hex << int(r.family));
        EXPECT_EQ(ChooseFlasher(r.family, false), r.on32);
        EXPECT_EQ(ChooseFlasher(r.family, true), r.on64);
    }
}

// Seven images that tell each other apart by their first byte; each carries every key.
struct Flashers {
    std::vector<Bytes> images;
    FlasherTable table{};
    explicit Flashers(const std::string& body = "") {
        for (int i = 0; i < kFlasherCount; ++i) images.push_back(B(std::string(1, char('0' + i)) + body));
        Point();
    }
    void Point() {
        for (size_t i = 0; i < images.size(); ++i)
            table[i] = FlasherEntry{images[i].data(), static_cast<int32_t>(images[i].size())};
    }
};

void SetVersion(FakeSystemApi& api, uint32_t major, uint32_t minor, uint8_t product, uint16_t arch) {
    api.version.dwPlatformId = platform::kPlatformNT;
    api.version.dwMajorVersion = major;
    api.version.dwMinorVersion = minor;
    api.version.wProductType = product;
    api.architecture = arch;
}

BootSettings Ostrel() {
    BootSettings s;
    s.flasher_name = "Ostrel.exe";
    s.image_name = "FW.bin";
    return s;
}

TEST(SetUpBootUpdate, WidthFromWow64OrA64BitBuild) {
    using platform::kArchAMD64;
    using platform::kArchIntel;
    const struct {
        const char* name;
        uint32_t major, minor;
        uint8_t product;
        uint16_t arch;
        Wow64 wow64;
        bool process64;
        int expect;
    } rows[] = {
        {"7, x86 build under WOW64", 6, 1, 1, kArchAMD64, Wow64::Yes, false, 3},
        {"7, x64 build (no WOW64)", 6, 1, 1, kArchAMD64, Wow64::No, true, 3},
        {"7, 32-bit Windows", 6, 1, 1, kArchIntel, Wow64::No, false, 2},
        {"7, 32-bit without IsWow64Process", 6, 1, 1, kArchIntel, Wow64::Missing, false, 2},
        {"10, x86 build under WOW64", 10, 0, 1, kArchAMD64, Wow64::Yes, false, 3},
        {"10, x64 build", 10, 0, 1, kArchAMD64, Wow64::No, true, 3},
        {"Vista x64 build", 6, 0, 1, kArchAMD64, Wow64::No, true, 1},
        {"2008 under WOW64", 6, 0, 3, kArchAMD64, Wow64::Yes, false, 1},
        {"2003 32-bit", 5, 2, 3, kArchIntel, Wow64::No, false, 4},
        {"2003 x64 build", 5, 2, 3, kArchAMD64, Wow64::No, true, 5},
        {"XP 32-bit", 5, 1, 1, kArchIntel, Wow64::No, false, 6},
        // The 32-bit XP flasher cannot run at boot on x64 XP: refused, nothing written.
        {"XP x64 under WOW64", 5, 2, 1, kArchAMD64, Wow64::Yes, false, kFlasherNone},
        {"XP x64 build", 5, 2, 1, kArchAMD64, Wow64::No, true, kFlasherNone},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        SetVersion(api, r.major, r.minor, r.product, r.arch);
        api.wow64 = r.wow64;
        api.process64 = r.process64;
        api.AddKey(kSm);
        Flashers f;
        const BootSetupResult res = SetUpBootUpdate(api, &f.table, Ostrel());
        EXPECT_EQ(res.flasher, r.expect);
        if (r.expect == kFlasherNone) {
            EXPECT_EQ(res.code, 0xE9u);
            EXPECT_EQ(res.detail,
                      "no boot-time flasher for 64-bit Windows of family 0x07: a 32-bit one cannot run at boot there");
            EXPECT_TRUE(api.files.empty());
            EXPECT_FALSE(api.Value(kSm, "BootExecute"));
            continue;
        }
        EXPECT_EQ(res.code, kBootSetupDone);
        ASSERT_TRUE(api.files.count(kFlasherPath));
        EXPECT_EQ(api.files[kFlasherPath], f.images[static_cast<size_t>(r.expect)]);
    }
}

// --- The placeholder writer ---------------------------------------------------------------

TEST(PatchSetting, WritesOnlyAfterTheFirstKeyAndOnlyInsideTheImage) {
    const struct {
        const char* name;
        std::string image, key, value;
        PatchResult result;
        std::string after;
    } rows[] = {
        {"first occurrence only", "A=xxA=yy", "A=", "1", PatchResult::Written, "A=1xA=yy"},
        {"no NUL after the value", "K=abcd", "K=", "zz", PatchResult::Written, "K=zzcd"},
        {"binary around the key", L("\0\0K=\0\0\0"), "K=", "12", PatchResult::Written,
         L("\0\0K=12\0")},
        {"key found inside a longer run", "AAB=..", "AB=", "7", PatchResult::Written, "AAB=7."},
        {"value ends exactly at the end", "xK=ab", "K=", "12", PatchResult::Written, "xK=12"},
        {"empty value at the very end", "xK=", "K=", "", PatchResult::Written, "xK="},
        {"key is the whole image", "K=", "K=", "", PatchResult::Written, "K="},
        {"key missing", "XYZ", "K=", "1", PatchResult::KeyMissing, "XYZ"},
        {"key cut by the image's end", "abcK", "K=", "1", PatchResult::KeyMissing, "abcK"},
        {"key longer than the image", "K=", "K=LONG", "1", PatchResult::KeyMissing, "K="},
        {"empty image", "", "K=", "1", PatchResult::KeyMissing, ""},
        {"key at the very end", "....K=", "K=", "1", PatchResult::NoRoom, "....K="},
        {"value one byte too long", "..K=ab", "K=", "123", PatchResult::NoRoom, "..K=ab"},
        {"first occurrence too near the end, none later", "K=K=", "K=", "abc", PatchResult::NoRoom, "K=K="},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        // The image sits inside a larger buffer: nothing outside it may change.
        Bytes buf(r.image.size() + 32, 0xA5);
        std::memcpy(buf.data() + 16, r.image.data(), r.image.size());
        EXPECT_EQ(PatchSetting(buf.data() + 16, r.image.size(), r.key, r.value), r.result);
        EXPECT_EQ(std::string(buf.begin() + 16, buf.end() - 16), r.after);
        for (size_t i = 0; i < 16; ++i) {
            EXPECT_EQ(buf[i], 0xA5) << "before the image, byte " << i;
            EXPECT_EQ(buf[buf.size() - 1 - i], 0xA5) << "after the image";
        }
    }
}

// --- The eleven settings ------------------------------------------------------------------

// A flasher image as a stand-in lays it out: code bytes, then each key followed by 48 NULs of room,
// in an order of its own, where the texts' keys stand after some earlier settings' places.
const char* const kKeysInImage[] = {"PROTOCOL=", "_____FW=", "UPDATEBOOT=", "VENDID1=", "_FW_EXT=", "B_PREFORMAT=",
                                    "FW1=", "DRIVECOUNT=", "SN1=", "A_PREFORMAT=", "SSDREBOOT="};
constexpr size_t kRoom = 48;

std::string Room(const std::string& filled) { return filled + std::string(kRoom - filled.size(), '\0'); }

std::string Template() {
    std::string img("MZ\x90\0\3\0", 6);
    for (const char* k : kKeysInImage) img += std::string(k) + std::string(kRoom, '\0');
    return img;
}

// The image expected when each key's room begins with the given text (key and value).
std::string Expected(const std::map<std::string, std::string>& filled) {
    std::string img("MZ\x90\0\3\0", 6);
    for (const char* k : kKeysInImage) img += std::string(k) + Room(filled.at(k).substr(std::strlen(k)));
    return img;
}

TEST(SetUpBootUpdate, WritesTheElevenSettings) {
    const std::string model40 = "ORVANE SSD 2TB XQ9000 MODEL NAME ABCDEFG";  // exactly 40
    ASSERT_EQ(model40.size(), 40u);
    const struct {
        const char* name;
        uint8_t flags;  // ReBoot, Preformat, bBPreformat, bUpdateBoot all take it
        int protocol;
        std::string new_fw, fw_ext, model, revision, serial;
        std::map<std::string, std::string> expect;
    } rows[] = {
        {"all options clear", 0, 3, "SB1Q", "X", "Short Model", "SB1Q0000", "S123",
         {{"UPDATEBOOT=", "UPDATEBOOT=0"},
          {"B_PREFORMAT=", "B_PREFORMAT=0"},
          {"A_PREFORMAT=", "A_PREFORMAT=0"},
          {"PROTOCOL=", "PROTOCOL=3"},
          {"SSDREBOOT=", "SSDREBOOT=0"},
          {"_____FW=", "_____FW=SB1Q"},
          {"_FW_EXT=", "_FW_EXT=X"},
          {"DRIVECOUNT=", "DRIVECOUNT=0001"},
          {"VENDID1=", "VENDID1=Short Model"},
          {"FW1=", "FW1=SB1Q0000"},
          {"SN1=", "SN1=S123"}}},
        {"all options set, widest texts", 1, 12, "SB2Q1234", "EXT", model40, "REV45678", "SERIAL-0123456789ABC",
         {{"UPDATEBOOT=", "UPDATEBOOT=1"},
          {"B_PREFORMAT=", "B_PREFORMAT=1"},
          {"A_PREFORMAT=", "A_PREFORMAT=1"},
          {"PROTOCOL=", "PROTOCOL=12"},
          {"SSDREBOOT=", "SSDREBOOT=1"},
          {"_____FW=", "_____FW=SB2Q1234"},
          {"_FW_EXT=", "_FW_EXT=EXT"},
          {"DRIVECOUNT=", "DRIVECOUNT=0001"},
          {"VENDID1=", "VENDID1=ORVANE SSD 2TB XQ9000 MODEL NAME ABCDEFG"},
          {"FW1=", "FW1=REV45678"},
          {"SN1=", "SN1=SERIAL-0123456789ABC"}}},
        {"longer texts cut; a flag of 2 is not 1", 2, 0, "", "", model40 + "TAIL!", "REV4567890",
         "SERIAL-0123456789ABCDEFGH",
         {{"UPDATEBOOT=", "UPDATEBOOT=0"},
          {"B_PREFORMAT=", "B_PREFORMAT=0"},
          {"A_PREFORMAT=", "A_PREFORMAT=0"},
          {"PROTOCOL=", "PROTOCOL=0"},
          {"SSDREBOOT=", "SSDREBOOT=0"},
          {"_____FW=", "_____FW="},
          {"_FW_EXT=", "_FW_EXT="},
          {"DRIVECOUNT=", "DRIVECOUNT=0001"},
          {"VENDID1=", "VENDID1=ORVANE SSD 2TB XQ9000 MODEL NAME ABCDEFG"},
          {"FW1=", "FW1=REV45678"},
          {"SN1=", "SN1=SERIAL-0123456789ABC"}}},
        // Every key is found where the flasher has it, whatever an earlier value says.
        {"texts that hold later keys", 0, 1, "_FW_EXT=", "DRIVECOUNT=", "ACME SN1= FW1= SSD", "REV SN1=",
         "SN1=FW1=",
         {{"UPDATEBOOT=", "UPDATEBOOT=0"},
          {"B_PREFORMAT=", "B_PREFORMAT=0"},
          {"A_PREFORMAT=", "A_PREFORMAT=0"},
          {"PROTOCOL=", "PROTOCOL=1"},
          {"SSDREBOOT=", "SSDREBOOT=0"},
          {"_____FW=", "_____FW=_FW_EXT="},
          {"_FW_EXT=", "_FW_EXT=DRIVECOUNT="},
          {"DRIVECOUNT=", "DRIVECOUNT=0001"},
          {"VENDID1=", "VENDID1=ACME SN1= FW1= SSD"},
          {"FW1=", "FW1=REV SN1="},
          {"SN1=", "SN1=SN1=FW1="}}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        SetVersion(api, 6, 1, 1, platform::kArchIntel);
        api.AddKey(kSm);
        Flashers f;
        f.images[2] = B(Template());
        f.Point();
        const Bytes package = f.images[2];
        BootSettings s = Ostrel();
        s.ReBoot = s.Preformat = s.bBPreformat = s.bUpdateBoot = r.flags;
        s.protocol = r.protocol;
        s.new_fw = r.new_fw;
        s.fw_ext = r.fw_ext;
        s.model = r.model;
        s.revision = r.revision;
        s.serial = r.serial;
        const BootSetupResult res = SetUpBootUpdate(api, &f.table, s);
        ASSERT_EQ(res.code, kBootSetupDone) << res.detail;
        EXPECT_EQ(res.flasher, 2);
        ASSERT_TRUE(api.files.count(kFlasherPath));
        EXPECT_EQ(S(api.files[kFlasherPath]), Expected(r.expect));
        EXPECT_EQ(f.images[2], package);  // the settings went into a copy
    }
}

// --- BootExecute --------------------------------------------------------------------------

TEST(SetUpBootUpdate, BootExecuteKeepsWhatTheMachineRuns) {
    const struct {
        const char* name;
        bool present;
        std::string before;
        std::string after;
    } rows[] = {
        {"absent: the disk checker, then the flasher", false, "",
         L("autocheck autochk *\0Ostrel FW.bin\0\0")},
        {"the usual value", true, L("autocheck autochk *\0\0"),
         L("autocheck autochk *\0Ostrel FW.bin\0\0")},
        {"other entries kept in order", true, L("autocheck autochk /k:D *\0vendtool /scan\0\0"),
         L("autocheck autochk /k:D *\0vendtool /scan\0Ostrel FW.bin\0\0")},
        {"an earlier entry replaced, any case", true,
         L("autocheck autochk *\0OSTREL old.bin\0vendtool\0\0"),
         L("autocheck autochk *\0vendtool\0Ostrel FW.bin\0\0")},
        {"two earlier entries, one left", true, L("ostrel FW.bin\0a\0 Ostrel FW.bin\0\0"),
         L("a\0Ostrel FW.bin\0\0")},
        {"a program that only begins the same is another", true, L("OstrelX FW.bin\0\0"),
         L("OstrelX FW.bin\0Ostrel FW.bin\0\0")},
        {"no disk checker: none added", true, L("vendtool\0\0"),
         L("vendtool\0Ostrel FW.bin\0\0")},
        {"present but empty: none added", true, L("\0"), L("Ostrel FW.bin\0\0")},
        {"present, no bytes", true, "", L("Ostrel FW.bin\0\0")},
        {"no final NUL", true, L("autocheck autochk *\0vendtool"),
         L("autocheck autochk *\0vendtool\0Ostrel FW.bin\0\0")},
        {"no NUL at all", true, "vendtool", L("vendtool\0Ostrel FW.bin\0\0")},
        {"an older set-up's short value", true, L("autocheck autochk *\0Ostrel FW.bin\0"),
         L("autocheck autochk *\0Ostrel FW.bin\0\0")},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        api.AddKey(kSm);
        if (r.present) api.RegSetMultiSz(kSm, "BootExecute", B(r.before));
        Flashers f;
        const BootSetupResult res = SetUpBootUpdate(api, &f.table, Ostrel());
        ASSERT_EQ(res.code, kBootSetupDone) << res.detail;
        EXPECT_TRUE(res.registered);
        EXPECT_EQ(res.had_value, r.present);
        auto v = api.Value(kSm, "BootExecute");
        ASSERT_TRUE(v);
        EXPECT_EQ(S(*v), r.after);
        if (!r.present) {
            EXPECT_EQ(v->size(), 35u);  // every string ended, then the list's own NUL
        }

        // Taking it back leaves the value as it was, or absent.
        UndoBootUpdate(api, res);
        if (r.present) {
            EXPECT_EQ(S(*api.Value(kSm, "BootExecute")), r.before);
        } else {
            EXPECT_FALSE(api.Value(kSm, "BootExecute"));
        }
        EXPECT_FALSE(api.files.count(kFlasherPath));
    }
}

TEST(BuildBootExecute, TheProgramsOwnNameAndImage) {
    EXPECT_EQ(S(BuildBootExecute(nullptr, "Flash2", "IMG.bin")),
              L("autocheck autochk *\0Flash2 IMG.bin\0\0"));
    EXPECT_EQ(SplitMultiSz(B(L("a\0b c\0\0"))), (std::vector<std::string>{"a", "b c"}));
}

// --- File name, nothing to do, empty flasher ----------------------------------------------

TEST(SetUpBootUpdate, FlasherFileName) {
    const struct {
        const char* given;
        const char* path;
        const char* entry;
    } rows[] = {
        {"Ostrel.exe", "C:\\WINDOWS\\system32\\Ostrel.exe", "Ostrel FW.bin"},
        {"OSTREL.EXE", "C:\\WINDOWS\\system32\\OSTREL.exe", "OSTREL FW.bin"},
        {"ostrel.Exe", "C:\\WINDOWS\\system32\\ostrel.exe", "ostrel FW.bin"},
        {"Ostrel", "C:\\WINDOWS\\system32\\Ostrel.exe", "Ostrel FW.bin"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.given);
        FakeSystemApi api;
        api.AddKey(kSm);
        Flashers f;
        BootSettings s = Ostrel();
        s.flasher_name = r.given;
        const BootSetupResult res = SetUpBootUpdate(api, &f.table, s);
        ASSERT_EQ(res.code, kBootSetupDone);
        EXPECT_EQ(res.flasher_path, r.path);
        EXPECT_EQ(api.files.size(), 1u);
        EXPECT_TRUE(api.files.count(r.path));
        EXPECT_EQ(S(*api.Value(kSm, "BootExecute")), L("autocheck autochk *\0") + r.entry + '\0' + '\0');
    }
}

TEST(SetUpBootUpdate, NothingToDo) {
    FakeSystemApi api;
    api.AddKey(kSm);
    Flashers f;
    BootSettings unnamed = Ostrel();
    unnamed.flasher_name.clear();
    for (const BootSetupResult& res : {SetUpBootUpdate(api, &f.table, unnamed), SetUpBootUpdate(api, nullptr, Ostrel())}) {
        EXPECT_EQ(res.code, kBootSetupDone);
        EXPECT_FALSE(res.registered);
    }
    EXPECT_TRUE(api.files.empty());
    EXPECT_FALSE(api.Value(kSm, "BootExecute"));
}

TEST(SetUpBootUpdate, AFlasherOfNoBytesIsStillRegistered) {
    FakeSystemApi api;
    SetVersion(api, 6, 1, 1, platform::kArchIntel);
    api.AddKey(kSm);
    Flashers f;
    f.table[2] = FlasherEntry{nullptr, 0};
    const BootSetupResult res = SetUpBootUpdate(api, &f.table, Ostrel());
    ASSERT_EQ(res.code, kBootSetupDone) << res.detail;
    ASSERT_TRUE(api.files.count(kFlasherPath));
    EXPECT_TRUE(api.files[kFlasherPath].empty());
    EXPECT_EQ(S(*api.Value(kSm, "BootExecute")), L("autocheck autochk *\0Ostrel FW.bin\0\0"));
}

// --- Failures leave nothing behind -------------------------------------------------------

TEST(SetUpBootUpdate, EveryFailureLeavesNothingBehind) {
    const std::string kBefore("autocheck autochk *\0vendtool\0\0", 30);
    const struct {
        const char* name;
        uint32_t code;
        bool key = true;
        bool unwritable = false;
        RegWrite write = RegWrite::Ok;
        RegRead read = RegRead::Ok;
        // An earlier setting is patched before the failing one: the package must not see it.
        std::string image = "0 UPDATEBOOT=# SN1=" + std::string(24, '\0');
        bool no_bytes = false;
        std::string detail = "";  // checked when given
    } rows[] = {
        {.name = "session-manager key missing", .code = 0xE3, .key = false},
        {.name = "flasher file cannot be created", .code = 0xE1, .unwritable = true},
        {.name = "registry write fails", .code = 0xE2, .write = RegWrite::WriteFailed},
        {.name = "value of another type", .code = 0xE5, .read = RegRead::WrongType},
        {.name = "value cannot be read", .code = 0xE5, .read = RegRead::Failed},
        {.name = "serial does not fit", .code = 0xE4, .image = "0 UPDATEBOOT=# SN1=" + std::string(19, '\0')},
        {.name = "a key at the image's end", .code = 0xE4, .image = "0 UPDATEBOOT=# SN1=" + std::string(24, '\0') + "DRIVECOUNT=000"},
        // The serial would end over the key after it: the flasher would read a wrong setting.
        {.name = "a value that runs into the next key", .code = 0xE4,
         .image = "0 SN1=" + std::string(10, '\0') + "UPDATEBOOT=" + std::string(24, '\0'),
         .detail = "SN1=SERIAL-0123456789ABC runs into UPDATEBOOT= in flasher 2"},
        {.name = "declared bytes but no image", .code = 0xE6, .no_bytes = true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        SetVersion(api, 6, 1, 1, platform::kArchIntel);
        if (r.key) {
            api.AddKey(kSm);
            api.RegSetMultiSz(kSm, "BootExecute", B(kBefore));
        }
        if (r.unwritable) api.unwritable.insert(kFlasherPath);
        api.reg_write_result = r.write;
        api.reg_read_result = r.read;
        Flashers f;
        f.images[2] = B(r.image);
        f.Point();
        if (r.no_bytes) f.table[2].image = nullptr;
        const Bytes package = f.images[2];
        BootSettings s = Ostrel();
        s.serial = "SERIAL-0123456789ABC";  // 20
        const BootSetupResult res = SetUpBootUpdate(api, &f.table, s);
        EXPECT_EQ(res.code, r.code) << res.detail;
        EXPECT_FALSE(res.ok());
        EXPECT_FALSE(res.detail.empty());
        if (!r.detail.empty()) {
            EXPECT_EQ(res.detail, r.detail);
        }
        EXPECT_FALSE(res.registered);
        EXPECT_TRUE(res.flasher_path.empty());
        EXPECT_FALSE(api.files.count(kFlasherPath));
        if (r.key) {
            EXPECT_EQ(S(*api.Value(kSm, "BootExecute")), kBefore);
        } else {
            EXPECT_FALSE(api.Value(kSm, "BootExecute"));
        }
        EXPECT_EQ(f.images[2], package);
    }
}

// A disk that fills part-way through the flasher: the file exists, cut short.
class FillingDisk : public FakeSystemApi {
public:
    bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override {
        files[path] = Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
        return false;
    }
};

TEST(SetUpBootUpdate, AFlasherCutShortIsRemoved) {
    FillingDisk api;
    SetVersion(api, 6, 1, 1, platform::kArchIntel);
    api.AddKey(kSm);
    Flashers f(std::string(64, 'x'));
    const BootSetupResult res = SetUpBootUpdate(api, &f.table, Ostrel());
    EXPECT_EQ(res.code, kBootFlasherFileFailed);
    EXPECT_FALSE(api.files.count(kFlasherPath));
    EXPECT_FALSE(api.Value(kSm, "BootExecute"));
}

}  // namespace
}  // namespace orvane::system
