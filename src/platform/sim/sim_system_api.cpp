#include "platform/stdio_files.h"
#include "platform/sim/sim_system_api.h"
#include "text/text.h"

#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace orvane::platform::sim {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

std::string WithSep(std::string dir) {
    if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += kSep;
    return dir;
}

std::string DefaultTemp() {
    std::error_code ec;
    fs::path p = fs::temp_directory_path(ec);
    return ec ? std::string(1, '.') : p.string();
}

const SimRegValue* FindValue(const SimRegKey& key, const std::string& name) {
    for (const auto& [n, v] : key.values)
        if (text::ToLower(n) == text::ToLower(name)) return &v;
    return nullptr;
}

}  // namespace

// An open service; the service manager's part of the handle needs no state here.
class SimServiceHandle : public ServiceHandle {
public:
    SimServiceHandle(SimSystemApi& api, std::string id, uint32_t access)
        : api_(api), id_(std::move(id)), access_(access) {}
    ~SimServiceHandle() override {
        std::lock_guard<std::mutex> lock(api_.mutex_);
        --api_.open_services_;
    }

    bool Query(ServiceStatus& out) override {
        if (!(access_ & kServiceQuery)) return false;
        std::lock_guard<std::mutex> lock(api_.mutex_);
        out = Status(api_.services_.at(id_));
        return true;
    }

    bool Start() override {
        if (!(access_ & kServiceStart)) return false;
        std::lock_guard<std::mutex> lock(api_.mutex_);
        auto& s = api_.services_.at(id_);
        if (api_.Settle(s) != kServiceStopped || s.target != 0 || s.config.start_type == "disabled") return false;
        Begin(s, kServiceRunning, s.config.start_seconds);
        return true;
    }

    bool ControlStop(ServiceStatus& out) override {
        if (!(access_ & kServiceStop)) return false;
        std::lock_guard<std::mutex> lock(api_.mutex_);
        auto& s = api_.services_.at(id_);
        if (api_.Settle(s) != kServiceRunning || s.target != 0) return false;
        Begin(s, kServiceStopped, s.config.stop_seconds);
        out = Status(s);
        return true;
    }

private:
    void Begin(SimSystemApi::ServiceRun& s, uint32_t target, const std::optional<double>& seconds) {
        s.target = target;
        s.until = seconds ? api_.clock_.Now() + *seconds : std::numeric_limits<double>::infinity();
        api_.Settle(s);
    }

    ServiceStatus Status(SimSystemApi::ServiceRun& s) {
        ServiceStatus st;
        st.dwCurrentState = api_.Settle(s);
        if (s.target == kServiceRunning) st.dwCurrentState = kServiceStartPending;
        if (s.target == kServiceStopped) st.dwCurrentState = kServiceStopPending;
        st.dwWaitHint = s.target ? s.config.wait_hint_ms : 0;
        return st;
    }

    SimSystemApi& api_;
    std::string id_;
    uint32_t access_;
};

SimSystemApi::SimSystemApi(const SimMachine& machine, SimClock& clock)
    : system_(machine.system), clock_(clock), registry_(machine.system.registry) {
    if (system_.temp_dir.empty()) system_.temp_dir = DefaultTemp();
    system_.temp_dir = WithSep(system_.temp_dir);
    std::string base = system_.temp_dir + "orvane-sim";
    if (system_.system_dir.empty()) system_.system_dir = base + kSep + "system32";
    if (system_.windows_dir.empty()) system_.windows_dir = base + kSep + "windows";
    if (system_.program_data_dir.empty()) system_.program_data_dir = base + kSep + "programdata";
    std::error_code ec;
    fs::create_directories(system_.system_dir, ec);
    fs::create_directories(system_.windows_dir, ec);
    fs::create_directories(system_.program_data_dir, ec);
    // 64-bit Windows has the folder for 32-bit system files; 32-bit Windows has not.
    if (system_.architecture == kArchAMD64 || system_.architecture == kArchIA64)
        fs::create_directories(fs::path(system_.windows_dir) / "SysWOW64", ec);

    for (const auto& [id, config] : system_.services) {
        ServiceRun run;
        run.config = config;
        run.state = config.state;
        // A service the machine file shows mid-change finishes that change in its configured time.
        if (config.state == kServiceStartPending) {
            run.state = kServiceStopped;
            run.target = kServiceRunning;
            run.until = config.start_seconds ? clock_.Now() + *config.start_seconds
                                             : std::numeric_limits<double>::infinity();
        } else if (config.state == kServiceStopPending) {
            run.state = kServiceRunning;
            run.target = kServiceStopped;
            run.until = config.stop_seconds ? clock_.Now() + *config.stop_seconds
                                            : std::numeric_limits<double>::infinity();
        }
        services_[id] = run;
    }
}

