// "/RESULT:" through the command line, and hostile drive texts through the result document.
// First byte: bit 0 makes the package an unattended one. Then one argument per line; the same
// lines are the drive texts of the document.
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "app/command_line.h"
#include "app/result_file.h"
#include "app/run_result.h"
#include "common/latin1.h"
#include "fuzz/fuzz_input.h"
#include "text/text.h"

using namespace orvane::app;

namespace {

bool IsResultArgument(const std::string& a) {
    return a.size() >= 8 && orvane::text::EqualsNoCase(std::string_view(a).substr(0, 8), "/RESULT:");
}

void CheckCommandLine(const std::vector<std::string>& lines, bool unattended) {
    std::vector<std::string> args = lines, others;
    int results = 0;
    for (const std::string& a : lines) {
        if (IsResultArgument(a))
            ++results;
        else
            others.push_back(a);
    }
    const ResultArgument r = TakeResultArgument(args);
    if (r.count != results || args != others) std::abort();
    // What the target search reads is only what is left: a target comes from those arguments.
    const CommandLine cl = ParseCommandLine(args, unattended);
    if (!cl.devPath.empty()) {
        bool from_other = false;
        for (const std::string& a : args) from_other = from_other || a.find(cl.devPath) != std::string::npos;
        if (!from_other) std::abort();
    }
    const std::string why = ResultPathProblem(r.path);
    if (why.empty()) {
        if (r.path.empty() || r.path.size() > kMaxResultPath) std::abort();
        for (size_t i = 0; i < r.path.size(); ++i) {
            const char c = r.path[i];
            if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>\"|?*").find(c) != std::string_view::npos ||
                (c == ':' && i != 1))
                std::abort();
        }
    }
}

void CheckDocument(const std::vector<std::string>& lines) {
    RunResult r;
    auto text = [&](size_t k) { return lines.empty() ? std::string() : lines[k % lines.size()]; };
    r.package_version = text(0);
    r.exit_code = static_cast<int>(lines.size()) - 3;
    DriveResult d;
    d.model = text(1);
    d.serial = text(2);
    d.revision_before = text(3);
    if (lines.size() & 1) d.revision_after = text(4);
    d.transport = text(5);
    d.outcome = outcome::Failed(text(6));
    r.drives = {d, d};
    r.drives[1].outcome = outcome::kNotUpdated;
    r.drives[1].reason = text(7);
    const std::string doc = ResultJson(r);
    for (char c : doc)
        if (static_cast<unsigned char>(c) >= 0x80) std::abort();
    const auto parsed = nlohmann::json::parse(doc, nullptr, false);
    if (parsed.is_discarded() || parsed["drives"].size() != 2) std::abort();
    auto same = [](const nlohmann::json& v, const std::string& want) {
        if (!v.is_string() || orvane::test::Latin1(v.get<std::string>()) != want) std::abort();
    };
    same(parsed["package_version"], r.package_version);
    same(parsed["drives"][0]["model"], d.model);
    same(parsed["drives"][0]["serial"], d.serial);
    same(parsed["drives"][0]["revision_before"], d.revision_before);
    same(parsed["drives"][0]["transport"], *d.transport);
    same(parsed["drives"][0]["outcome"], "failed");
    same(parsed["drives"][0]["detail"], d.outcome.substr(std::string("failed: ").size()));
    same(parsed["drives"][1]["detail"], r.drives[1].reason);
    if (d.revision_after) same(parsed["drives"][0]["revision_after"], *d.revision_after);
    if (parsed["exit_code"] != r.exit_code) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvane::fuzz::FuzzInput in(data, size);
    const bool unattended = in.Byte() & 1;
    std::vector<std::string> lines;
    while (in.left() > 0 && lines.size() < 64) lines.push_back(in.Line());
    CheckCommandLine(lines, unattended);
    CheckDocument(lines);
    return 0;
}
