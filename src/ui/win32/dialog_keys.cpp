#include "ui/win32/dialog_keys.h"

#include <algorithm>
#include <vector>

namespace orvane::ui {
namespace {

// One hook per thread serves every window of the thread.
struct ThreadHook {
    HHOOK hook = nullptr;
    std::vector<DialogKeys*> windows;
};
thread_local ThreadHook thread_hook;

}  // namespace

DialogKeys::DialogKeys(HWND window, std::function<bool()> active) : window_(window), active_(std::move(active)) {
    if (!thread_hook.hook)
        thread_hook.hook = SetWindowsHookExW(WH_GETMESSAGE, &DialogKeys::Hook, nullptr, GetCurrentThreadId());
    thread_hook.windows.push_back(this);
}

DialogKeys::~DialogKeys() {
    auto& w = thread_hook.windows;
    w.erase(std::remove(w.begin(), w.end(), this), w.end());
    if (w.empty() && thread_hook.hook) {
        UnhookWindowsHookEx(thread_hook.hook);
        thread_hook.hook = nullptr;
    }
}

bool DialogKeys::Take(MSG& msg) const {
    if (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)) return false;
    if (!active_ || !active_()) return false;
    // The window answers DM_GETDEFID: Enter presses only a focused button, never a default one.
    return IsDialogMessageW(window_, &msg) != FALSE;
}

LRESULT CALLBACK DialogKeys::Hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && wp == PM_REMOVE) {
        auto* msg = reinterpret_cast<MSG*>(lp);
        // Only the navigation keys: everything else reaches the controls untouched.
        if (msg->message == WM_KEYDOWN && (msg->wParam == VK_TAB || msg->wParam == VK_RETURN))
            for (DialogKeys* keys : thread_hook.windows)
                if (keys->Take(*msg)) {
                    msg->message = WM_NULL;  // handled: the loop that fetched it dispatches nothing
                    break;
                }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace orvane::ui
