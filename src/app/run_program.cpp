#include "app/run_program.h"

namespace orvane::app {

int RunProgram(AppContext& ctx) {
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
