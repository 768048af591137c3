// The real system calls the boot-time set-up depends on, under Wine: multi-string values, value
// and file removal, a hidden start, the shutdown privilege and the process width.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_system_api.h"

#include <windows.h>
#undef RegDeleteValue

namespace orvane::platform::win32 {
namespace {

std::vector<uint8_t> Bytes(const char* s, size_t n) { return std::vector<uint8_t>(s, s + n); }

// A scratch key under HKLM of this process's own, removed with its values when the test ends.
class ScratchKey {
public:
    ScratchKey() : path_("SOFTWARE\\OrvaneBootTest-" + std::to_string(GetCurrentProcessId())) {
        HKEY k = nullptr;
        created_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                   nullptr) == ERROR_SUCCESS;
        if (created_) RegCloseKey(k);
    }
    ~ScratchKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str()); }
    bool created() const { return created_; }
    const std::string& path() const { return path_; }

    // Written and read with the plain registry calls, so the layer is checked against them.
    bool Set(const char* name, DWORD type, const std::vector<uint8_t>& bytes) const {
        return RegSetKeyValueA(HKEY_LOCAL_MACHINE, path_.c_str(), name, type, bytes.data(),
                               static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    }
    bool Get(const char* name, DWORD& type, std::vector<uint8_t>& bytes) const {
        BYTE buf[1024];
        DWORD size = sizeof buf;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, path_.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, buf, &size) !=
            ERROR_SUCCESS)
            return false;
        bytes.assign(buf, buf + size);
        return true;
    }

private:
    std::string path_;
    bool created_ = false;
};

TEST(Win32BootSystem, MultiStringsComeBackByteForByte) {
    // Each stored as given, the closing empty string (or its absence) included.
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } const cases[] = {
        {"two strings", Bytes("autocheck autochk *\0Ostrel FW.bin\0\0", 36)},
        {"three strings", Bytes("autocheck autochk *\0othertool /x\0Ostrel FW.bin\0\0", 49)},
        {"one string", Bytes("a\0\0", 3)},
        {"no closing empty string", Bytes("autocheck autochk *\0Ostrel FW.bin\0", 35)},
    };
    ScratchKey key;
    ASSERT_TRUE(key.created());
    Win32SystemApi api;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Our write, read back by the system.
        ASSERT_EQ(api.RegSetMultiSz(key.path(), "BootExecute", c.bytes), RegWrite::Ok);
        DWORD type = 0;
        std::vector<uint8_t> stored;
        ASSERT_TRUE(key.Get("BootExecute", type, stored));
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
        EXPECT_EQ(stored, c.bytes);
        // The system's write, read back by ours.
        ASSERT_TRUE(key.Set("Other", REG_MULTI_SZ, c.bytes));
        std::vector<uint8_t> read = {0xEE};
        EXPECT_EQ(api.RegQueryMultiSz(key.path(), "Other", read), RegRead::Ok);
        EXPECT_EQ(read, c.bytes);
    }
}

TEST(Win32BootSystem, MultiStringReadRefusals) {
    ScratchKey key;
    ASSERT_TRUE(key.created());
    ASSERT_TRUE(key.Set("Text", REG_SZ, Bytes("autocheck autochk *\0", 20)));
    ASSERT_TRUE(key.Set("Number", REG_DWORD, Bytes("\1\0\0\0", 4)));
    struct Case {
        std::string path, name;
        RegRead expected;
    } const cases[] = {
        {key.path(), "Text", RegRead::WrongType},
        {key.path(), "Number", RegRead::WrongType},
        {key.path(), "NoSuchValue", RegRead::ValueMissing},
        {key.path() + "\\NoSuchKey", "BootExecute", RegRead::KeyMissing},
    };
    Win32SystemApi api;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_EQ(api.RegQueryMultiSz(c.path, c.name, out), c.expected);
        EXPECT_TRUE(out.empty()) << "bytes handed back with a refusal";
    }
}

