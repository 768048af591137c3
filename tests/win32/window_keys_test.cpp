// The window from the keyboard (Tab order, Enter, Space) and for screen readers (the owner-drawn
// lists carry their texts), the NVMe selectors' room for their texts, and the program's icon.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/window_events.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_view.h"
#include "win32/window_capture.h"
#include "win32/window_input.h"

namespace orvane::ui {
namespace {

using app::Control;
using test::ChildRect;
using Calls = std::vector<std::string>;

struct Clicks : app::WindowEvents {
    Calls calls;
    void cmdUpdateClick() override { calls.push_back("Update"); }
    void cmdCloseClick() override { calls.push_back("Close"); }
    void cboDrivesChange() override {}
    void Timer1Timer() override {}
    void Timer2Timer() override {}
    void tmrAutoFlashTimer() override {}
    uint32_t OnPowerBroadcast(uint32_t) override { return 0; }
    void FormClose() override {}
    Calls Take() { return std::exchange(calls, {}); }
};

// A key as the user presses it: posted to the control with the focus and fetched by a message
// loop, which is where dialog navigation happens.
void Press(UINT vk, bool shift = false) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), std::begin(held));
    held[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(held);
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, vk, 1);
    PostMessageW(focus, WM_KEYUP, vk, 1 | (3u << 30));
    test::Pump(3);
    SetKeyboardState(keys);
}

class WindowKeys : public testing::Test {
protected:
    void SetUp() override {
        view_ = std::make_unique<Win32View>(GetModuleHandleW(nullptr));
        ASSERT_TRUE(view_->Created());
        view_->SetEvents(&clicks_);
        view_->SetDriveItems({{"(S)  0-0-0-0 READY DRIVE 1.00", true}, {"(M)  0-0-1-0 NVMe DRIVE 2.00", true}});
        view_->SelectItem(Control::cboDrives, 0);
        view_->Show();
    }
    void TearDown() override {
        if (view_) view_->SetEvents(nullptr);
    }
    void ShowSelectors(bool shown) {
        for (Control c : {Control::lblFwSlot, Control::cboFwSlot, Control::lblCommitAction, Control::cboCommitAction})
            view_->SetVisible(c, shown);
    }
    HWND C(Control c) const { return view_->control(c); }
    // Where the focus goes from `from`, one Tab (or Shift+Tab) at a time.
    std::vector<HWND> Walk(HWND from, int steps, bool back = false) {
        SetFocus(from);
        std::vector<HWND> seen;
        for (int i = 0; i < steps; ++i) {
            Press(VK_TAB, back);
            seen.push_back(GetFocus());
        }
        return seen;
    }

    Clicks clicks_;
    std::unique_ptr<Win32View> view_;
};

TEST_F(WindowKeys, TabVisitsTheShownControlsInOrder) {
    using enum Control;
    using V = std::vector<HWND>;
    // Today's window: the list and Update (Close is hidden).
    EXPECT_EQ(Walk(C(cboDrives), 3), (V{C(cmdUpdate), C(cboDrives), C(cmdUpdate)}));
    // An NVMe drive: its two selectors come between; with Close shown, it comes last.
    ShowSelectors(true);
    view_->SetVisible(cmdClose, true);
    EXPECT_EQ(Walk(C(cboDrives), 5), (V{C(cboFwSlot), C(cboCommitAction), C(cmdUpdate), C(cmdClose), C(cboDrives)}));
    EXPECT_EQ(Walk(C(cboDrives), 4, true), (V{C(cmdClose), C(cmdUpdate), C(cboCommitAction), C(cboFwSlot)}));
    // A disabled Update is passed over.
    view_->SetEnabled(cmdUpdate, false);
    EXPECT_EQ(Walk(C(cboCommitAction), 1), (V{C(cmdClose)}));
    EXPECT_EQ(clicks_.Take(), Calls{}) << "moving the focus pressed a button";
}

