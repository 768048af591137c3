#pragma once
#include <memory>

#include "platform/system_api.h"

namespace orvane::platform::win32 {

// The real Windows answers. Mutexes it creates stay open until it is destroyed.
class Win32SystemApi : public SystemApi {
public:
    Win32SystemApi();
    ~Win32SystemApi() override;

    bool GetVersionEx(OsVersion& out) override;
    bool GetVersionBasic(OsVersion& out) override;
    uint16_t ProcessorArchitecture() override;
    bool IsServerR2() override;
    Wow64 IsWow64Process() override;
    AdminCheck CheckAdministrators() override;

    std::string TempPath() override;
    std::string SystemDirectory() override;
    std::string WindowsDirectory() override;

    bool AppendText(const std::string& path, const std::string& text) override;
    bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
    std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override;

    bool RegKeyExists(const std::string& path) override;
    std::optional<std::string> RegQueryString(const std::string& path, const std::string& name,
                                              size_t max_bytes) override;
    RegWrite RegSetMultiSz(const std::string& path, const std::string& name,
                           const std::vector<uint8_t>& bytes) override;

    std::unique_ptr<ServiceHandle> OpenService(const std::string& name, uint32_t access) override;

    ExitResult ForcedExit(ExitKind kind) override;
    bool ExitWindowsForced(ExitKind kind) override;

    bool MutexExists(const std::string& name) override;
    bool CreateMutex(const std::string& name) override;

    std::string ModuleFileName() override;
    LocalTime LocalTimeNow() override;
    bool GetTrueVersion(OsVersion& out) override;
    void KeepAwake(bool on) override;
    std::string ProgramDataDirectory() override;
    bool MakeProtectedDirectory(const std::string& path) override;
    std::string ComputerName() override;
    int UtcOffsetMinutes() override;
    std::optional<double> SecondsSinceSystemStart() override;
    std::optional<PowerStatus> GetPowerStatus() override;
    RegRead RegQueryMultiSz(const std::string& path, const std::string& name, std::vector<uint8_t>& out) override;
    RegWrite RegDeleteValue(const std::string& path, const std::string& name) override;
    bool RemoveFile(const std::string& path) override;
    bool ReplaceFile(const std::string& from, const std::string& to) override;
    bool StartHidden(const std::string& program, const std::string& parameters) override;
    bool EnableShutdownPrivilege() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::platform::win32
