#pragma once
// The main window's layout at 96 DPI, as one table the window is built and re-scaled from.
#include <windows.h>

#include <span>

#include "app/view.h"
#include "ui/win32/dpi.h"

namespace orvane::ui {

inline constexpr int kClientW = 449;
inline constexpr int kClientH = 190;
// The unattended window: the panel's bar ends at y 138; the client area holds it whole with
// the same margin below as the captions have above.
inline constexpr int kCompactClientH = 160;
inline constexpr int kBannerH = 65;

// A control's child-window identifier.
inline int ControlId(app::Control c) { return 100 + static_cast<int>(c); }

struct ControlSpec {
    app::Control control;
    const wchar_t* window_class;
    DWORD style;
    LayoutRect rect;  // 96 DPI, in the parent's client area
    bool on_panel;    // a child of Panel1, not of the window
};

// In creation order, which is also the Tab order: the drive list, the NVMe selectors, Update,
// Close.
std::span<const ControlSpec> MainLayout();
const ControlSpec* FindSpec(app::Control c);

// The NVMe selectors' places, in pixels at the window's DPI, from the widths their texts need.
struct SelectorNeeds {
    int slot_label = 0, action_label = 0;  // text widths
    int slot_item = 0, action_item = 0;    // widest item text
    int arrow = 0;                         // the drop-down button's width
};
struct SelectorPlaces {
    RECT slot_label, slot_combo, action_label, action_combo;
    bool two_rows;       // activation on a row of its own below the slot
    int client_height;   // the window's client height while the selectors show
};
SelectorPlaces PlaceSelectors(const SelectorNeeds& needs, UINT dpi);

}  // namespace orvane::ui
