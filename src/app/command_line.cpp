#include "app/command_line.h"

#include <cctype>

#include "app/debug_log.h"
#include "text/text.h"

namespace orvane::app {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal port number: optional sign, then digits, within int range.
std::optional<int> DecimalInt(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        v = v * 10 + (text[i] - '0');
        if (v > INT32_MAX) return std::nullopt;
    }
    return static_cast<int>(negative ? -v : v);
}

bool NamesTarget(const std::string& arg) {
    return arg.find("/T:") != std::string::npos || arg.find("/C:") != std::string::npos;
}

// Logs every argument that is neither a flag nor a target the package takes; the first one that
// must end the run (a target for a package that takes none, with "/S" an unknown argument) gives
// the refusal.
void CheckArguments(const std::vector<std::string>& args, bool bUnattended, CommandLine& cl) {
    for (const std::string& a : args) {
        const std::string up = text::ToUpper(a);
        if (up == "/S" || up == "/ERASE" || up == "/LIST" || up == "/VERIFY") continue;
        const std::string quoted = "\"" + a + "\"";
        if (NamesTarget(a)) {
            if (!bUnattended && cl.refusal.empty())
                cl.refusal = "The argument " + quoted +
                             " names a target, but only an unattended package takes one. Nothing was updated.";
            continue;
        }
        cl.log.push_back("COMMAND_LINE: unknown argument " + quoted + "\n");
        if (cl.bSilent && cl.refusal.empty()) cl.refusal = "Unknown argument " + quoted + ". Nothing was updated.";
    }
}

}  // namespace

std::string Trim(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return text.substr(b, e - b);
}

std::optional<uint64_t> HexTextToInt64(const std::string& text, int base) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    if (base == 10) {
        for (char c : text) {
            if (c < '0' || c > '9') return std::nullopt;
            uint64_t next = value * 10 + static_cast<uint64_t>(c - '0');
            if (next / 10 != value) return std::nullopt;
            value = next;
        }
        return value;
    }
    if (base != 16 || text.size() > 16) return std::nullopt;
    // Two-digit pieces from the end; piece k lands in bits 8k..8k+7.
    int k = 0;
    for (size_t end = text.size(); end > 0; end = end >= 2 ? end - 2 : 0, ++k) {
        size_t begin = end >= 2 ? end - 2 : 0;
        uint64_t piece = 0;
        for (size_t i = begin; i < end; ++i) {
            int d = HexDigit(text[i]);
            if (d < 0) return std::nullopt;
            piece = piece * 16 + static_cast<uint64_t>(d);
        }
        value |= piece << (8 * k);
    }
    return value;
}

ResultArgument TakeResultArgument(std::vector<std::string>& args) {
    static constexpr std::string_view kPrefix = "/RESULT:";
    ResultArgument r;
    std::vector<std::string> rest;
    for (std::string& a : args) {
        if (a.size() >= kPrefix.size() && text::EqualsNoCase(std::string_view(a).substr(0, kPrefix.size()), kPrefix)) {
            ++r.count;
            r.path = a.substr(kPrefix.size());
        } else {
            rest.push_back(std::move(a));
        }
    }
    args = std::move(rest);
    return r;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, bool bUnattended) {
    CommandLine cl;
    for (const std::string& a : args) {
        std::string up = text::ToUpper(a);
        if (up == "/S") cl.bSilent = true;
        if (up == "/ERASE") cl.bEraseAll = true;
        if (up == "/VERIFY") cl.bVerify = true;
    }
    CheckArguments(args, bUnattended, cl);
    if (!cl.refusal.empty()) {
        cl.errorLevel = 2;
        cl.closing = true;
        return cl;
    }
    // A verification run updates nothing: it needs no target.
    if (!bUnattended || cl.bVerify) return cl;

    if (args.empty()) {
        cl.errorLevel = 2;
        cl.closing = true;
        return cl;
    }
    for (const std::string& a : args) {
        // The prefix keeps a match at the very start from looking like "not found".
        std::string s = "_" + a;
        size_t t = s.find("/T:");
        if (t != std::string::npos) {
            cl.devPath = Trim(s.substr(t + 3));
            if (!cl.devPath.empty()) cl.log.push_back(Format("DEV_PATH:%s\n", cl.devPath.c_str()));
            continue;
        }
        size_t c = s.find("/C:");
        if (c == std::string::npos) continue;
        cl.log.push_back(Format("/C: %s\n", s.c_str()));
        cl.gScanType = 1;
        std::string rest = s.substr(c + 3);
        size_t comma = rest.find(',');
        std::optional<int> port = DecimalInt(Trim(rest.substr(0, comma)));
        std::optional<uint64_t> sas =
            comma == std::string::npos ? std::nullopt : HexTextToInt64(Trim(rest.substr(comma + 1)), 16);
        if (!port || !sas) {
            cl.errorLevel = 8;
            cl.closing = true;
            return cl;
        }
        cl.scsiPort = *port;
        cl.csmiIndex = 0;
        cl.csmiPort = 0;
        cl.sasAddr = *sas;
        cl.log.push_back(Format("SCSI_PORT:%d, INDEX:%X, PORT:%X, SAS_ADDR: %016llX\n", cl.scsiPort,
                                static_cast<unsigned>(cl.csmiIndex), static_cast<unsigned>(cl.csmiPort),
                                static_cast<unsigned long long>(cl.sasAddr)));
    }
    if (cl.gScanType == 0 && cl.devPath.empty()) {
        cl.errorLevel = 2;
        cl.closing = true;
    }
    return cl;
}

}  // namespace orvane::app
