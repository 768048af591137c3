// The data folder, the protected folder, the computer's name and the UTC offset, through the
// real calls. Wine keeps no security descriptor on files: it maps the DACL onto the Unix mode
// and reads back one made from that mode, so the folders are checked against what it keeps.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32_protected_folder.h"
#include "platform/win32/win32_system_api.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

namespace orvane::platform::win32 {
namespace {

bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string out(text);
    LocalFree(text);
    return out;
}

std::string ProcessUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "?";
    alignas(8) char buf[256];
    DWORD size = sizeof buf;
    const BOOL ok = GetTokenInformation(token, TokenUser, buf, size, &size);
    CloseHandle(token);
    return ok ? SidText(reinterpret_cast<TOKEN_USER*>(buf)->User.Sid) : "?";
}

struct Ace {
    int type;
    int flags;
    uint32_t mask;
    std::string sid;
    bool operator==(const Ace&) const = default;
};

void PrintTo(const Ace& a, std::ostream* os) {
    *os << "{type " << a.type << ", flags " << a.flags << ", mask 0x" << std::hex << a.mask << std::dec << ", "
        << a.sid << "}";
}

struct ReadBack {
    bool ok = false;
    std::string owner;
    bool is_protected = false;
    std::vector<Ace> aces;
};

ReadBack ReadSecurity(const std::string& path) {
    ReadBack r;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return r;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    r.ok = owner && dacl && GetSecurityDescriptorControl(sd, &control, &revision);
    if (r.ok) {
        r.owner = SidText(owner);
        r.is_protected = (control & SE_DACL_PROTECTED) != 0;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(dacl, i, &ace)) continue;
            auto* a = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            r.aces.push_back({a->Header.AceType, a->Header.AceFlags, a->Mask, SidText(&a->SidStart)});
        }
    }
    LocalFree(sd);
    return r;
}

// Write data, append, write EA, delete child, write attributes, delete, write DAC, write
// owner, generic write, generic all.
constexpr uint32_t kAnyWrite = 0x500D0156;
constexpr uint32_t kFullControl = 0x001F01FF;
constexpr uint32_t kReadExecute = 0x001200A9;
constexpr int kAllowed = 0;
constexpr int kInherit = 0x03;  // object and container inherit

void ExpectNoWriteForUsers(const ReadBack& r, const std::string& what) {
    for (const Ace& a : r.aces) {
        const bool ordinary = a.sid == "S-1-5-32-545" || a.sid == "S-1-1-0" || a.sid == "S-1-5-11";
        if (ordinary && a.type == kAllowed) {
            EXPECT_EQ(a.mask & kAnyWrite, 0u) << what << " " << a.sid;
        }
    }
}

void SetDacl(const std::string& path, const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    const DWORD rc = SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                                           DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
    LocalFree(sd);
    ASSERT_EQ(rc, static_cast<DWORD>(ERROR_SUCCESS));
}

// Removes what a case left at its path, folder or file.
struct Cleanup {
    std::string path;
    ~Cleanup() {
        if (!RemoveDirectoryA(path.c_str())) DeleteFileA(path.c_str());
    }
};

TEST(Win32Folders, ProgramDataIsTheKnownFolder) {
    Win32SystemApi api;
    const std::string dir = api.ProgramDataDirectory();
    PWSTR wide = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &wide), S_OK);
    char expected[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, expected, sizeof expected, nullptr, nullptr);
    CoTaskMemFree(wide);
    EXPECT_EQ(dir, expected);
    char legacy[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, legacy), S_OK);
    EXPECT_EQ(dir, legacy);
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '\\');
    const DWORD attr = GetFileAttributesA(dir.c_str());
    EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) << dir;
}