uint32_t SimSystemApi::Settle(ServiceRun& s) {
    if (s.target != 0 && clock_.Now() >= s.until) {
        s.state = s.target;
        s.target = 0;
    }
    return s.state;
}

bool SimSystemApi::GetVersionEx(OsVersion& out) {
    if (system_.extended_query_fails) return false;
    out = system_.version;
    return true;
}

bool SimSystemApi::GetTrueVersion(OsVersion& out) {
    if (system_.extended_query_fails && system_.basic_query_fails) return false;
    out = system_.version;
    return true;
}

void SimSystemApi::KeepAwake(bool on) { keep_awake_calls.push_back(on); }

bool SimSystemApi::GetVersionBasic(OsVersion& out) {
    if (system_.basic_query_fails) return false;
    // OSVERSIONINFOA has no service-pack numbers, suite mask or product type.
    out = OsVersion{};
    out.dwMajorVersion = system_.version.dwMajorVersion;
    out.dwMinorVersion = system_.version.dwMinorVersion;
    out.dwBuildNumber = system_.version.dwBuildNumber;
    out.dwPlatformId = system_.version.dwPlatformId;
    out.szCSDVersion = system_.version.szCSDVersion;
    return true;
}

uint16_t SimSystemApi::ProcessorArchitecture() { return system_.architecture; }
bool SimSystemApi::IsServerR2() { return system_.server_r2; }
Wow64 SimSystemApi::IsWow64Process() { return system_.wow64; }
AdminCheck SimSystemApi::CheckAdministrators() { return system_.admin; }

std::string SimSystemApi::TempPath() { return system_.temp_dir; }
// The program sees the Windows names; HostPath maps them onto the machine's host folders.
std::string SimSystemApi::SystemDirectory() { return WindowsDirectory() + "\\System32"; }
std::string SimSystemApi::WindowsDirectory() { return std::string(1, system_.system_drive) + ":\\Windows"; }

std::string SimSystemApi::HostPath(const std::string& windows_path) const {
    std::string path = windows_path;
    // The longer name first: the system directory lies inside the Windows directory.
    const std::string windows = std::string(1, system_.system_drive) + ":\\Windows";
    // The file system redirection of a 32-bit process on 64-bit Windows.
    const std::string system_host = system_.wow64 == Wow64::Yes
                                        ? WithSep(system_.windows_dir) + "SysWOW64"
                                        : system_.system_dir;
    const std::string program_data = std::string(1, system_.system_drive) + ":\\ProgramData";
    for (const auto& [name, host] : {std::pair{windows + "\\System32", system_host},
                                     std::pair{windows, system_.windows_dir},
                                     std::pair{program_data, system_.program_data_dir}}) {
        const bool inside = path.size() >= name.size() && text::EqualsNoCase(path.substr(0, name.size()), name) &&
                            (path.size() == name.size() || path[name.size()] == '\\' || path[name.size()] == '/');
        if (inside) {
            path = host + path.substr(name.size());
            break;
        }
    }
#ifdef _WIN32
    return path;
#else
    // The program builds Windows paths ("<system dir>\FW.bin"); the host wants '/'.
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
#endif
}

bool SimSystemApi::AppendText(const std::string& path, const std::string& text) {
    return StdioAppend(HostPath(path), text, "a");
}

bool SimSystemApi::Unwritable(const std::string& path) const {
    const size_t cut = path.find_last_of("\\/");
    const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    for (const auto& n : system_.unwritable_files)
        if (text::EqualsNoCase(n, name)) return true;
    return false;
}

bool SimSystemApi::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (Unwritable(path)) return false;
    return StdioWrite(HostPath(path), bytes);
}

bool SimSystemApi::RemoveFile(const std::string& path) {
    std::error_code ec;
    // DeleteFileA leaves folders alone.
    if (fs::is_directory(HostPath(path), ec)) return false;
    fs::remove(HostPath(path), ec);
    return !ec;
}

bool SimSystemApi::ReplaceFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    // As MoveFileExA: a folder is never replaced.
    if (fs::is_directory(HostPath(to), ec)) return false;
    fs::rename(HostPath(from), HostPath(to), ec);
    return !ec;
}

bool SimSystemApi::StartHidden(const std::string& program, const std::string& parameters) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (system_.start_fails) return false;
    started.push_back(Started{program, parameters});
    return true;
}

