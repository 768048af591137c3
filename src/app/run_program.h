#pragma once
#include "app/orvane_main.h"

namespace orvane::app {

// The program's entry after its platform and view exist: construct the main window
// (the start-up), raise its events, run the message loop, and return the exit code.
int RunProgram(AppContext& ctx);

}  // namespace orvane::app
