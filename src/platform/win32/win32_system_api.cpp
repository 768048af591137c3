#include "platform/stdio_files.h"
#include "platform/win32/win32_system_api.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <mutex>

#include "platform/win32/win32_handles.h"

// windows.h maps these to their A/W forms; here they are the interface's method names.
#undef GetVersionEx
#undef OpenService
#undef CreateMutex
#undef RegDeleteValue
#undef ReplaceFile

namespace orvane::platform::win32 {

namespace {

// Registry paths are relative to HKLM; a leading backslash would make RegOpenKeyExA refuse them.
std::string SubKey(const std::string& path) {
    size_t b = path.find_first_not_of('\\');
    return b == std::string::npos ? std::string() : path.substr(b);
}

UINT ExitFlags(ExitKind kind) {
    return (kind == ExitKind::Reboot ? EWX_REBOOT : EWX_SHUTDOWN) | EWX_FORCE;
}

class Win32ServiceHandle : public ServiceHandle {
public:
    Win32ServiceHandle(UniqueScHandle manager, UniqueScHandle service)
        : manager_(std::move(manager)), service_(std::move(service)) {}

    bool Query(ServiceStatus& out) override {
        SERVICE_STATUS ss{};
        if (!QueryServiceStatus(service_.get(), &ss)) return false;
        out.dwCurrentState = ss.dwCurrentState;
        out.dwWaitHint = ss.dwWaitHint;
        return true;
    }
    bool Start() override { return StartServiceA(service_.get(), 0, nullptr) != FALSE; }
    bool ControlStop(ServiceStatus& out) override {
        SERVICE_STATUS ss{};
        if (!ControlService(service_.get(), SERVICE_CONTROL_STOP, &ss)) return false;
        out.dwCurrentState = ss.dwCurrentState;
        out.dwWaitHint = ss.dwWaitHint;
        return true;
    }

private:
    UniqueScHandle manager_;  // declared first: closed after the service
    UniqueScHandle service_;
};

}  // namespace

struct Win32SystemApi::Impl {
    std::mutex mutex;
    std::vector<UniqueHandle> mutexes;
};

Win32SystemApi::Win32SystemApi() : impl_(std::make_unique<Impl>()) {}
Win32SystemApi::~Win32SystemApi() = default;

bool Win32SystemApi::GetVersionEx(OsVersion& out) {
    OSVERSIONINFOEXA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi))) return false;
    out.dwMajorVersion = vi.dwMajorVersion;
    out.dwMinorVersion = vi.dwMinorVersion;
    out.dwBuildNumber = vi.dwBuildNumber;
    out.dwPlatformId = vi.dwPlatformId;
    out.szCSDVersion.assign(vi.szCSDVersion, strnlen(vi.szCSDVersion, sizeof vi.szCSDVersion));
    out.wServicePackMajor = vi.wServicePackMajor;
    out.wServicePackMinor = vi.wServicePackMinor;
    out.wSuiteMask = vi.wSuiteMask;
    out.wProductType = vi.wProductType;
    return true;
}

bool Win32SystemApi::GetVersionBasic(OsVersion& out) {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    if (!GetVersionExA(&vi)) return false;
    out = OsVersion{};
    out.dwMajorVersion = vi.dwMajorVersion;
    out.dwMinorVersion = vi.dwMinorVersion;
    out.dwBuildNumber = vi.dwBuildNumber;
    out.dwPlatformId = vi.dwPlatformId;
    out.szCSDVersion.assign(vi.szCSDVersion, strnlen(vi.szCSDVersion, sizeof vi.szCSDVersion));
    return true;
}

uint16_t Win32SystemApi::ProcessorArchitecture() {
    using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    // A 32-bit process on 64-bit Windows must see the machine's processor, not its emulated one.
    auto native = ProcAddress<NativeInfoFn>(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo");
    SYSTEM_INFO si{};
    if (native)
        native(&si);
    else
        GetSystemInfo(&si);
    return si.wProcessorArchitecture;
}

bool Win32SystemApi::IsServerR2() {
    return GetSystemMetrics(SM_SERVERR2) != 0;
}

Wow64 Win32SystemApi::IsWow64Process() {
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto fn = ProcAddress<IsWow64Fn>(GetModuleHandleA("kernel32"), "IsWow64Process");
    if (!fn) return Wow64::Missing;
    BOOL wow = FALSE;
    if (!fn(GetCurrentProcess(), &wow)) return Wow64::No;
    return wow ? Wow64::Yes : Wow64::No;
}

AdminCheck Win32SystemApi::CheckAdministrators() {
    using AllocFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                  DWORD, PSID*);
    using CheckFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    using FreeFn = PVOID(WINAPI*)(PSID);

    // Loaded by name: systems before 2000 have no CheckTokenMembership.
    UniqueLibrary lib(LoadLibraryA("advapi32.dll"));
    if (!lib) return AdminCheck::ApiMissing;
    auto alloc = ProcAddress<AllocFn>(lib.get(), "AllocateAndInitializeSid");
    auto check = ProcAddress<CheckFn>(lib.get(), "CheckTokenMembership");
    auto free_sid = ProcAddress<FreeFn>(lib.get(), "FreeSid");
    if (!alloc || !check || !free_sid) return AdminCheck::ApiMissing;

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!alloc(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid))
        return AdminCheck::SidFailed;
    struct SidOwner {
        FreeFn free_sid;
        PSID sid;
        ~SidOwner() { free_sid(sid); }
    } owner{free_sid, sid};  // freed before the library goes

    BOOL member = FALSE;
    if (!check(nullptr, sid, &member)) return AdminCheck::CallFailed;
    return member ? AdminCheck::Member : AdminCheck::NotMember;
}

