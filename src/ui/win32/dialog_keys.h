#pragma once
// Tab, Shift+Tab and Enter in a window that is not a dialog, whichever loop takes its messages:
// the program's pump, a delay's pump, a message box's own loop.
#include <windows.h>

#include <functional>

namespace orvane::ui {

class DialogKeys {
public:
    // `active` says whether the keys are taken now (false: they reach the controls as before).
    DialogKeys(HWND window, std::function<bool()> active);
    ~DialogKeys();
    DialogKeys(const DialogKeys&) = delete;
    DialogKeys& operator=(const DialogKeys&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
    bool Take(MSG& msg) const;

    HWND window_;
    std::function<bool()> active_;
};

}  // namespace orvane::ui
