#pragma once
#include <string>

namespace orvane::text {

#ifdef __MINGW32__
#define ORVANE_PRINTF_FORMAT gnu_printf
#else
#define ORVANE_PRINTF_FORMAT printf
#endif

// printf-style formatting into a std::string: the log lines are written with format strings.
std::string Format(const char* fmt, ...) __attribute__((format(ORVANE_PRINTF_FORMAT, 1, 2)));

}  // namespace orvane::text