bool SimSystemApi::EnableShutdownPrivilege() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++shutdown_privilege_enabled;
    return system_.forced_exit != ExitResult::TokenFailed && system_.forced_exit != ExitResult::PrivilegeFailed;
}

bool SimSystemApi::Is64BitProcess() {
    return (system_.architecture == kArchAMD64 || system_.architecture == kArchIA64) && system_.wow64 != Wow64::Yes;
}

std::optional<std::vector<uint8_t>> SimSystemApi::ReadFile(const std::string& path) {
    return StdioRead(HostPath(path));
}

bool SimSystemApi::RegKeyExists(const std::string& path) {
    std::string id = RegKeyId(path);
    if (id.empty()) return true;
    std::lock_guard<std::mutex> lock(mutex_);
    // A key exists when it or any key below it is described.
    auto it = registry_.lower_bound(id);
    return it != registry_.end() && (it->first == id || it->first.compare(0, id.size() + 1, id + "\\") == 0);
}

std::optional<std::string> SimSystemApi::RegQueryString(const std::string& path, const std::string& name,
                                                        size_t max_bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = registry_.find(RegKeyId(path));
    if (it == registry_.end()) return std::nullopt;
    const SimRegValue* v = FindValue(it->second, name);
    if (!v || v->bytes.size() > max_bytes) return std::nullopt;  // ERROR_MORE_DATA
    std::string s(v->bytes.begin(), v->bytes.end());
    return s.substr(0, s.find('\0'));
}

RegWrite SimSystemApi::RegSetMultiSz(const std::string& path, const std::string& name,
                                     const std::vector<uint8_t>& bytes) {
    if (!RegKeyExists(path)) return RegWrite::OpenFailed;
    if (system_.registry_write_fails) return RegWrite::WriteFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    SimRegKey& key = registry_[RegKeyId(path)];
    if (key.path.empty()) key.path = path;
    for (auto it = key.values.begin(); it != key.values.end(); ++it)
        if (text::ToLower(it->first) == text::ToLower(name)) {
            key.values.erase(it);
            break;
        }
    key.values[name] = SimRegValue{SimRegValue::kMultiSz, bytes};
    return RegWrite::Ok;
}

RegRead SimSystemApi::RegQueryMultiSz(const std::string& path, const std::string& name, std::vector<uint8_t>& out) {
    out.clear();
    if (!RegKeyExists(path)) return RegRead::KeyMissing;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = registry_.find(RegKeyId(path));
    // A key that exists only as the parent of described keys has no values.
    if (it == registry_.end()) return RegRead::ValueMissing;
    const SimRegValue* v = FindValue(it->second, name);
    if (!v) return RegRead::ValueMissing;
    if (v->type != SimRegValue::kMultiSz) return RegRead::WrongType;
    out = v->bytes;
    return RegRead::Ok;
}

RegWrite SimSystemApi::RegDeleteValue(const std::string& path, const std::string& name) {
    if (!RegKeyExists(path)) return RegWrite::OpenFailed;
    if (system_.registry_write_fails) return RegWrite::WriteFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = registry_.find(RegKeyId(path));
    if (it == registry_.end()) return RegWrite::Ok;
    for (auto v = it->second.values.begin(); v != it->second.values.end(); ++v)
        if (text::ToLower(v->first) == text::ToLower(name)) {
            it->second.values.erase(v);
            break;
        }
    return RegWrite::Ok;
}

std::vector<uint8_t> MultiSzBytes(const std::vector<std::string>& strings) {
    std::vector<uint8_t> out;
    for (const std::string& e : strings) {
        out.insert(out.end(), e.begin(), e.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

std::vector<std::string> MultiSzStrings(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < bytes.size() && bytes[i] != 0) {
        size_t j = i;
        while (j < bytes.size() && bytes[j] != 0) ++j;
        out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.begin() + static_cast<std::ptrdiff_t>(j));
        i = j + 1;
    }
    return out;
}

std::map<std::string, SimRegKey> SimSystemApi::Registry() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return registry_;
}

nlohmann::json SimSystemApi::RegistryJson() const {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [id, key] : Registry()) {
        nlohmann::json values = nlohmann::json::object();
        for (const auto& [name, v] : key.values) {
            if (v.type == SimRegValue::kMultiSz) {
                values[name] = MultiSzStrings(v.bytes);
            } else {
                std::string s(v.bytes.begin(), v.bytes.end());
                values[name] = s.substr(0, s.find('\0'));
            }
        }
        out[key.path.empty() ? id : key.path] = values;
    }
    return out;
}