TEST_F(WindowKeys, EnterPressesOnlyAFocusedButtonAndSpacePressesIt) {
    using enum Control;
    struct Row {
        Control focus;
        UINT key;
        Calls calls;
        bool update_enabled = true;
    } rows[] = {
        {cboDrives, VK_RETURN, {}},  // no default button: Enter in the list starts nothing
        {cboFwSlot, VK_RETURN, {}},         {cboCommitAction, VK_RETURN, {}},
        {cmdUpdate, VK_RETURN, {"Update"}}, {cmdUpdate, VK_SPACE, {"Update"}},
        {cmdClose, VK_RETURN, {"Close"}},   {cmdClose, VK_SPACE, {"Close"}},
        {cboDrives, VK_SPACE, {}},
        {cmdUpdate, VK_RETURN, {}, false},  // a disabled Update is not pressed by Enter either
    };
    ShowSelectors(true);
    view_->SetVisible(cmdClose, true);
    for (const Row& row : rows) {
        SCOPED_TRACE("focus on control " + std::to_string(static_cast<int>(row.focus)) + ", key " +
                     std::to_string(row.key) + (row.update_enabled ? "" : ", Update disabled"));
        view_->SetEnabled(cmdUpdate, row.update_enabled);
        SetFocus(C(row.focus));
        if (row.update_enabled) {
            ASSERT_EQ(GetFocus(), C(row.focus));
        }
        Press(row.key);
        EXPECT_EQ(clicks_.Take(), row.calls);
    }
}

TEST_F(WindowKeys, UnderTheUnattendedPanelNothingIsReachedOrPressed) {
    view_->SetVisible(Control::cboDrives, false);
    view_->ShowCompactPanel();
    SetFocus(C(Control::cmdUpdate));  // as if it had kept the focus
    Press(VK_RETURN);
    Press(VK_SPACE);
    Press(VK_TAB);
    EXPECT_EQ(clicks_.Take(), Calls{});
}

TEST_F(WindowKeys, TheOwnerDrawnListsCarryTheirTexts) {
    view_->ShowStatus("Scanning drives ...");
    struct Row {
        Control list;
        int item;
        std::wstring text;
    } rows[] = {
        {Control::cboDrives, 0, L"(S)  0-0-0-0 READY DRIVE 1.00"},
        {Control::cboDrives, 1, L"(M)  0-0-1-0 NVMe DRIVE 2.00"},
        {Control::cbMsg, 0, L"Scanning drives ..."},
    };
    for (const Row& row : rows) {
        HWND list = C(row.list);
        EXPECT_TRUE(GetWindowLongPtrW(list, GWL_STYLE) & CBS_HASSTRINGS);
        wchar_t text[128] = {};
        ASSERT_EQ(SendMessageW(list, CB_GETLBTEXTLEN, row.item, 0), static_cast<LRESULT>(row.text.size()));
        SendMessageW(list, CB_GETLBTEXT, row.item, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::wstring(text), row.text);
    }
}

// A Yes/No box asked with No as its default: Enter answers No. Enter is pressed in the box from
// another thread, as the user would, once the box is up.
TEST(WindowBoxes, EnterAnswersWithTheDefaultTheQuestionAsksFor) {
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    struct Row {
        bool default_no;
        int default_id;
        app::BoxAnswer answer;
    } rows[] = {{false, IDYES, app::BoxAnswer::Yes}, {true, IDNO, app::BoxAnswer::No}};
    const DWORD thread = GetCurrentThreadId();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.default_no ? "No by default" : "Yes by default");
        std::atomic<int> seen_default{0};
        std::thread user([&] {
            HWND box = nullptr;
            for (int i = 0; i < 500 && !(box = test::ShownBox(thread)); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!box) return;
            for (int id : {IDYES, IDNO})
                if ((GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) seen_default = id;
            PostMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
        });
        app::BoxRequest question{"Question", "Restart now?", app::BoxButtons::YesNo, app::BoxIcon::Question};
        question.default_no = row.default_no;
        const app::BoxAnswer answer = view.MessageBox(question);
        user.join();
        EXPECT_EQ(seen_default, row.default_id);
        EXPECT_EQ(answer, row.answer);
    }
}

// ---- the NVMe selectors

struct SelectorTexts {
    const char* name;
    std::string slot_label, action_label;
    std::vector<std::string> slots, actions;
    bool two_rows;
};

class NvmeSelectors : public WindowKeys, public testing::WithParamInterface<UINT> {};

