#include "pack/pack_tool.h"

#include <exception>

#include "pack/block_locator.h"
#include "pack/build_report.h"
#include "pack/file_io.h"
#include "pack/manifest.h"
#include "pack/pack_error.h"
#include "pack/package_writer.h"
#include "pack/pe_image.h"
#include "pack/sign.h"
#include "package/package_info.h"
#include "package/package_json.h"
#include "orvane_version.h"

namespace orvane::pack {
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: orvane-pack build --manifest MANIFEST.json --base PROGRAM --out PACKED\n"
    "       orvane-pack show PROGRAM\n"
    "       orvane-pack sign --in PACKED --out SIGNED (--pkcs12 CERT.p12 [--pass-file FILE] |\n"
    "                        --cert CERT.pem --key KEY.pem [--pass-file FILE]) [--ca CA.pem]\n"
    "                        [--timestamp URL]... [--legacy-timestamp URL]...\n"
    "       orvane-pack --version | --help\n"
    "build writes the manifest's package into a copy of a built Orvane program and prints one\n"
    "line per slot (image size, new revision, DEF text, SHA-256 of the plain image);\n"
    "show prints the package a program carries, as JSON, with each slot image's SHA-256.\n"
    "sign signs a packed program with osslsigncode (SHA-256) and keeps the result only if\n"
    "osslsigncode verify passes (against --ca, else the system's roots). Pack first, then sign:\n"
    "build removes a signature the base program carries.\n"
    "The boot-time flashers and copy programs go in by slot tag in the manifest's \"aux\" map\n"
    "(e.g. \"EXE_WIN7_X64\": \"flash/w7x64.exe\"): the build's stand-ins or the real ones.\n";

struct UsageError {
    std::string message;
};

BuildReport BuildCommand(const std::vector<std::string>& args, std::string& out_name, std::ostream& notes) {
    std::string manifest, base, out;
    for (size_t i = 1; i < args.size(); i += 2) {
        std::string* target = args[i] == "--manifest" ? &manifest
                              : args[i] == "--base"   ? &base
                              : args[i] == "--out"    ? &out
                                                      : nullptr;
        if (target == nullptr) throw UsageError{"unknown argument \"" + args[i] + "\""};
        if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{args[i] + " needs a file name"};
        if (!target->empty()) throw UsageError{args[i] + " given twice"};
        *target = args[i + 1];
    }
    if (manifest.empty() || base.empty() || out.empty())
        throw UsageError{"build needs --manifest, --base and --out"};
    out_name = out;
    return BuildPackage(manifest, base, out, &notes);
}

void SignCommand(const std::vector<std::string>& args, std::ostream& out) {
    SignRequest r;
    for (size_t i = 1; i < args.size(); i += 2) {
        const std::string& flag = args[i];
        if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError{flag + " needs a value"};
        const std::string& value = args[i + 1];
        if (flag == "--timestamp") {
            r.timestamp_urls.push_back(value);
            continue;
        }
        if (flag == "--legacy-timestamp") {
            r.legacy_timestamp_urls.push_back(value);
            continue;
        }
        fs::path* target = flag == "--in"          ? &r.in
                           : flag == "--out"       ? &r.out
                           : flag == "--pkcs12"    ? &r.pkcs12
                           : flag == "--pass-file" ? &r.pass_file
                           : flag == "--cert"      ? &r.cert
                           : flag == "--key"       ? &r.key
                           : flag == "--ca"        ? &r.ca
                                                   : nullptr;
        if (target == nullptr) throw UsageError{"unknown argument \"" + flag + "\""};
        if (!target->empty()) throw UsageError{flag + " given twice"};
        *target = value;
    }
    if (r.in.empty() || r.out.empty()) throw UsageError{"sign needs --in and --out"};
    if (r.pkcs12.empty() == (r.cert.empty() && r.key.empty()))
        throw UsageError{"sign needs either --pkcs12 or --cert with --key"};
    SignProgram(r, out);
}

// LocateBlock's refusal, with the file it refused.
size_t LocateIn(const std::vector<uint8_t>& file, const std::string& what, const fs::path& name) {
    try {
        return LocateBlock(file);
    } catch (const PackError& e) {
        throw PackError(what + " " + name.string() + ": " + e.what());
    }
}

}  // namespace

