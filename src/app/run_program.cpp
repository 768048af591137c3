#include "app/run_program.h"

#include "app/list_report.h"
#include "app/result_file.h"

namespace orvane::app {

namespace {

// The disk report acts on no drive: its result document has the exit code and no drives.
int ListReport(AppContext& ctx, const ResultArgument& result) {
    platform::SystemApi& api = ctx.platform.system;
    RunResult r;
    r.start = api.LocalTimeNow();
    r.exit_code = RunListReport(ctx);
    if (result.count == 0) return r.exit_code;
    r.program_version = ProgramVersion();
    r.package_version = package::ParsePackage(ctx.package, ctx.package_size).info.version;
    r.end = api.LocalTimeNow();
    r.utc_offset_minutes = api.UtcOffsetMinutes();
    r.host_name = api.ComputerName();
    r.run = "list";
    std::string why = ResultPathProblem(result.path);
    if (why.empty()) why = WriteResultFile(api, result.path, ResultJson(r));
    if (!why.empty()) {
        const DebugLog log(api, DebugLog::DefaultPath(api));
        log.Line(Format("RESULT: not written (%s): %s\n", why.c_str(), result.path.c_str()));
    }
    return r.exit_code;
}

}  // namespace

int RunProgram(AppContext& ctx) {
    // Taken out before anything reads the arguments: a path may hold any text.
    ResultArgument result = TakeResultArgument(ctx.args);
    // The disk report runs instead of the window, before anything else touches a drive.
    if (WantsListReport(ctx.args)) return ListReport(ctx, result);
    TOrvaneMain main(ctx, std::move(result));
    main.FormCreate();
    if (!main.EndRequested() && main.ShouldShow()) {
        ctx.view.Show();
        main.FormShow();
        main.FormActivate();
    }
    ctx.view.RunMessageLoop(ctx.platform.pump);
    main.FormDestroy();
    return main.ErrorLevel();
}

}  // namespace orvane::app
