#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace orvane::pack {

// What `orvane-pack sign` signs with. Either pkcs12 (optionally with pass_file), or cert and key.
struct SignRequest {
    std::filesystem::path in, out;
    std::filesystem::path pkcs12, pass_file, cert, key;
    std::filesystem::path ca;                  // trusted roots for the check; empty: the system's
    std::vector<std::string> timestamp_urls;   // RFC 3161 time-stamp servers
    std::vector<std::string> legacy_timestamp_urls;  // Authenticode (pre-RFC 3161) servers
};

// Signs a packed program with osslsigncode (Authenticode, SHA-256) and checks the result with
// `osslsigncode verify`; out appears only once that check passed. The password is handed over
// as a file name only. Throws PackError; on Windows it refuses (signtool does it there).
void SignProgram(const SignRequest& request, std::ostream& out);

}  // namespace orvane::pack