BuildReport BuildPackage(const fs::path& manifest_file, const fs::path& base, const fs::path& out, std::ostream* notes) {
    std::error_code ec;
    if (fs::exists(out, ec) && fs::equivalent(out, base, ec))
        throw PackError("the output " + out.string() + " is the base program itself; the base is never changed");
    const Manifest manifest = LoadManifest(manifest_file);
    std::vector<uint8_t> file = ReadFileBytes(base, "base program");
    // Packing changes signed bytes: a signature the base carries would no longer match.
    std::optional<PeLayout> pe;
    try {
        pe = ReadPeLayout(file);
        if (pe && StripCertificateTable(file, *pe) && notes != nullptr)
            *notes << "orvane-pack: the base program was signed; its signature was removed (packing would "
                      "break it): sign the packed program\n";
    } catch (const PackError& e) {
        throw PackError("base program " + base.string() + ": " + e.what());
    }
    const size_t block = LocateIn(file, "base program", base);
    const PackPlan plan = WritePackage(file.data() + block, manifest);
    try {
        if (LocateBlock(file) != block) throw PackError("the package block moved");
    } catch (const PackError& e) {
        throw PackError(std::string("the packed program could not be packed or shown again (an image or "
                                    "auxiliary executable holding a marker text?): ") + e.what());
    }
    CheckWrittenPackage(file.data() + block, plan);
    const package::ParseResult written = package::ParsePackage(file.data() + block, file.size() - block);
    const BuildReport report{SlotSummaryLines(manifest, written.info), PackageWarnings(written.info)};
    if (pe) WritePeChecksum(file, *pe);  // last: it covers every byte before it

    fs::path partial = out;
    partial += ".partial";
    try {
        WriteFileBytes(partial, file);
        if (ReadFileBytes(partial, "packed program") != file)
            throw PackError("the packed program " + partial.string() + " does not read back as written");
        fs::permissions(partial, fs::status(base).permissions(), fs::perm_options::replace);
        fs::rename(partial, out);
    } catch (const fs::filesystem_error& e) {
        fs::remove(partial, ec);
        throw PackError("cannot write " + out.string() + ": " + e.code().message());
    } catch (...) {
        fs::remove(partial, ec);
        throw;
    }
    return report;
}

std::string ShowPackage(const fs::path& file_name) {
    const std::vector<uint8_t> file = ReadFileBytes(file_name, "program");
    const size_t block = LocateIn(file, "program", file_name);
    const package::ParseResult r = package::ParsePackage(file.data() + block, file.size() - block);
    if (!r.ok) throw PackError("the package in " + file_name.string() + " does not read: " + r.error);
    nlohmann::json j = package::DescribePackage(r.info);
    for (size_t n = 0; n < j["slots"].size(); ++n) j["slots"][n]["sha256"] = SlotImageDigest(r.info, static_cast<int>(n));
    return j.dump(2) + "\n";
}

int RunPackTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
            out << kUsage;
            return 0;
        }
        if (args.size() == 1 && args[0] == "--version") {
            out << "orvane-pack " << ORVANE_VERSION << "\n";
            return 0;
        }
        if (args.empty()) throw UsageError{"no command given"};
        if (args[0] == "build") {
            std::string out_name;
            const BuildReport report = BuildCommand(args, out_name, err);
            for (const std::string& w : report.warnings) err << "orvane-pack: warning: " << w << "\n";
            for (const std::string& line : report.slot_lines) out << line << "\n";
            out << "written: " << out_name << "\n";
        } else if (args[0] == "sign") {
            SignCommand(args, out);
        } else if (args[0] == "show") {
            if (args.size() != 2) throw UsageError{"show takes one file"};
            out << ShowPackage(args[1]);
        } else {
            throw UsageError{"unknown command \"" + args[0] + "\""};
        }
        return 0;
    } catch (const UsageError& e) {
        err << "orvane-pack: " << e.message << "\n" << kUsage;
        return 2;
    } catch (const PackError& e) {
        err << "orvane-pack: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        err << "orvane-pack: failed: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace orvane::pack
