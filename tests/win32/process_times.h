#pragma once
// The processor time this process has used, for the tests of what waiting costs.
#include <windows.h>

#include <cstdint>

namespace orvane::test {

inline double ProcessCpuSeconds() {
    FILETIME create, exit, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &create, &exit, &kernel, &user);
    auto secs = [](FILETIME f) {
        return static_cast<double>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return secs(kernel) + secs(user);
}

}  // namespace orvane::test
