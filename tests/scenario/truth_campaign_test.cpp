// The seeded random campaign: whole runs on random machines, with random faults, package options,
// command lines and events during the job, each held to the truth check. ORVANE_TRUTH_RUNS and
// ORVANE_TRUTH_SEED change the campaign; ORVANE_TRUTH_RUN replays one run and shows its log.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "scenario/result_check.h"
#include "scenario/truth_campaign.h"
#include "scenario/truth_check.h"
#include "ui/console/user_actions.h"

namespace orvane::testing::scenario {
namespace {

// The simulated machine is the same on every build; without fork a crashing run would end the
// whole test program, and with it the other tests' results. Only the native builds have the campaign.
#ifndef _WIN32

constexpr uint32_t kSeed = 20260105;
constexpr int kRuns = 300;

std::optional<long> EnvNumber(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (*end || n < 0) {
        ADD_FAILURE() << name << "=" << v << " is not a whole number";
        return std::nullopt;
    }
    return n;
}

std::string DriveLines(const std::vector<DriveState>& drives) {
    std::string out;
    for (const DriveState& d : drives) out += Describe(d) + "\n";
    return out;
}

// One run; its violations, and with `detail` the end of its log and the window's lines.
std::vector<std::string> RunTrial(const Trial& t, std::string* detail) {
    AppRun run([&](platform::sim::SimMachine& m) { LoadScenarioMachine(m, t.machine); });
    WritePackage(t.package, run.package);
    run.args = t.args;
    std::string result_path;
    run.args.push_back(ResultArgumentFor(run, result_path));
    run.answers = t.answers;
    std::string actions = t.actions;
    if (actions.find("{FILE}") != std::string::npos) {
        // The engineering path's file: the package's image as a plain file.
        const std::string file = (std::filesystem::path(run.machine().system.temp_dir) / "chosen.bin").string();
        const std::vector<uint8_t> image = TaggedImage(40960, t.package.new_fw, kNewDef);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
        for (size_t at; (at = actions.find("{FILE}")) != std::string::npos;) actions.replace(at, 6, file);
    }
    std::string error;
    if (!ui::ParseActions(actions, run.actions, error)) return {"script: " + error};

    const Outcome o = Capture(run, run.Run());
    std::vector<std::string> found = TruthViolations(o, ReadResultFile(result_path), PackageFacts{t.package.new_fw});
    if (!o.keep_awake.empty() && o.keep_awake.back()) found.push_back("keep-awake: the machine is left kept awake");
    if (detail) {
        *detail = "--- the window\n" + run.Transcript() + "--- the log\n" + o.log + "--- the document\n" +
                  ReadResultFile(result_path).dump(2) + "\n--- the drives\n" + DriveLines(o.drives);
    }
    return found;
}

// One run in a child process of its own: a run that crashes or hangs is a violation of the
// campaign, not its end. What the run found comes back through a pipe, one line each.
std::vector<std::string> Contained(const Trial& t) {
    int fds[2];
    if (::pipe(fds) != 0) return {"campaign: no pipe"};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::alarm(20);  // a run takes well under a second
        std::vector<std::string> found = RunTrial(t, nullptr);
        if (::testing::Test::HasFailure()) found.push_back("campaign: a check of the rig failed in the run");
        std::string text;
        for (const std::string& v : found) text += v + "\n";
        for (size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(fds[1], text.data() + at, text.size() - at);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        std::fflush(nullptr);
        ::_exit(0);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return {"campaign: no child process"};
    }
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::vector<std::string> found;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        found.push_back(text.substr(start, end - start));
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        found.push_back("hang: the run did not end within 20 s");
    else if (WIFSIGNALED(status))
        found.push_back("crash: signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")");
    else if (WEXITSTATUS(status) != 0)
        found.push_back("crash: exit status " + std::to_string(WEXITSTATUS(status)));
    if (status != 0) {
        // What the child's run left in the temporary folder.
        const std::string prefix = "orvane-app-" + std::to_string(pid) + "-";
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ec))
            if (e.path().filename().string().rfind(prefix, 0) == 0) std::filesystem::remove_all(e.path(), ec);
    }
    return found;
}

struct Group {
    int violations = 0;
    std::vector<int> runs;
    std::string example;
};

std::string RunList(const std::vector<int>& runs) {
    std::string out;
    for (size_t i = 0; i < runs.size() && i < 40; ++i) out += (i ? " " : "") + std::to_string(runs[i]);
    return runs.size() > 40 ? out + " ..." : out;
}

TEST(TruthCampaign, EveryRunTellsTheTruth) {
    const uint32_t seed = static_cast<uint32_t>(EnvNumber("ORVANE_TRUTH_SEED").value_or(kSeed));
    const std::optional<long> single = EnvNumber("ORVANE_TRUTH_RUN");
    const int first = single ? static_cast<int>(*single) : 0;
    const int runs = single ? 1 : static_cast<int>(EnvNumber("ORVANE_TRUTH_RUNS").value_or(kRuns));

    std::map<std::string, Group> groups;
    int total = 0;
    for (int i = first; i < first + runs; ++i) {
        const Trial t = MakeTrial(seed, i);
        std::string detail;
        // A replay runs here, where a debugger sees it.
        const std::vector<std::string> found = single ? RunTrial(t, &detail) : Contained(t);
        total += static_cast<int>(found.size());
        std::string all;
        for (const std::string& v : found) all += "  " + v + "\n";
        for (const std::string& v : found) {
            Group& g = groups[ViolationRule(v)];
            ++g.violations;
            if (g.runs.empty() || g.runs.back() != i) g.runs.push_back(i);
            if (g.example.empty()) g.example = all + t.Replay();
        }
        if (single) std::cerr << t.Replay() << detail;
    }
    std::cout << "truth campaign: " << runs << " runs, seed " << seed << ", " << total << " violations" << std::endl;
    for (const auto& [rule, g] : groups)
        ADD_FAILURE() << rule << ": " << g.violations << " violation(s) in " << g.runs.size() << " run(s): "
                      << RunList(g.runs) << "\nthe first of them:\n" << g.example;
}

#endif

}  // namespace
}  // namespace orvane::testing::scenario
