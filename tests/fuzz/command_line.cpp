// The program's command line: one argument per input line; the first byte picks whether the
// package is an unattended one.
#include <cstdlib>

#include "app/command_line.h"
#include "fuzz/fuzz_input.h"

using namespace orvane::app;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvane::fuzz::FuzzInput in(data, size);
    bool unattended = in.Byte() & 1;
    std::vector<std::string> args;
    while (in.left() > 0 && args.size() < 64) args.push_back(in.Line());
    CommandLine cl = ParseCommandLine(args, unattended);
    // A refused command line ends the run and names one of its arguments; nothing in it is a target.
    if (!cl.refusal.empty()) {
        bool named = false;
        for (const std::string& a : args) named = named || cl.refusal.find('"' + a + '"') != std::string::npos;
        if (!named || cl.errorLevel != 2 || !cl.closing || !cl.devPath.empty() || cl.gScanType != 0) std::abort();
    }
    for (const std::string& a : args) {
        (void)HexTextToInt64(a, 16);
        (void)HexTextToInt64(a, 10);
        if (Trim(a).size() > a.size()) std::abort();
    }
    return 0;
}
