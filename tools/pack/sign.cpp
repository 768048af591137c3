#include "pack/sign.h"

#include "pack/block_locator.h"
#include "pack/file_io.h"
#include "pack/pack_error.h"
#include "pack/pe_image.h"

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;
#endif

namespace orvane::pack {
namespace fs = std::filesystem;

#ifdef _WIN32

void SignProgram(const SignRequest&, std::ostream&) {
    throw PackError("sign is not available in the Windows build: sign the packed program with signtool "
                    "(signtool sign /fd SHA256 /f cert.pfx /tr URL /td SHA256 PACKED, then signtool verify /pa "
                    "PACKED), as the README describes");
}

#else

namespace {

constexpr const char* kSigner = "osslsigncode";

// The signer's full path from PATH, so that a missing one is named before anything runs.
fs::path FindSigner() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        fs::path candidate = fs::path(end > start ? dirs.substr(start, end - start) : ".") / kSigner;
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    throw PackError(std::string(kSigner) + " was not found on PATH: install the osslsigncode package "
                    "(e.g. apt-get install osslsigncode) to sign");
}

struct RunResult {
    bool ok = false;
    std::string output;  // standard output and error, interleaved
    std::string status;  // how it ended, for messages
};

// Runs the program with exactly these arguments (no shell), its input from /dev/null, and
// collects what it prints.
RunResult Run(const fs::path& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string name = program.string();
    argv.push_back(name.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw PackError(std::string("cannot make a pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        throw PackError("cannot run " + name + ": " + std::strerror(rc));
    }
    RunResult result;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, size_t(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.ok = WEXITSTATUS(status) == 0;
        result.status = "exit status " + std::to_string(WEXITSTATUS(status));
    } else {
        result.status = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status)) : "an unknown end";
    }
    return result;
}

std::string Indented(const std::string& text) {
    std::string out = "  ";
    for (char c : text) {
        out += c;
        if (c == '\n') out += "  ";
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
    return out;
}

void CheckRequest(const SignRequest& r) {
    const bool pkcs12 = !r.pkcs12.empty();
    const bool pem = !r.cert.empty() || !r.key.empty();
    if (pkcs12 == pem) throw PackError("sign needs either --pkcs12 or both --cert and --key");
    if (pem && (r.cert.empty() || r.key.empty())) throw PackError("--cert and --key go together");
    for (const fs::path* f : {&r.pkcs12, &r.pass_file, &r.cert, &r.key, &r.ca}) {
        std::error_code ec;
        if (!f->empty() && !fs::is_regular_file(*f, ec))
            throw PackError(f->string() + " does not exist or is not a file");
    }
    std::error_code ec;
    if (fs::exists(r.out, ec) && fs::equivalent(r.out, r.in, ec))
        throw PackError("the output " + r.out.string() + " is the input itself; the input is never changed");
}

}  // namespace

void SignProgram(const SignRequest& r, std::ostream& out) {
    CheckRequest(r);
    const std::vector<uint8_t> input = ReadFileBytes(r.in, "program");
    if (!ReadPeLayout(input)) throw PackError(r.in.string() + " is not a Windows program: nothing to sign");
    try {
        LocateBlock(input);
    } catch (const PackError& e) {
        throw PackError(r.in.string() + " is not a packed program: " + e.what());
    }
    const fs::path signer = FindSigner();

    fs::path partial = r.out;
    partial += ".partial";
    std::error_code ec;
    fs::remove(partial, ec);
    try {
        std::vector<std::string> sign = {"sign", "-h", "sha256"};
        if (!r.pkcs12.empty()) {
            sign.insert(sign.end(), {"-pkcs12", r.pkcs12.string()});
        } else {
            sign.insert(sign.end(), {"-certs", r.cert.string(), "-key", r.key.string()});
        }
        if (!r.pass_file.empty()) sign.insert(sign.end(), {"-readpass", r.pass_file.string()});
        for (const std::string& url : r.timestamp_urls) sign.insert(sign.end(), {"-ts", url});
        for (const std::string& url : r.legacy_timestamp_urls) sign.insert(sign.end(), {"-t", url});
        sign.insert(sign.end(), {"-in", r.in.string(), "-out", partial.string()});
        const RunResult signed_run = Run(signer, sign);
        if (!signed_run.ok)
            throw PackError("osslsigncode sign failed (" + signed_run.status + "):\n" + Indented(signed_run.output));

        // Our own look at what the signer wrote: a signed program that still carries its
        // package, with a checksum that holds (CheckSum lies outside the signed hash, so a
        // wrong one is corrected here without touching the signature, before the check).
        std::vector<uint8_t> result = ReadFileBytes(partial, "signed program");
        const std::optional<PeLayout> pe = ReadPeLayout(result);
        if (!pe || !pe->has_certificates())
            throw PackError("osslsigncode reported success but " + partial.string() + " carries no signature");
        try {
            LocateBlock(result);
        } catch (const PackError& e) {
            throw PackError(std::string("the signed program's package cannot be found: ") + e.what());
        }
        if (ComputePeChecksum(result, *pe) != StoredPeChecksum(result, *pe)) {
            WritePeChecksum(result, *pe);
            WriteFileBytes(partial, result);
        }

        std::vector<std::string> verify = {"verify"};
        if (!r.ca.empty()) verify.insert(verify.end(), {"-CAfile", r.ca.string()});
        verify.insert(verify.end(), {"-in", partial.string()});
        const RunResult verified = Run(signer, verify);
        if (!verified.ok)
            throw PackError("the signed program does not verify (osslsigncode verify: " + verified.status +
                            "); nothing written:\n" + Indented(verified.output));
        fs::permissions(partial, fs::status(r.in).permissions(), fs::perm_options::replace);
        fs::rename(partial, r.out);
    } catch (const fs::filesystem_error& e) {
        fs::remove(partial, ec);
        throw PackError("cannot write " + r.out.string() + ": " + e.code().message());
    } catch (...) {
        fs::remove(partial, ec);
        throw;
    }
    out << "orvane-pack: signed " << r.out.string() << " (osslsigncode verify passed)\n";
}

#endif

}  // namespace orvane::pack