TEST_P(NvmeSelectors, FitTheirTextsBesideOrBelowTheButtons) {
    const UINT dpi = GetParam();
    test::MoveToDpi(*view_, dpi);
    const SelectorTexts rows[] = {
        {"one-character items", "", "", {"1", "2", "3"}, {"0", "1", "2", "3"}, false},
        {"English", "Firmware slot", "Activation", {"1 (read-only)", "2", "3"},
         {"0 - replace, do not activate", "1 - replace, activate at next reset", "2 - activate at next reset",
          "3 - replace and activate now"},
         true},
        // "Firmware slot", "Activation", "(read-only)", "replace and activate now" in the Traditional set.
        {"Chinese", "\xe9\x9f\x8c\xe9\xab\x94\xe6\xa7\xbd\xe4\xbd\x8d",
         "\xe5\x95\x9f\xe7\x94\xa8\xe6\x96\xb9\xe5\xbc\x8f", {"1 (\xe5\x94\xaf\xe8\xae\x80)", "2"},
         {"0 - \xe5\x8f\x96\xe4\xbb\xa3", "3 - \xe5\x8f\x96\xe4\xbb\xa3\xe4\xb8\xa6\xe7\xab\x8b\xe5\x8d\xb3\xe5\x95\x9f\xe7\x94\xa8"},
         true},
    };
    auto scale = [dpi](int v) { return Scale(v, dpi); };
    for (const SelectorTexts& t : rows) {
        SCOPED_TRACE(t.name);
        ShowSelectors(false);
        view_->SetText(Control::lblFwSlot, t.slot_label);
        view_->SetText(Control::lblCommitAction, t.action_label);
        view_->SetItems(Control::cboFwSlot, t.slots);
        view_->SetItems(Control::cboCommitAction, t.actions);
        RECT cr;
        GetClientRect(view_->window(), &cr);
        const LONG plain_height = cr.bottom;
        ShowSelectors(true);
        GetClientRect(view_->window(), &cr);
        // The client height the layout asks for; the window has it at the system's DPI (Wine keeps
        // the system's frame for a window moved to another DPI).
        const int intended = t.two_rows ? scale(217) : scale(190);
        if (dpi == WindowDpi(view_->window())) {
            EXPECT_EQ(cr.bottom, intended);
        }
        auto place = [&](Control c) { return ChildRect(view_->window(), C(c)); };
        const RECT slot_l = place(Control::lblFwSlot), slot = place(Control::cboFwSlot);
        const RECT act_l = place(Control::lblCommitAction), act = place(Control::cboCommitAction);
        const RECT update = place(Control::cmdUpdate), close = place(Control::cmdClose);
        RECT overlap;
        for (const RECT* r : {&slot_l, &slot, &act_l, &act}) {
            EXPECT_FALSE(IntersectRect(&overlap, r, &update)) << "over Update";
            EXPECT_FALSE(IntersectRect(&overlap, r, &close)) << "over Close";
            EXPECT_LE(r->right, scale(449));
            EXPECT_LE(r->bottom, intended) << "cut off at the window's bottom";
        }
        EXPECT_FALSE(IntersectRect(&overlap, &slot_l, &slot));
        EXPECT_FALSE(IntersectRect(&overlap, &act_l, &act));
        EXPECT_FALSE(IntersectRect(&overlap, &slot, &act));
        EXPECT_EQ(slot.top, scale(165)) << "the slot stays on the layout's row";
        if (t.two_rows) {
            EXPECT_GT(act.top, slot.bottom);
            // A window moved to this DPI keeps the frame of its screen's: the growth is the measure.
            EXPECT_EQ(cr.bottom - plain_height, scale(217) - scale(190)) << "the window grows by the activation's row";
            EXPECT_EQ(act.left, slot.left) << "the combos stand in one column";
        } else {
            EXPECT_EQ(act.top, slot.top);
            EXPECT_EQ(cr.bottom, plain_height);
        }
        if (t.slot_label.empty()) {
            // Today's texts: the layout's own places.
            EXPECT_EQ((std::array{slot.left, slot.right, act.left, act.right}),
                      (std::array<LONG, 4>{scale(75), scale(135), scale(228), scale(288)}));
        }
        // Each list opens wide enough for its widest item, and the slot's field shows its texts.
        for (Control c : {Control::cboFwSlot, Control::cboCommitAction}) {
            HWND combo = C(c);
            const auto font = reinterpret_cast<HFONT>(SendMessageW(combo, WM_GETFONT, 0, 0));
            int widest = 0;
            for (LRESULT i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
                wchar_t text[128] = {};
                SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
                widest = std::max(widest, test::TextWidth(combo, font, text));
            }
            EXPECT_GE(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), widest);
            if (c == Control::cboFwSlot || t.two_rows) {
                EXPECT_GE(place(c).right - place(c).left, widest + MetricForDpi(SM_CXVSCROLL, dpi))
                    << "the closed field cuts its text";
            }
        }
        ShowSelectors(false);
        GetClientRect(view_->window(), &cr);
        EXPECT_EQ(cr.bottom, plain_height) << "the window keeps the selectors' row after they went";
    }
}