std::string Win32SystemApi::TempPath() {
    char buf[1024];
    DWORD n = GetTempPathA(sizeof buf, buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    return std::string(buf, n);
}

std::string Win32SystemApi::SystemDirectory() {
    char buf[MAX_PATH + 1];
    UINT n = GetSystemDirectoryA(buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    return std::string(buf, n);
}

std::string Win32SystemApi::WindowsDirectory() {
    char buf[MAX_PATH + 1];
    UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    return std::string(buf, n);
}

bool Win32SystemApi::AppendText(const std::string& path, const std::string& text) {
    // Text mode: every line end is stored as CR LF.
    return StdioAppend(path, text, "a+t");
}

bool Win32SystemApi::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return StdioWrite(path, bytes);
}

std::optional<std::vector<uint8_t>> Win32SystemApi::ReadFile(const std::string& path) {
    return StdioRead(path);
}

bool Win32SystemApi::RegKeyExists(const std::string& path) {
    UniqueKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, SubKey(path).c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

std::optional<std::string> Win32SystemApi::RegQueryString(const std::string& path, const std::string& name,
                                                          size_t max_bytes) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SubKey(path).c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<char> buf(max_bytes + 1, 0);
    DWORD size = static_cast<DWORD>(max_bytes);
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::string s(buf.data(), size);
    return s.substr(0, s.find('\0'));
}

RegWrite Win32SystemApi::RegSetMultiSz(const std::string& path, const std::string& name,
                                       const std::vector<uint8_t>& bytes) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SubKey(path).c_str(), 0, KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS)
        return RegWrite::OpenFailed;
    if (RegSetValueExA(key.get(), name.c_str(), 0, REG_MULTI_SZ, bytes.data(), static_cast<DWORD>(bytes.size())) !=
        ERROR_SUCCESS)
        return RegWrite::WriteFailed;
    return RegWrite::Ok;
}

std::unique_ptr<ServiceHandle> Win32SystemApi::OpenService(const std::string& name, uint32_t access) {
    UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return nullptr;
    DWORD rights = 0;
    if (access & kServiceQuery) rights |= SERVICE_QUERY_STATUS;
    if (access & kServiceStart) rights |= SERVICE_START;
    if (access & kServiceStop) rights |= SERVICE_STOP;
    UniqueScHandle service(OpenServiceA(manager.get(), name.c_str(), rights));
    if (!service) return nullptr;
    return std::make_unique<Win32ServiceHandle>(std::move(manager), std::move(service));
}

RegRead Win32SystemApi::RegQueryMultiSz(const std::string& path, const std::string& name,
                                        std::vector<uint8_t>& out) {
    out.clear();
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SubKey(path).c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
        return RegRead::KeyMissing;
    // The value may grow between the size query and the read: ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) return RegRead::ValueMissing;
        if (rc != ERROR_SUCCESS) return RegRead::Failed;
        if (type != REG_MULTI_SZ) return RegRead::WrongType;
        std::vector<uint8_t> buf(size);
        rc = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, buf.empty() ? nullptr : buf.data(), &size);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return RegRead::Failed;
        if (type != REG_MULTI_SZ) return RegRead::WrongType;
        buf.resize(size);
        out = std::move(buf);
        return RegRead::Ok;
    }
    return RegRead::Failed;
}

RegWrite Win32SystemApi::RegDeleteValue(const std::string& path, const std::string& name) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SubKey(path).c_str(), 0, KEY_SET_VALUE, key.out()) != ERROR_SUCCESS)
        return RegWrite::OpenFailed;
    const LONG rc = RegDeleteValueA(key.get(), name.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? RegWrite::Ok : RegWrite::WriteFailed;
}

bool Win32SystemApi::RemoveFile(const std::string& path) {
    if (DeleteFileA(path.c_str())) return true;
    const DWORD err = GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
}

bool Win32SystemApi::ReplaceFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32SystemApi::StartHidden(const std::string& program, const std::string& parameters) {
    // Values above 32 mean the program was started.
    const auto rc = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", program.c_str(), parameters.c_str(), nullptr, SW_HIDE));
    return rc > 32;
}

