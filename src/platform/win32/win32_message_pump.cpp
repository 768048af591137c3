#include "platform/win32/win32_message_pump.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <mutex>

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_precise_timer.h"
#include "platform/work_queue.h"

namespace orvane::platform::win32 {

namespace {

constexpr UINT kWorkMessage = WM_APP + 1;  // private to the pump's own message-only window
constexpr DWORD kTimerBackstopMs = 50;
const wchar_t kWindowClass[] = L"OrvaneMessagePump";

LRESULT CALLBACK PumpWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace

struct Win32MessagePump::Impl {
    DWORD thread = GetCurrentThreadId();
    HWND window = nullptr;
    // Auto-reset: wakes a Wait for posted work even while WM_QUIT is pending.
    UniqueHandle work_event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    WorkQueue work;
    // Ends a Wait at its deadline rather than on the next tick after it.
    bool high_resolution = false;
    UniqueHandle wait_timer = MakeWaitTimer(&high_resolution);
    std::atomic<bool> quitting{false};
    bool period_set = false;
};

namespace {

LRESULT CALLBACK PumpWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kWorkMessage) {
        // Also reached from modal loops (message boxes), which dispatch but never call Dispatch().
        auto* impl = reinterpret_cast<Win32MessagePump::Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (impl) impl->work.RunPending();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterPumpClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = PumpWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        RegisterClassExW(&wc);
    });
}

}  // namespace

Win32MessagePump::Win32MessagePump() : impl_(std::make_unique<Impl>()) {
    // Without a high-resolution timer, waits end on the system timer's tick: make it 1 ms, not
    // 15.6 ms. With one, the faster tick would only cost the machine power.
    if (!impl_->high_resolution) impl_->period_set = timeBeginPeriod(1) == TIMERR_NOERROR;
    RegisterPumpClass();
    impl_->window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    if (impl_->window) SetWindowLongPtrW(impl_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl_.get()));
}

Win32MessagePump::~Win32MessagePump() {
    if (impl_->window) {
        SetWindowLongPtrW(impl_->window, GWLP_USERDATA, 0);
        DestroyWindow(impl_->window);
    }
    if (impl_->period_set) timeEndPeriod(1);
}

void Win32MessagePump::Dispatch() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the loop that owns the thread; stop here, or we would take it again at once.
            impl_->quitting = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Work whose nudge message went to a modal loop, or never got through, still runs.
    impl_->work.RunPending();
}

void Win32MessagePump::Wait(double max_seconds) {
    if (!(max_seconds > 0)) return;
    // A pending WM_QUIT counts as posted input and would end every wait at once: the delays
    // that still run while the program ends would spin. Posted work still wakes us by the event.
    DWORD mask = impl_->quitting ? (QS_ALLINPUT & ~QS_POSTMESSAGE) : QS_ALLINPUT;
    HANDLE handles[2];
    DWORD n = 0;
    if (impl_->work_event) handles[n++] = impl_->work_event.get();
    // The timeout alone rounds up to whole milliseconds and then to the timer's period; the
    // timer ends the wait on time, and the timeout is only its backstop.
    DWORD timeout = TimeoutMs(max_seconds);
    if (ArmTimer(impl_->wait_timer.get(), max_seconds)) {
        handles[n++] = impl_->wait_timer.get();
        timeout += kTimerBackstopMs;
    }
    MsgWaitForMultipleObjectsEx(n, n ? handles : nullptr, timeout, mask, MWMO_INPUTAVAILABLE);
}

bool Win32MessagePump::WaitEndsOnTime() const { return impl_->high_resolution && impl_->wait_timer; }

void Win32MessagePump::Post(std::function<void()> work) {
    impl_->work.Push(std::move(work));
    if (impl_->work_event) SetEvent(impl_->work_event.get());
    if (impl_->window) PostMessageW(impl_->window, kWorkMessage, 0, 0);
}

void Win32MessagePump::Quit() {
    impl_->quitting = true;
    if (GetCurrentThreadId() == impl_->thread)
        PostQuitMessage(0);
    else
        Post([] { PostQuitMessage(0); });  // WM_QUIT belongs to the pump's thread
}

bool Win32MessagePump::Quitting() const {
    return impl_->quitting;
}

}  // namespace orvane::platform::win32