std::optional<SimRegValue> SimSystemApi::RegValue(const std::string& path, const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = registry_.find(RegKeyId(path));
    if (it == registry_.end()) return std::nullopt;
    const SimRegValue* v = FindValue(it->second, name);
    if (!v) return std::nullopt;
    return *v;
}

std::unique_ptr<ServiceHandle> SimSystemApi::OpenService(const std::string& name, uint32_t access) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string id = text::ToLower(name);
    if (!services_.count(id)) return nullptr;
    ++open_services_;
    return std::make_unique<SimServiceHandle>(*this, id, access);
}

uint32_t SimSystemApi::ServiceState(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = services_.find(text::ToLower(name));
    if (it == services_.end()) return 0;
    const ServiceRun& s = it->second;
    if (s.target == 0) return s.state;
    if (clock_.Now() >= s.until) return s.target;
    return s.target == kServiceRunning ? kServiceStartPending : kServiceStopPending;
}

int SimSystemApi::OpenServiceHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_services_;
}

ExitResult SimSystemApi::ForcedExit(ExitKind kind) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        exit_requests.push_back(kind);
        exit_direct.push_back(false);
    }
    if (on_forced_exit) on_forced_exit(kind);
    return system_.forced_exit;
}

bool SimSystemApi::ExitWindowsForced(ExitKind kind) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        exit_requests.push_back(kind);
        exit_direct.push_back(true);
    }
    if (on_forced_exit) on_forced_exit(kind);
    // No token or privilege on this route: only the exit call itself can fail.
    return system_.forced_exit != ExitResult::ExitFailed;
}

bool SimSystemApi::MutexExists(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mutexes_.count(name)) return true;
    for (const auto& n : system_.instances_running)
        if (n == name) return true;
    return false;
}

bool SimSystemApi::CreateMutex(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    mutexes_.insert(name);
    return true;
}

std::string SimSystemApi::ModuleFileName() {
    if (!system_.module_file.empty()) return system_.module_file;
#ifdef _WIN32
    // The C runtime's copy of the program path; the sim core stays free of <windows.h>.
    const char* p = _pgmptr;
    return p ? std::string(p) : std::string();
#else
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
#endif
}

LocalTime SimSystemApi::LocalTimeNow() {
    using namespace std::chrono;
    // The machine's clock when the program started (a fixed one keeps every run's log the same).
    const auto start = sys_seconds{seconds{ParseLocalTime(system_.local_time).value_or(0)}};
    const auto now = start + duration_cast<milliseconds>(duration<double>(clock_.Now() + start_shift_));
    const auto day = floor<days>(now);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> t{duration_cast<milliseconds>(now - day)};
    return LocalTime{static_cast<uint16_t>(static_cast<int>(ymd.year())), static_cast<uint16_t>(unsigned(ymd.month())),
                     static_cast<uint16_t>(unsigned(ymd.day())), static_cast<uint16_t>(t.hours().count()),
                     static_cast<uint16_t>(t.minutes().count()), static_cast<uint16_t>(t.seconds().count()),
                     static_cast<uint16_t>(t.subseconds().count())};
}

std::optional<double> SimSystemApi::SecondsSinceSystemStart() { return system_.uptime_seconds + uptime_shift_ + clock_.Now(); }

void SimSystemApi::Restart(double down_seconds, double boot_seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    start_shift_ += down_seconds + boot_seconds;
    uptime_shift_ = boot_seconds - system_.uptime_seconds - clock_.Now();
}

nlohmann::json SimSystemApi::ClockJson() {
    using namespace std::chrono;
    const double now = clock_.Now();
    const int64_t at = ParseLocalTime(system_.local_time).value_or(0) + static_cast<int64_t>(std::floor(now + start_shift_));
    return nlohmann::json{{"local_time", FormatLocalTime(at)},
                          {"uptime_seconds", std::floor(system_.uptime_seconds + uptime_shift_ + now)}};
}

std::string SimSystemApi::ProgramDataDirectory() { return std::string(1, system_.system_drive) + ":\\ProgramData"; }

bool SimSystemApi::MakeProtectedDirectory(const std::string& path) {
    // "No rights" is told by naming the folder among the unwritable files.
    if (Unwritable(path)) return false;
    std::error_code ec;
    fs::create_directories(HostPath(path), ec);
    if (ec || !fs::is_directory(HostPath(path), ec)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    protected_dirs.insert(text::ToLower(path));
    return true;
}

std::string SimSystemApi::ComputerName() { return system_.computer_name; }
int SimSystemApi::UtcOffsetMinutes() { return system_.utc_offset_minutes; }

}  // namespace orvane::platform::sim
