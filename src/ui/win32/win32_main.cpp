// Orvane.exe: the program on the real machine, with its window.
#include "ui/win32/win32_view.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/run_program.h"
#include "package/package_block.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_message_pump.h"
#include "platform/win32/win32_system_api.h"

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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace orvane;
    platform::win32::Win32SystemApi system;
    platform::win32::Win32Clock clock;
    platform::win32::Win32MessagePump pump;
    platform::Platform plat{system, clock, pump};
    ui::Win32View view(instance);
    app::AppContext ctx{plat, view, package::PackageBlockBytes(), package::PackageBlockSize(), ProgramArguments()};
    return app::RunProgram(ctx);
}