TEST(Win32BootSystem, DeletingValues) {
    ScratchKey key;
    ASSERT_TRUE(key.created());
    ASSERT_TRUE(key.Set("Gone", REG_MULTI_SZ, Bytes("x\0\0", 3)));
    ASSERT_TRUE(key.Set("Kept", REG_MULTI_SZ, Bytes("y\0\0", 3)));
    Win32SystemApi api;
    EXPECT_EQ(api.RegDeleteValue(key.path(), "Gone"), RegWrite::Ok);
    DWORD type = 0;
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(key.Get("Gone", type, bytes));
    ASSERT_TRUE(key.Get("Kept", type, bytes)) << "another value of the key went too";
    EXPECT_EQ(bytes, Bytes("y\0\0", 3));
    // Already gone: nothing left to do, which is success.
    EXPECT_EQ(api.RegDeleteValue(key.path(), "Gone"), RegWrite::Ok);
    EXPECT_EQ(api.RegDeleteValue(key.path() + "\\NoSuchKey", "Gone"), RegWrite::OpenFailed);
}

TEST(Win32BootSystem, RemovingFiles) {
    Win32SystemApi api;
    const std::string dir = api.TempPath();
    ASSERT_FALSE(dir.empty());
    const std::string file = dir + "orvane-remove-" + std::to_string(GetCurrentProcessId()) + ".bin";
    ASSERT_TRUE(api.WriteFile(file, {1, 2, 3}));
    EXPECT_TRUE(api.RemoveFile(file));
    EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(api.RemoveFile(file)) << "a missing file counts as removed";
    EXPECT_TRUE(api.RemoveFile(dir + "orvane-no-such-folder\\FW.bin"));
    // A folder is not a file: refusing it must not read as success.
    const std::string folder = dir + "orvane-remove-dir-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_FALSE(api.RemoveFile(folder));
    RemoveDirectoryA(folder.c_str());
}

TEST(Win32BootSystem, StartHiddenRunsWithoutWaiting) {
    Win32SystemApi api;
    const std::string file = api.TempPath() + "orvane-started-" + std::to_string(GetCurrentProcessId()) + ".txt";
    DeleteFileA(file.c_str());
    ASSERT_TRUE(api.StartHidden("cmd.exe", "/c echo started>\"" + file + "\""));
    // It does not wait: the file appears some time later.
    std::string text;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < give_up) {
        auto bytes = api.ReadFile(file);
        if (bytes && !bytes->empty()) {
            text.assign(bytes->begin(), bytes->end());
            if (text.find('\n') != std::string::npos) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(text.substr(0, 7), "started") << "cmd.exe did not write " << file;
    DeleteFileA(file.c_str());

    EXPECT_FALSE(api.StartHidden("orvane-no-such-program.exe", ""));
}

// Whether the process token has SeShutdownPrivilege enabled now; sets it first when asked.
bool ShutdownPrivilege(const bool* set_to = nullptr) {
    LUID luid{};
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid)) return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token)) return false;
    if (set_to) {
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Luid = luid;
        tp.Privileges[0].Attributes = *set_to ? SE_PRIVILEGE_ENABLED : 0;
        AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
    }
    std::vector<uint8_t> buf(4096);
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(token, TokenPrivileges, buf.data(), static_cast<DWORD>(buf.size()), &size);
    CloseHandle(token);
    if (!ok) return false;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buf.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
        if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
            return (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

TEST(Win32BootSystem, ShutdownPrivilegeIsEnabled) {
    // Off first, so the token shows the call's doing, not a default.
    const bool off = false;
    ASSERT_FALSE(ShutdownPrivilege(&off));
    Win32SystemApi api;
    ASSERT_TRUE(api.EnableShutdownPrivilege());
    EXPECT_TRUE(ShutdownPrivilege());
}

TEST(Win32BootSystem, ProcessWidthAndSixtyFourBitWindows) {
    Win32SystemApi api;
#ifdef _WIN64
    EXPECT_TRUE(api.Is64BitProcess());
    EXPECT_EQ(api.IsWow64Process(), Wow64::No);
#else
    EXPECT_FALSE(api.Is64BitProcess());
#endif
    // Wine here is 64-bit: either test tells so, whichever the width of this build.
    if (api.ProcessorArchitecture() == kArchAMD64) {
        EXPECT_TRUE(api.Is64BitProcess() || api.IsWow64Process() == Wow64::Yes);
    }
}

}  // namespace
}  // namespace orvane::platform::win32
