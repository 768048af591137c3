// Orvane.exe: the program on the real machine, with its window.
#include "ui/win32/win32_view.h"

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/list_report.h"
#include "app/run_program.h"
#include "package/package_block.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_device_tree.h"
#include "platform/win32/win32_message_pump.h"
#include "platform/win32/win32_storage_io.h"
#include "platform/win32/win32_system_api.h"
#include "platform/win32/win32_wmi.h"

namespace {

// Arguments in the system code page, as the rest of the program expects single-byte texts.
std::vector<std::string> ProgramArguments() {
    std::vector<std::string> out;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return out;
    for (int i = 1; i < argc; ++i) {
        int n = WideCharToMultiByte(CP_ACP, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string a(static_cast<size_t>(n > 0 ? n : 1), '\0');
        WideCharToMultiByte(CP_ACP, 0, argv[i], -1, a.data(), n, nullptr, nullptr);
        a.resize(a.size() - 1);
        out.push_back(a);
    }
    LocalFree(argv);
    return out;
}

// A file or pipe the caller gave as standard output (cmd's "> file", a pipe) stays as it is.
bool Redirected(DWORD which) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    DWORD type = GetFileType(h);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

// A window program has no console of its own: the report goes to the one it was started from.
// Without one it still reaches the debug log.
void UseParentConsole() {
    bool out = Redirected(STD_OUTPUT_HANDLE), err = Redirected(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace orvane;
    platform::win32::Win32SystemApi system;
    platform::win32::Win32Clock clock;
    platform::win32::Win32MessagePump pump;
    platform::win32::Win32StorageIo storage;
    platform::win32::Win32DeviceTree tree;
    platform::win32::Win32Wmi wmi;
    platform::Platform plat{system, clock, pump, &storage, &tree, &wmi};
    std::vector<std::string> args = ProgramArguments();
    const bool list = app::WantsListReport(args);
    // The disk report runs instead of the window.
    ui::Win32View view(instance, !list);
    if (list) UseParentConsole();
    app::AppContext ctx{plat, view, package::PackageBlockBytes(), package::PackageBlockSize(), std::move(args)};
    return app::RunProgram(ctx);
}
