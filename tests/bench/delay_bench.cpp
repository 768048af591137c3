// What waiting costs: N delays of M ms on the window thread's timer, CPU used against wall time.
// Natively it runs on the simulated machine's clock and pump at real-time speed (as orvane-sim
// does); on Windows on the real counter and message queue. Prints one JSON object.
//   delay_bench [COUNT [MS]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/clock.h"
#include "platform/message_pump.h"
#include "system/hi_timer.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_message_pump.h"
#else
#include <sys/resource.h>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_message_pump.h"
#endif

namespace {

double CpuSeconds() {
#ifdef _WIN32
    FILETIME create, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &create, &exit, &kernel, &user)) return 0;
    auto secs = [](FILETIME f) {
        return static_cast<double>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return secs(kernel) + secs(user);
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto secs = [](timeval t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return secs(u.ru_utime) + secs(u.ru_stime);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 200;
    double ms = argc > 2 ? std::atof(argv[2]) : 10.0;
    if (count <= 0 || !(ms > 0)) {
        std::fprintf(stderr, "usage: delay_bench [COUNT [MS]]\n");
        return 2;
    }
#ifdef _WIN32
    const char* where = "win32";
    orvane::platform::win32::Win32Clock clock;
    orvane::platform::win32::Win32MessagePump pump;
#else
    const char* where = "native";
    orvane::platform::sim::SimClock clock(1.0);
    orvane::platform::sim::SimMessagePump pump(clock);
#endif
    orvane::system::HiTimer timer(clock, &pump);

    double late_max = 0, late_sum = 0;
    double cpu0 = CpuSeconds();
    auto wall0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        timer.DelayMs(ms);
        double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        double late = took - ms;
        if (late < -0.01) {
            std::fprintf(stderr, "delay %d ended %.3f ms early\n", i, -late);
            return 1;
        }
        late_sum += late;
        if (late > late_max) late_max = late;
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    double cpu = CpuSeconds() - cpu0;
    std::printf(
        "{\"where\": \"%s\", \"delays\": %d, \"delay_ms\": %.3f, \"wall_s\": %.4f, \"cpu_s\": %.4f, "
        "\"cpu_fraction\": %.4f, \"late_mean_ms\": %.4f, \"late_max_ms\": %.4f}\n",
        where, count, ms, wall, cpu, wall > 0 ? cpu / wall : 0, late_sum / count, late_max);
    return 0;
}
