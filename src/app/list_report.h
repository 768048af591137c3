#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "app/orvane_main.h"

namespace orvane::app {

// "/LIST" among the arguments, in any case.
bool WantsListReport(const std::vector<std::string>& args);

// The disk report a support engineer asks for first: enumerate, then every disk node to `out`
// and to the debug log, each with the transport open_device chooses and the identify texts.
// Beyond the read-only queries only IDENTIFY reaches a drive (no vendor command); no window.
// Returns the exit code (0).
int RunListReport(AppContext& ctx, std::FILE* out = stdout);

}  // namespace orvane::app
