#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane::platform {

// The fields of OSVERSIONINFOEXA that the version code reads.
struct OsVersion {
    uint32_t dwMajorVersion = 0;
    uint32_t dwMinorVersion = 0;
    uint32_t dwBuildNumber = 0;
    uint32_t dwPlatformId = 0;   // 0 Win32s, 1 Windows 9x, 2 NT
    std::string szCSDVersion;    // service-pack text
    uint16_t wServicePackMajor = 0;
    uint16_t wServicePackMinor = 0;
    uint16_t wSuiteMask = 0;
    uint8_t wProductType = 0;    // 1 workstation, 2 domain controller, 3 server
};

constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;
constexpr uint32_t kPlatformNT = 2;

constexpr uint16_t kArchIntel = 0;
constexpr uint16_t kArchIA64 = 6;
constexpr uint16_t kArchAMD64 = 9;

enum class Wow64 { Missing, No, Yes };

// The steps of the Administrators-group test, so a caller can tell why it said no.
enum class AdminCheck { Member, NotMember, ApiMissing, SidFailed, CallFailed };

// SERVICE_STATUS.dwCurrentState values.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;

// SYSTEM_POWER_STATUS as the system reports it: ACLineStatus 0 offline, 1 online, 255 unknown;
// BatteryFlag bits 1 high, 2 low, 4 critical, 8 charging, 128 no system battery, 255 unknown;
// BatteryLifePercent 0 to 100, 255 unknown.
struct PowerStatus {
    uint8_t ac_line = 255;
    uint8_t battery_flag = 255;
    uint8_t battery_percent = 255;
};

struct LocalTime {
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

struct ServiceStatus {
    uint32_t dwCurrentState = 0;
    uint32_t dwWaitHint = 0;  // milliseconds
};

// An open service (with its service-manager handle); closed when destroyed.
class ServiceHandle {
public:
    virtual ~ServiceHandle() = default;
    virtual bool Query(ServiceStatus& out) = 0;
    virtual bool Start() = 0;
    virtual bool ControlStop(ServiceStatus& out) = 0;
};

enum ServiceAccess : uint32_t {
    kServiceQuery = 1,
    kServiceStart = 2,
    kServiceStop = 4,
};

enum class ExitKind { Reboot, Shutdown };

// Result of the forced restart or shutdown sequence (token, privilege, ExitWindowsEx).
enum class ExitResult { Done, TokenFailed, PrivilegeFailed, ExitFailed };

enum class RegWrite { Ok, OpenFailed, WriteFailed };
enum class RegRead { Ok, KeyMissing, ValueMissing, WrongType, Failed };

// Everything the program asks of the operating system outside storage and setup services.
class SystemApi {
public:
    virtual ~SystemApi() = default;

    // GetVersionExA with OSVERSIONINFOEXA, and with the basic OSVERSIONINFOA.
    virtual bool GetVersionEx(OsVersion& out) = 0;
    virtual bool GetVersionBasic(OsVersion& out) = 0;
    // GetNativeSystemInfo when kernel32 has it, else GetSystemInfo.
    virtual uint16_t ProcessorArchitecture() = 0;
    // GetSystemMetrics(SM_SERVERR2) != 0
    virtual bool IsServerR2() = 0;
    virtual Wow64 IsWow64Process() = 0;
    virtual AdminCheck CheckAdministrators() = 0;

    // Folders with their trailing separator left as the system gives it.
    virtual std::string TempPath() = 0;        // GetTempPathA: with trailing separator
    virtual std::string SystemDirectory() = 0; // GetSystemDirectoryA: without
    virtual std::string WindowsDirectory() = 0;

