#include "app/run_program.h"

#include "app/list_report.h"

namespace orvane::app {

int RunProgram(AppContext& ctx) {
    // The disk report runs instead of the window, before anything else touches a drive.
    if (WantsListReport(ctx.args)) return RunListReport(ctx);
    TOrvaneMain main(ctx);
    main.FormCreate();
    if (!main.EndRequested() && main.ShouldShow()) {
        ctx.view.Show();
        main.FormShow();
        main.FormActivate();
    }
    ctx.view.RunMessageLoop(ctx.platform.pump);
    main.FormDestroy();
    return main.iErrorLevel;
}

}  // namespace orvane::app
