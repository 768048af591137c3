#include "app/run_result.h"

#include <cmath>

#include "orvane_version.h"
#include "text/format.h"

namespace orvane::app {

namespace outcome {
std::string Refused(std::string_view why) { return "refused: " + OneLine(why); }
std::string Failed(std::string_view why) { return "failed: " + OneLine(why); }
}  // namespace outcome

const char* ProgramVersion() { return ORVANE_VERSION; }

const char* ExitMeaning(int code) {
    switch (code) {
        case 0: return "success, or the drive already has the firmware";
        case 1: return "an error, or administrator rights are missing";
        case 2:
            return "an unattended package was started without a usable target, or the command line was refused "
                   "(a target the package does not take, an unknown argument with /S)";
        case 3: return "no eligible drive, a failed scan, or an erase-capable package refused on the boot drive";
        case 4: return "no firmware in the executable, or a malformed package (the message names the field)";
        case 7: return "an NVMe drive without the needed system support";
        case 8: return "a /C: argument that does not convert";
        case 9: return "another copy of the program is running; this one touched no drive";
        case 10: return "/VERIFY: an update is still pending (its drive awaits a restart or was not found yet)";
        case 11: return "refused on a low or critical battery with the charger unplugged: nothing was sent";
        default: return "unknown exit code";
    }
}

std::string IsoTime(const platform::LocalTime& t, int utc_offset_minutes) {
    const unsigned off = static_cast<unsigned>(utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes);
    return text::Format("%04u-%02u-%02uT%02u:%02u:%02u%c%02u:%02u", t.year, t.month, t.day, t.hour, t.minute,
                        t.second, utc_offset_minutes < 0 ? '-' : '+', off / 60, off % 60);
}

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7F) {
            // Drive texts are single bytes of no known code page: each byte stays one character.
            out += text::Format("\\u%04X", b);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string OneLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

namespace {

std::string OptionalString(const std::optional<std::string>& s) { return s ? JsonString(*s) : "null"; }

std::string Seconds(const std::optional<double>& s) {
    if (!s || !std::isfinite(*s) || *s < 0) return "null";
    return text::Format("%.3f", *s);
}

const char* Bool(bool b) { return b ? "true" : "false"; }

bool StartsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string DriveJson(const DriveResult& d) {
    const OutcomeWords w = WordsOf(d);
    std::string s = "    {\n";
    s += "      \"model\": " + JsonString(d.model) + ",\n";
    s += "      \"serial\": " + JsonString(d.serial) + ",\n";
    s += "      \"device\": " + JsonString(d.device) + ",\n";
    s += "      \"transport\": " + OptionalString(d.transport) + ",\n";
    s += "      \"revision_before\": " + JsonString(d.revision_before) + ",\n";
    s += "      \"target_revision\": " + OptionalString(d.target_revision) + ",\n";
    s += "      \"revision_after\": " + OptionalString(d.revision_after) + ",\n";
    s += "      \"outcome\": " + JsonString(w.outcome) + ",\n";
    s += "      \"detail\": " + JsonString(w.detail) + ",\n";
    s += std::string("      \"restart_required\": ") + Bool(d.restart_required) + ",\n";
    s += std::string("      \"restart_requested\": ") + Bool(d.restart_requested) + ",\n";
    s += "      \"history_state\": " + OptionalString(d.history_state) + ",\n";
    s += "      \"duration_seconds\": " + Seconds(d.duration_seconds) + "\n";
    return s + "    }";
}

std::string VerificationJson(const VerificationResult& v) {
    std::string s = "    {\n";
    s += "      \"update_time\": " + JsonString(v.update_time) + ",\n";
    s += "      \"model\": " + JsonString(v.model) + ",\n";
    s += "      \"serial\": " + JsonString(v.serial) + ",\n";
    s += "      \"target_revision\": " + JsonString(v.target_revision) + ",\n";
    s += "      \"revision_found\": " + OptionalString(v.revision_found) + ",\n";
    s += "      \"state\": " + JsonString(v.state) + ",\n";
    s += "      \"detail\": " + JsonString(v.detail) + ",\n";
    s += text::Format("      \"starts_without_drive\": %d\n", v.starts_without_drive);
    return s + "    }";
}

template <typename T, typename F>
std::string Array(const std::vector<T>& items, F one) {
    std::string s = "[";
    for (size_t i = 0; i < items.size(); ++i) s += (i ? ",\n" : "\n") + one(items[i]);
    return s + (items.empty() ? "]" : "\n  ]");
}

}  // namespace

OutcomeWords WordsOf(const DriveResult& d) {
    const std::string& o = d.outcome;
    if (StartsWith(o, "refused: ")) return {"refused", o.substr(9)};
    if (StartsWith(o, "failed: ")) return {"failed", o.substr(8)};
    if (o == outcome::kNotFoundAgain) {
        // Sent and never read back: what became of it is known only when the drive is seen again.
        return {"pending", d.pending_why.empty() ? "not found again after the download" : d.pending_why};
    }
    if (o == outcome::kPending) return {"pending", d.pending_why};
    if (o == outcome::kAlreadyLatest) return {"already_latest", ""};
    if (o == outcome::kBootPrepared) return {"boot_prepared", d.pending_why};
    if (o == outcome::kNotUpdated) return {d.reason == not_updated::kDeclined ? "declined" : "not_updated", d.reason};
    return {o, ""};  // "updated", "verified", "erased"
}

std::string ResultJson(const RunResult& r) {
    std::string s = "{\n";
    s += text::Format("  \"schema\": %d,\n", kResultSchema);
    s += "  \"run\": " + JsonString(r.run) + ",\n";
    s += "  \"program_version\": " + JsonString(r.program_version) + ",\n";
    s += "  \"package_version\": " + JsonString(r.package_version) + ",\n";
    s += "  \"host_name\": " + JsonString(r.host_name) + ",\n";
    s += text::Format("  \"exit_code\": %d,\n", r.exit_code);
    s += "  \"exit_meaning\": " + JsonString(ExitMeaning(r.exit_code)) + ",\n";
    s += "  \"start_time\": " + JsonString(IsoTime(r.start, r.utc_offset_minutes)) + ",\n";
    s += "  \"end_time\": " + JsonString(IsoTime(r.end, r.utc_offset_minutes)) + ",\n";
    s += "  \"drives\": " + Array(r.drives, DriveJson) + ",\n";
    s += "  \"verification\": " + Array(r.verification, VerificationJson) + "\n";
    return s + "}\n";
}

}  // namespace orvane::app
