#pragma once
// One program run on a simulated machine, with a fresh temporary folder for its log.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/orvane_main.h"
#include "app/run_program.h"
#include "common/package_bytes.h"
#include "platform/sim/sim_platform.h"
#include "ui/console/console_view.h"

namespace orvane::testing {

class AppRun {
public:
    explicit AppRun(std::function<void(platform::sim::SimMachine&)> edit_machine = nullptr) {
        static int counter = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("orvane-app-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::string error;
        platform::sim::LoadMachine(platform::sim::DefaultMachineJson(), machine_, error);
        machine_.system.temp_dir = dir_.string();
        machine_.system.module_file = "C:\\Program Files\\Orvane\\Orvane.exe";
        if (edit_machine) edit_machine(machine_);
    }
    ~AppRun() {
        // The view writes to the transcript; both go before the folder (Windows keeps open files).
        main_.reset();
        ctx_.reset();
        view_.reset();
        transcript_.reset();
        KeepDocuments();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // The build's package, but its group 0 accepts every drive, so a run on the built-in
    // machine gets past the eligibility decision unless a test says otherwise.
    PackageBytes package = PackageBytes().AcceptAll();
    std::vector<std::string> args;
    std::vector<std::string> answers;
    std::vector<ui::UserAction> actions;
    bool device_fails = false;
    double speed = 1000.0;  // simulated seconds per real second
    // Called with the new machine before the program starts (a restart of the machine, say).
    std::function<void(platform::sim::SimPlatform&)> before_start;

    // The whole program: start-up, events, loop, FormDestroy; returns the exit code.
    int Run() {
        Prepare();
        return app::RunProgram(*ctx_);
    }
    // Only the window's construction (the start-up sequence), to look at its state.
    app::TOrvaneMain& StartUp() {
        Prepare();
        main_ = std::make_unique<app::TOrvaneMain>(*ctx_);
        return *main_;
    }

    // The run's result documents and history, copied where the test run validates them against
    // their schemas (ORVANE_PRODUCED_DIR) before the folder goes.
    void KeepDocuments() const {
        const char* to = std::getenv("ORVANE_PRODUCED_DIR");
        if (!to || !*to) return;
        static int kept = 0;
        const std::string stem = std::to_string(::getpid()) + "-" + std::to_string(kept++);
        std::error_code ec;
        const std::filesystem::path out(to);
        std::filesystem::create_directories(out, ec);
        for (const auto& e : std::filesystem::directory_iterator(dir_, ec))
            if (e.path().extension() == ".json" && e.is_regular_file())
                std::filesystem::copy_file(e.path(), out / (stem + "-" + e.path().filename().string()), ec);
        const std::filesystem::path data = machine_.system.program_data_dir.empty()
                                               ? dir_ / "orvane-sim" / "programdata"
                                               : std::filesystem::path(machine_.system.program_data_dir);
        const std::filesystem::path history = data / "Orvane" / "history.json";
        if (std::filesystem::exists(history, ec)) std::filesystem::copy_file(history, out / ("history-" + stem + ".json"), ec);
    }

    ui::ConsoleView& view() { return *view_; }
    platform::sim::SimMachine& machine() { return machine_; }
    platform::sim::SimPlatform& sim() { return *sim_; }
    std::string Log() const {
        // Text mode: a Windows build stores each line end as CR LF.
        std::ifstream in(dir_ / "ORVANE_DEBUG.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // The console view's lines of the last run ("[status] ...", "[box] ...", "[progress] ...").
    std::string Transcript() const {
        if (transcript_) std::fflush(transcript_.get());
        std::ifstream in(dir_ / "view.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& b : view_->boxes()) out.push_back(b.text);
        return out;
    }

private:
    void Prepare() {
        // A second run starts afresh; what refers to the old machine goes first.
        main_.reset();
        ctx_.reset();
        view_.reset();
        transcript_.reset();
        sim_ = std::make_unique<platform::sim::SimPlatform>(machine_, speed);
        transcript_.reset(std::fopen((dir_ / "view.txt").string().c_str(), "w"));
        view_ = std::make_unique<ui::ConsoleView>(transcript_.get(), sim_->pump(), answers, actions);
        ctx_ = std::make_unique<app::AppContext>(
            app::AppContext{sim_->platform(), *view_, package.data(), package.size(), args, nullptr});
        if (device_fails)
            ctx_->make_device = [](platform::Platform&, const std::string&) {
                return std::unique_ptr<device::TAtaDevice>();
            };
        if (before_start) before_start(*sim_);
    }

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::filesystem::path dir_;
    std::unique_ptr<std::FILE, FileCloser> transcript_;
    platform::sim::SimMachine machine_;
    std::unique_ptr<platform::sim::SimPlatform> sim_;
    std::unique_ptr<ui::ConsoleView> view_;
    std::unique_ptr<app::AppContext> ctx_;
    std::unique_ptr<app::TOrvaneMain> main_;
};

}  // namespace orvane::testing