TEST(Win32Folders, ProtectedFolderMadeTakenOverOrRefused) {
    Win32SystemApi api;
    const std::string base = api.ProgramDataDirectory();
    ASSERT_FALSE(base.empty());
    const bool wine = UnderWine();
    const std::string user = ProcessUserSid();
    const Ace system{kAllowed, kInherit, kFullControl, "S-1-5-18"};
    // Windows keeps the descriptor as set. Wine keeps only Unix mode bits: it reads back the
    // process's user as owner, no protection flag, and a DACL made from the mode: SYSTEM and
    // that user with full control, Everyone with read and execute (where the Users entry went).
    const ReadBack windows_view{true, "S-1-5-32-544", true,
                                {system, {kAllowed, kInherit, kFullControl, "S-1-5-32-544"},
                                 {kAllowed, kInherit, kReadExecute, "S-1-5-32-545"}}};
    const ReadBack wine_view{true, user, false,
                             {system, {kAllowed, kInherit, kFullControl, user},
                              {kAllowed, kInherit, kReadExecute, "S-1-1-0"}}};
    const ReadBack& expected = wine ? wine_view : windows_view;

    struct Case {
        const char* name;
        std::function<void(const std::string&)> prepare;
        bool made;
    };
    const std::vector<Case> cases = {
        {"fresh", [](const std::string&) {}, true},
        // A folder a user made first, open to everyone.
        {"taken-over",
         [&](const std::string& p) {
             ASSERT_TRUE(CreateDirectoryA(p.c_str(), nullptr));
             SetDacl(p, "D:(A;OICI;FA;;;WD)");
             const ReadBack before = ReadSecurity(p);
             bool everyone_writes = false;
             for (const Ace& a : before.aces)
                 everyone_writes |= a.sid == "S-1-1-0" && a.type == kAllowed && (a.mask & 0x2);
             ASSERT_TRUE(everyone_writes) << "the folder to take over is not open to begin with";
         },
         true},
        {"file",
         [](const std::string& p) {
             HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
             ASSERT_NE(h, INVALID_HANDLE_VALUE);
             DWORD written = 0;
             WriteFile(h, "planted", 7, &written, nullptr);
             CloseHandle(h);
         },
         false},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = base + "\\orvane-protected-" + c.name + "-" + std::to_string(GetCurrentProcessId());
        Cleanup cleanup{path};
        c.prepare(path);
        if (testing::Test::HasFatalFailure()) return;
        EXPECT_EQ(api.MakeProtectedDirectory(path), c.made);
        const DWORD attr = GetFileAttributesA(path.c_str());
        ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES);
        if (!c.made) {
            // Refused and left alone.
            EXPECT_FALSE(attr & FILE_ATTRIBUTE_DIRECTORY);
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
            EXPECT_EQ(data.nFileSizeLow, 7u);
            continue;
        }
        EXPECT_TRUE(attr & FILE_ATTRIBUTE_DIRECTORY);
        const ReadBack r = ReadSecurity(path);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.owner, expected.owner);
        EXPECT_EQ(r.is_protected, expected.is_protected);
        EXPECT_EQ(r.aces, expected.aces);
        ExpectNoWriteForUsers(r, c.name);
        // A second call finds it protected and keeps it so.
        EXPECT_TRUE(api.MakeProtectedDirectory(path));
    }
}

// The read-back judgement on descriptors Wine would not keep: what makes a folder writable by
// someone other than Administrators and SYSTEM.
TEST(Win32Folders, ReadBackJudgesOwnerAndEveryEntry) {
    const std::string user = ProcessUserSid();
    const struct {
        std::string sddl;
        bool stands;
    } cases[] = {
        {"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)", true},
        {"O:BAD:P", true},                                     // nobody may do anything
        {"O:BAD:P(D;OICI;FA;;;WD)(A;OICI;FA;;;BA)", true},     // a denial grants nothing
        {"O:" + user + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + user + ")(A;OICI;0x1200a9;;;WD)", true},
        {"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FW;;;BU)", false},  // users write
        {"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FW;;;BU)", false},                // ... what it holds
        {"O:BAD:P(A;;0x40000;;;WD)", false},                                 // Everyone: WRITE_DAC
        {"O:BAD:P(A;;SD;;;AU)", false},                                      // delete
        {"O:BAD:P(A;;GA;;;AU)", false},
        {"O:BAD:P(A;;0x4;;;BU)", false},                                     // add a subfolder
        {"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},                  // Users own it
        {"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;BA)", false},                 // another user does
        {"O:BA", false},                                                     // no DACL
    };
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(c.sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
            << c.sddl;
        EXPECT_EQ(StandsProtected(sd), c.stands) << c.sddl;
        LocalFree(sd);
    }
    // A null DACL lets everyone in (Wine reads "D:NO_ACCESS_CONTROL" as an empty one).
    SECURITY_DESCRIPTOR open{};
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                         0, &admins));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&open, admins, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_FALSE(StandsProtected(&open));
    FreeSid(admins);
}

TEST(Win32Folders, ComputerNameAndUtcOffset) {
    Win32SystemApi api;
    const std::string name = api.ComputerName();
    ASSERT_FALSE(name.empty());
    char netbios[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = sizeof netbios;
    ASSERT_TRUE(GetComputerNameA(netbios, &n));
    char dns[256] = {};
    DWORD m = sizeof dns;
    const bool has_dns = GetComputerNameExA(ComputerNameDnsHostname, dns, &m);
    EXPECT_TRUE(lstrcmpiA(name.c_str(), netbios) == 0 || (has_dns && name == dns)) << name;

    // Local minus UTC from the two clocks, rounded to minutes: read twice around the call so a
    // change of the offset in between (a daylight-saving switch) cannot fail it.
    const auto clocks = [] {
        SYSTEMTIME local{}, utc{};
        GetLocalTime(&local);
        GetSystemTime(&utc);
        FILETIME lf{}, uf{};
        SystemTimeToFileTime(&local, &lf);
        SystemTimeToFileTime(&utc, &uf);
        const auto ticks = [](FILETIME f) {
            return static_cast<int64_t>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
        };
        const double minutes = static_cast<double>(ticks(lf) - ticks(uf)) / 600000000.0;
        return static_cast<int>(minutes < 0 ? minutes - 0.5 : minutes + 0.5);
    };
    const int before = clocks();
    const int offset = api.UtcOffsetMinutes();
    const int after = clocks();
    EXPECT_TRUE(offset == before || offset == after) << offset << " " << before << " " << after;
}

}  // namespace
}  // namespace orvane::platform::win32
