#pragma once
// Driving a real window from a test under Wine: notifications as its controls send them, moves to
// another DPI, and the message boxes it shows answered as a user would.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ui/win32/win32_view.h"

namespace orvane::ui::test {

inline BOOL CALLBACK FindShownBox(HWND h, LPARAM out) {
    wchar_t cls[16] = {};
    GetClassNameW(h, cls, 16);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(h)) return TRUE;
    *reinterpret_cast<HWND*>(out) = h;
    return FALSE;
}

// The message box `thread` shows, if any.
inline HWND ShownBox(DWORD thread) {
    HWND box = nullptr;
    EnumThreadWindows(thread, FindShownBox, reinterpret_cast<LPARAM>(&box));
    return box;
}

// The window as a move to a screen of `dpi` leaves it, at the screen's top left corner (where
// the 1024 x 768 test screen shows the whole of it).
inline void MoveToDpi(Win32View& view, UINT dpi) {
    if (view.dpi() == dpi) return;
    RECT r;
    GetWindowRect(view.window(), &r);
    OffsetRect(&r, -r.left, -r.top);
    SendMessageW(view.window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
}

// WM_COMMAND as a control sends it to its parent.
inline LRESULT Notify(HWND parent, HWND control, int code) {
    return SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

// Answers every message box the thread shows with OK until stopped, and notes what each said, in
// order. A box is noted before it is answered: the call that showed it returns after the note.
class BoxWatcher {
public:
    struct Box {
        std::wstring caption, text;
        bool operator==(const Box&) const = default;
        // For a failed comparison's message (the texts are ASCII).
        friend void PrintTo(const Box& b, std::ostream* out) {
            *out << '{' << std::string(b.caption.begin(), b.caption.end()) << ": "
                 << std::string(b.text.begin(), b.text.end()) << '}';
        }
    };

    explicit BoxWatcher(DWORD thread) : thread_(thread), worker_([this] { Watch(); }) {}
    ~BoxWatcher() { Stop(); }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    void Stop() {
        stop_ = true;
        if (worker_.joinable()) worker_.join();
    }
    std::vector<Box> Seen() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    void Watch() {
        while (!stop_) {
            HWND box = ShownBox(thread_);
            if (!box) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            wchar_t buf[512] = {};
            GetWindowTextW(box, buf, 512);
            Box b{buf, L""};
            GetDlgItemTextW(box, 0xFFFF, buf, 512);  // the box's text control
            b.text = buf;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(b);
            }
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            // Gone, or hidden by its answer while a box shown over it still runs its own loop.
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!stop_ && IsWindow(box) && IsWindowVisible(box) && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    DWORD thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Box> seen_;
    std::thread worker_;
};

}  // namespace orvane::ui::test