    // Open for appending in text mode, write, flush, close.
    virtual bool AppendText(const std::string& path, const std::string& text) = 0;
    // Create or replace a file with these bytes.
    virtual bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) = 0;
    virtual std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) = 0;

    // HKEY_LOCAL_MACHINE only: the program touches nothing else.
    virtual bool RegKeyExists(const std::string& path) = 0;
    virtual std::optional<std::string> RegQueryString(const std::string& path, const std::string& name,
                                                      size_t max_bytes) = 0;
    virtual RegWrite RegSetMultiSz(const std::string& path, const std::string& name,
                                   const std::vector<uint8_t>& bytes) = 0;
    // A REG_MULTI_SZ value's bytes as stored (out is left empty unless Ok).
    virtual RegRead RegQueryMultiSz(const std::string& path, const std::string& name,
                                    std::vector<uint8_t>& out) = 0;
    // Ok also when the value was not there.
    virtual RegWrite RegDeleteValue(const std::string& path, const std::string& name) = 0;

    // DeleteFileA; true also when the file was not there.
    virtual bool RemoveFile(const std::string& path) = 0;
    // MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH: the file at `to` is
    // the one at `from` or, when this fails, as it was. Never replaces a folder.
    virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
    // ShellExecuteA(verb "open", hidden), not waiting for the program; true when it started.
    virtual bool StartHidden(const std::string& program, const std::string& parameters) = 0;
    // Enables SeShutdownPrivilege in the process token.
    virtual bool EnableShutdownPrivilege() = 0;
    // A 64-bit process: with a WOW64 process, what tells 64-bit Windows.
    virtual bool Is64BitProcess() { return sizeof(void*) == 8; }

    // Opens the service manager and the service with the given ServiceAccess bits; null on failure.
    virtual std::unique_ptr<ServiceHandle> OpenService(const std::string& name, uint32_t access) = 0;

    // Forced restart or shutdown with the shutdown privilege (never on the simulated machine's host).
    virtual ExitResult ForcedExit(ExitKind kind) = 0;
    // ExitWindowsEx(flags | EWX_FORCE) alone, for the 9x family, which has no tokens or privileges.
    virtual bool ExitWindowsForced(ExitKind kind) { return ForcedExit(kind) == ExitResult::Done; }

    // Single-instance mutex: does one of this name exist; create one (not owned, kept open).
    virtual bool MutexExists(const std::string& name) = 0;
    virtual bool CreateMutex(const std::string& name) = 0;

    // Full path of the running executable.
    virtual std::string ModuleFileName() = 0;

    // The local date and time (GetLocalTime), for the logs' time stamps.
    virtual LocalTime LocalTimeNow() = 0;

    // The version the system really runs (RtlGetVersion): GetVersionExA reports 6.2 to programs
    // that do not declare Windows 8.1 and later in their manifest. False when it cannot be read.
    virtual bool GetTrueVersion(OsVersion& out) = 0;
    // Keep the machine from sleeping while an update runs (SetThreadExecutionState with
    // ES_CONTINUOUS | ES_SYSTEM_REQUIRED), or let it sleep again. Per calling thread.
    virtual void KeepAwake(bool on) = 0;

    // The machine-wide application-data folder (FOLDERID_ProgramData, CSIDL_COMMON_APPDATA before
    // Vista), without a trailing separator; "" when the system does not say.
    virtual std::string ProgramDataDirectory() = 0;
    // Makes the folder (its parent exists) or takes over one that is there, so that only
    // Administrators and SYSTEM may change it or what it holds and users may only read: owner
    // Administrators, a protected DACL. True when the folder stands so afterwards.
    virtual bool MakeProtectedDirectory(const std::string& path) = 0;
    // The computer's name (its DNS host name where it has one); "" when unknown.
    virtual std::string ComputerName() = 0;
    // Local time minus UTC now, in minutes (+60 for Central European winter time).
    virtual int UtcOffsetMinutes() = 0;
    // Seconds since Windows started (GetTickCount64; GetTickCount before Vista, which wraps after
    // 49.7 days); none when unknown. Tells whether the machine restarted since an update.
    virtual std::optional<double> SecondsSinceSystemStart() = 0;
    // GetSystemPowerStatus's record; none when the call fails.
    virtual std::optional<PowerStatus> GetPowerStatus() = 0;
};

}  // namespace orvane::platform