namespace {

ExitResult EnableShutdown() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out()))
        return ExitResult::TokenFailed;
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid))
        return ExitResult::PrivilegeFailed;
    // Success of the call alone does not mean the privilege was granted: ERROR_NOT_ALL_ASSIGNED.
    BOOL adjusted = AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr);
    if (!adjusted || GetLastError() != ERROR_SUCCESS) return ExitResult::PrivilegeFailed;
    return ExitResult::Done;
}

}  // namespace

bool Win32SystemApi::EnableShutdownPrivilege() { return EnableShutdown() == ExitResult::Done; }

ExitResult Win32SystemApi::ForcedExit(ExitKind kind) {
    const ExitResult privilege = EnableShutdown();
    if (privilege != ExitResult::Done) return privilege;
    return ExitWindowsEx(ExitFlags(kind), 0) ? ExitResult::Done : ExitResult::ExitFailed;
}

bool Win32SystemApi::ExitWindowsForced(ExitKind kind) {
    return ExitWindowsEx(ExitFlags(kind), 0) != FALSE;
}

bool Win32SystemApi::MutexExists(const std::string& name) {
    UniqueHandle h(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
    return static_cast<bool>(h);
}

bool Win32SystemApi::CreateMutex(const std::string& name) {
    UniqueHandle h(CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!h) return false;
    // The name lives as long as a handle to it does: keep ours.
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->mutexes.push_back(std::move(h));
    return true;
}

std::string Win32SystemApi::ModuleFileName() {
    char buf[32768];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    return std::string(buf, n);
}

bool Win32SystemApi::GetTrueVersion(OsVersion& out) {
    // ntdll answers with the running version whatever the manifest says.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtl = ProcAddress<RtlGetVersionFn>(GetModuleHandleA("ntdll.dll"), "RtlGetVersion");
    OSVERSIONINFOEXW vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    if (!rtl || rtl(&vi) != 0) return GetVersionEx(out);
    out = OsVersion{};
    out.dwMajorVersion = vi.dwMajorVersion;
    out.dwMinorVersion = vi.dwMinorVersion;
    out.dwBuildNumber = vi.dwBuildNumber;
    out.dwPlatformId = vi.dwPlatformId;
    out.wServicePackMajor = vi.wServicePackMajor;
    out.wServicePackMinor = vi.wServicePackMinor;
    out.wSuiteMask = vi.wSuiteMask;
    out.wProductType = vi.wProductType;
    return true;
}

void Win32SystemApi::KeepAwake(bool on) {
    ::SetThreadExecutionState(on ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS);
}

LocalTime Win32SystemApi::LocalTimeNow() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::string Win32SystemApi::ComputerName() {
    // 256 holds any DNS host name (63) and any NetBIOS name (15).
    char buf[256];
    DWORD n = sizeof buf;
    if (GetComputerNameExA(ComputerNameDnsHostname, buf, &n) && n > 0) return std::string(buf, n);
    n = sizeof buf;
    if (GetComputerNameA(buf, &n)) return std::string(buf, n);
    return {};
}

int Win32SystemApi::UtcOffsetMinutes() {
    TIME_ZONE_INFORMATION tz{};
    switch (GetTimeZoneInformation(&tz)) {
    case TIME_ZONE_ID_DAYLIGHT: return -static_cast<int>(tz.Bias + tz.DaylightBias);
    case TIME_ZONE_ID_STANDARD: return -static_cast<int>(tz.Bias + tz.StandardBias);
    case TIME_ZONE_ID_UNKNOWN: return -static_cast<int>(tz.Bias);
    default: break;
    }
    // The two clocks are read a moment apart: rounding to whole minutes absorbs that.
    SYSTEMTIME local{}, utc{};
    ::GetLocalTime(&local);
    ::GetSystemTime(&utc);
    FILETIME lf{}, uf{};
    if (!SystemTimeToFileTime(&local, &lf) || !SystemTimeToFileTime(&utc, &uf)) return 0;
    const auto ticks = [](const FILETIME& f) {
        return static_cast<int64_t>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    constexpr int64_t kTicksPerMinute = 600000000;  // 100 ns ticks
    const int64_t diff = ticks(lf) - ticks(uf);
    const int64_t half = diff < 0 ? -kTicksPerMinute / 2 : kTicksPerMinute / 2;
    return static_cast<int>((diff + half) / kTicksPerMinute);
}

std::optional<double> Win32SystemApi::SecondsSinceSystemStart() {
    return static_cast<double>(GetTickCount64()) / 1000.0;
}

std::optional<PowerStatus> Win32SystemApi::GetPowerStatus() {
    SYSTEM_POWER_STATUS s{};
    if (!::GetSystemPowerStatus(&s)) return std::nullopt;
    return PowerStatus{s.ACLineStatus, s.BatteryFlag, s.BatteryLifePercent};
}

}  // namespace orvane::platform::win32
