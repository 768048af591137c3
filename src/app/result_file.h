#pragma once
// Writing the run's result document: a path Windows would take, written whole or not at all.
#include <string>

#include "platform/system_api.h"

namespace orvane::app {

// The longest path accepted: its temporary twin must still fit in MAX_PATH (260 with the NUL).
inline constexpr size_t kMaxResultPath = 255;

// Why Windows would not write a file at this path ("" when it would): empty, too long, a
// character it refuses, a name it strips or takes for a device, a folder.
std::string ResultPathProblem(const std::string& path);

// Writes the document to "<path>.tmp" and renames it over path; a failed temporary is removed. ""
// when done, else why not; the target is then as it was.
std::string WriteResultFile(platform::SystemApi& api, const std::string& path, const std::string& document);

}  // namespace orvane::app
