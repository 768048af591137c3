#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::app {

// Hexadecimal (base 16, at most 16 digits, read in two-digit pieces from the end) or
// decimal (base 10) text to a 64-bit value; nothing when the text does not convert.
std::optional<uint64_t> HexTextToInt64(const std::string& text, int base);

// What the command line asks for; the window copies it into its state.
struct CommandLine {
    bool bSilent = false;
    bool bEraseAll = false;
    bool bVerify = false;  // "/VERIFY": only decide the pending updates of earlier runs
    std::string devPath;
    int gScanType = 0;
    int scsiPort = 0;
    int csmiIndex = 0;
    int csmiPort = 0;
    uint64_t sasAddr = 0;
    int errorLevel = -1;   // -1: leave the exit code as it is
    bool closing = false;  // the program is to end
    std::vector<std::string> log;  // debug-log lines, in order
    // Why the run must end before any drive is touched (a target the package does not take, an
    // unknown argument with "/S"), naming the argument; empty when it may go on.
    std::string refusal;
};

// "/RESULT:<path>" (the prefix in any case): where the run's result document goes.
struct ResultArgument {
    int count = 0;     // how many there were; the last one counts
    std::string path;  // the rest of the last one, as given (may be empty)
};
// Takes every "/RESULT:" argument out of args, so that nothing after reads a path as a flag or
// a "/T:" or "/C:" target.
ResultArgument TakeResultArgument(std::vector<std::string>& args);

// "/RESULT:" is taken out before. Known: "/S", "/ERASE", "/LIST", "/VERIFY" (whole, any case) and, for an
// unattended package, any argument holding "/T:" or "/C:"; every other argument is logged.
CommandLine ParseCommandLine(const std::vector<std::string>& args, bool bUnattended);

// Blanks and control characters off both ends.
std::string Trim(const std::string& text);

}  // namespace orvane::app
