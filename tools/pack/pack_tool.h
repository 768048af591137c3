#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace orvane::pack {

// What a build tells its user: one line per slot (build_report.h), and warnings.
struct BuildReport {
    std::vector<std::string> slot_lines;
    std::vector<std::string> warnings;
};

// Packs the manifest into a copy of base written to out; base is never changed, and out
// appears only once the packed copy has been written, read back and checked.
// A signature the base carries is removed (noted on notes) and the PE checksum written anew.
// Throws PackError.
BuildReport BuildPackage(const std::filesystem::path& manifest, const std::filesystem::path& base,
                         const std::filesystem::path& out, std::ostream* notes = nullptr);

// The description of the package that file carries, as pretty JSON, each slot with the
// "sha256" of its image as the program flashes it (deciphered). Throws PackError.
std::string ShowPackage(const std::filesystem::path& file);

// The command line (without the program name). Exit code: 0 done, 1 refused or failed, 2 usage.
int RunPackTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace orvane::pack
