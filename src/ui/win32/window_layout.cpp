#include "ui/win32/window_layout.h"

#include <commctrl.h>

#include <algorithm>

namespace orvane::ui {
namespace {

using app::Control;

constexpr DWORD kLabel = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kHiddenLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kDriveList = WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
constexpr DWORD kSelector = WS_TABSTOP | CBS_DROPDOWNLIST;

const ControlSpec kLayout[] = {
    {Control::Label1, L"STATIC", kLabel, {12, 72, 300, 16}, false},
    {Control::lblMsg, L"STATIC", kHiddenLabel, {12, 72, 120, 16}, false},
    {Control::lblFWExt, L"STATIC", kHiddenLabel, {300, 72, 120, 16}, false},
    {Control::cboDrives, L"COMBOBOX", WS_VISIBLE | WS_TABSTOP | kDriveList, {8, 92, 433, 200}, false},
    {Control::cbMsg, L"COMBOBOX", WS_DISABLED | kDriveList, {8, 92, 433, 200}, false},
    {Control::lblUpdateMsg, L"STATIC", kLabel, {12, 141, 150, 16}, false},
    {Control::lblOldFW, L"STATIC", kLabel, {170, 141, 40, 16}, false},
    {Control::lblTo, L"STATIC", kLabel, {220, 141, 20, 16}, false},
    {Control::lblNewFW, L"STATIC", kLabel, {250, 141, 40, 16}, false},
    {Control::lblFwSlot, L"STATIC", kHiddenLabel, {12, 168, 60, 16}, false},
    {Control::cboFwSlot, L"COMBOBOX", kSelector, {75, 165, 60, 120}, false},
    {Control::lblCommitAction, L"STATIC", kHiddenLabel, {145, 168, 80, 16}, false},
    {Control::cboCommitAction, L"COMBOBOX", kSelector, {228, 165, 60, 120}, false},
    {Control::cmdUpdate, L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, {368, 150, 73, 33}, false},
    {Control::cmdClose, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, {291, 150, 73, 33}, false},
    {Control::Panel1, L"STATIC", SS_LEFT, {0, 0, kClientW, 152}, false},
    {Control::Label2, L"STATIC", kLabel, {16, 24, 160, 16}, true},
    {Control::Label3, L"STATIC", kLabel, {16, 52, 160, 16}, true},
    {Control::Label4, L"STATIC", kLabel, {16, 80, 160, 16}, true},
    {Control::Label5, L"STATIC", kLabel, {190, 24, 240, 16}, true},
    {Control::Label6, L"STATIC", kLabel, {190, 52, 240, 16}, true},
    {Control::Label7, L"STATIC", kLabel, {190, 80, 240, 16}, true},
    {Control::Label8, L"STATIC", kHiddenLabel, {16, 104, 400, 16}, true},
    {Control::ProgressBar1, PROGRESS_CLASSW, WS_VISIBLE, {16, 120, 417, 18}, true},
};

// The selectors' row at 96 DPI: labels 3 pixels below their combos' tops, so their text sits on
// the combos' text line; the row ends short of the Close button (x 291).
constexpr int kRowY = 165;
constexpr int kLabelDy = 3;
constexpr int kLabelGap = 3;
constexpr int kPairGap = 10;
constexpr int kRowEnd = 288;
constexpr int kSecondRowY = 192;
constexpr int kTwoRowClientH = 217;
constexpr int kRightEdge = 441;  // the list's and Update's right edge
constexpr int kItemPadding = 10;

}  // namespace

std::span<const ControlSpec> MainLayout() { return kLayout; }

const ControlSpec* FindSpec(app::Control c) {
    for (const ControlSpec& s : kLayout)
        if (s.control == c) return &s;
    return nullptr;
}

SelectorPlaces PlaceSelectors(const SelectorNeeds& n, UINT dpi) {
    auto s = [dpi](int v) { return Scale(v, dpi); };
    const LayoutRect slot = FindSpec(Control::cboFwSlot)->rect;
    const LayoutRect action_label = FindSpec(Control::lblCommitAction)->rect;
    const LayoutRect action = FindSpec(Control::cboCommitAction)->rect;
    const int label_h = s(16), list_h = s(slot.h);
    auto combo_width = [&](int item) { return std::max(s(slot.w), item + n.arrow + s(kItemPadding)); };
    const int slot_w = combo_width(n.slot_item), action_w = combo_width(n.action_item);

    SelectorPlaces p{};
    p.client_height = s(kClientH);
    // One row, as the layout has it, where the texts leave room: each part keeps its place
    // unless the text before it pushes it right.
    const int y = s(kRowY), label_y = s(kRowY + kLabelDy);
    const int slot_x = std::max(s(slot.x), s(12) + n.slot_label + s(kLabelGap));
    const int action_label_x = std::max(s(action_label.x), slot_x + slot_w + s(kPairGap));
    const int action_x = std::max(s(action.x), action_label_x + n.action_label + s(kLabelGap));
    if (action_x + action_w <= s(kRowEnd)) {
        p.slot_label = {s(12), label_y, s(12) + n.slot_label + 2, label_y + label_h};
        p.slot_combo = {slot_x, y, slot_x + slot_w, y + list_h};
        p.action_label = {action_label_x, label_y, action_label_x + n.action_label + 2, label_y + label_h};
        p.action_combo = {action_x, y, action_x + action_w, y + list_h};
        return p;
    }
    // Two rows, labels in one column and combos in another; the window grows by the second row,
    // which has the whole width as nothing stands beside it.
    p.two_rows = true;
    p.client_height = s(kTwoRowClientH);
    const int combo_x = std::max(s(slot.x), s(12) + std::max(n.slot_label, n.action_label) + s(kLabelGap));
    const int y2 = s(kSecondRowY), label_y2 = s(kSecondRowY + kLabelDy);
    p.slot_label = {s(12), label_y, s(12) + n.slot_label + 2, label_y + label_h};
    p.slot_combo = {combo_x, y, std::min(combo_x + slot_w, s(kRowEnd)), y + list_h};
    p.action_label = {s(12), label_y2, s(12) + n.action_label + 2, label_y2 + label_h};
    p.action_combo = {combo_x, y2, std::min(combo_x + action_w, s(kRightEdge)), y2 + list_h};
    return p;
}

}  // namespace orvane::ui