INSTANTIATE_TEST_SUITE_P(AtEachDpi, NvmeSelectors, testing::Values(96u, 144u, 192u),
                         [](const testing::TestParamInfo<UINT>& info) { return std::to_string(info.param); });

// ---- the program's icon

// The built Orvane.exe beside this test program.
std::wstring ProgramPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Orvane.exe";
}

BOOL CALLBACK FirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) {
    *reinterpret_cast<LPCWSTR*>(out) = name;
    return FALSE;
}

// The resource types, as wide names (this file is built without UNICODE).
const LPCWSTR kIconType = MAKEINTRESOURCEW(3);
const LPCWSTR kGroupType = MAKEINTRESOURCEW(14);

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(AppIcon, TheProgramsFirstIconGroupHoldsEverySizeAndTheWindowShowsIt) {
    HMODULE exe = LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << "cannot read the built Orvane.exe";
    LPCWSTR first = nullptr;
    EnumResourceNamesW(exe, kGroupType, FirstName, reinterpret_cast<LONG_PTR>(&first));
    ASSERT_TRUE(first && IS_INTRESOURCE(first)) << "no icon group";
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(first), static_cast<UINT_PTR>(IDI_APP)) << "the first group is not the program's";
    HRSRC group = FindResourceW(exe, first, kGroupType);
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(exe, group)));
    ASSERT_NE(dir, nullptr);
    const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        GroupEntry e;
        memcpy(&e, dir + 6 + i * sizeof(GroupEntry), sizeof e);
        const int size = e.width ? e.width : 256;
        sizes.push_back(size);
        EXPECT_EQ(e.bits, 32) << size;
        HRSRC image = FindResourceW(exe, MAKEINTRESOURCEW(e.id), kIconType);
        ASSERT_NE(image, nullptr) << size;
        const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(exe, image)));
        ASSERT_EQ(SizeofResource(exe, image), e.bytes) << size;
        if (size == 256) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 4), "\x89PNG") << "256 is stored as PNG";
        } else {
            EXPECT_EQ(*reinterpret_cast<const DWORD*>(bytes), 40u) << size << ": not a bitmap header";
        }
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
    FreeLibrary(exe);

    // The window carries it (this test program has the same resources), at its DPI's sizes.
    Win32View view(GetModuleHandleW(nullptr));
    ASSERT_TRUE(view.Created());
    auto icon_width = [](HICON icon) {
        ICONINFO info{};
        if (!icon || !GetIconInfo(icon, &info)) return 0;
        BITMAP bm{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        return static_cast<int>(bm.bmWidth);
    };
    auto small = reinterpret_cast<HICON>(SendMessageW(view.window(), WM_GETICON, ICON_SMALL, 0));
    auto big = reinterpret_cast<HICON>(SendMessageW(view.window(), WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(icon_width(small), MetricForDpi(SM_CXSMICON, view.dpi()));
    EXPECT_EQ(icon_width(big), MetricForDpi(SM_CXICON, view.dpi()));
    EXPECT_NE(GetClassLongPtrW(view.window(), GCLP_HICONSM), 0);
    EXPECT_NE(reinterpret_cast<HICON>(GetClassLongPtrW(view.window(), GCLP_HICON)), LoadIcon(nullptr, IDI_APPLICATION));
}

}  // namespace
}  // namespace orvane::ui
