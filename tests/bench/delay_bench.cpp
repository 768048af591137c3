// What waiting costs: N delays of M ms on the window thread's timer, CPU used against wall time.
// Natively it runs on the simulated machine's clock and pump at real-time speed (as orvane-sim
// does); on Windows on the real counter and message queue. Prints one JSON object.
//   delay_bench [--sleep] [COUNT [MS]]
// --sleep measures plain sleeps of the same length instead, the reference.
// Natively it also measures another program to the microsecond (the shell's tools count in
// 10 ms ticks); the program's output goes to standard error:
//   delay_bench --run PROGRAM ARGS...
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/message_pump.h"
#include "system/hi_timer.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_message_pump.h"
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_message_pump.h"
#endif

namespace {

#ifndef _WIN32
double Seconds(timeval t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

#endif

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
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
#endif
}

#ifndef _WIN32
int RunAndMeasure(char** argv) {
    auto wall0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
        dup2(2, 1);  // its output apart from the measurement
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage u{};
    if (wait4(pid, &status, 0, &u) != pid) return 1;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    double cpu = Seconds(u.ru_utime) + Seconds(u.ru_stime);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("{\"where\": \"%s\", \"exit_code\": %d, \"wall_s\": %.4f, \"cpu_s\": %.6f, \"cpu_fraction\": %.4f, "
                "\"minor_faults\": %ld}\n",
                argv[0], code, wall, cpu, wall > 0 ? cpu / wall : 0, u.ru_minflt);
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    if (argc > 2 && std::string(argv[1]) == "--run") return RunAndMeasure(argv + 2);
#endif
    bool plain = argc > 1 && std::string(argv[1]) == "--sleep";
    if (plain) {
        --argc;
        ++argv;
    }
    int count = argc > 1 ? std::atoi(argv[1]) : 200;
    double ms = argc > 2 ? std::atof(argv[2]) : 10.0;
    if (count <= 0 || !(ms > 0)) {
        std::fprintf(stderr, "usage: delay_bench [--sleep] [COUNT [MS]]\n");
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
        if (plain)
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
        else
            timer.DelayMs(ms);
        double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        double late = took - ms;
        if (late < -0.01 && !plain) {  // the reference is not ours to judge
            std::fprintf(stderr, "delay %d ended %.3f ms early\n", i, -late);
            return 1;
        }
        late_sum += late;
        if (late > late_max) late_max = late;
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    double cpu = CpuSeconds() - cpu0;
    std::printf(
        "{\"where\": \"%s%s\", \"delays\": %d, \"delay_ms\": %.3f, \"wall_s\": %.4f, \"cpu_s\": %.4f, "
        "\"cpu_fraction\": %.4f, \"late_mean_ms\": %.4f, \"late_max_ms\": %.4f}\n",
        where, plain ? " sleep" : "", count, ms, wall, cpu, wall > 0 ? cpu / wall : 0, late_sum / count, late_max);
    return 0;
}
