#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace orvane::platform {

// Work posted to the window's thread from any thread; both message pumps run it from here.
class WorkQueue {
public:
    void Push(std::function<void()> work) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(work));
        }
        posted_.notify_all();
    }

    // Runs only what is pending now: work that posts more work must not keep one call going forever.
    void RunPending() {
        size_t n = Size();
        for (; n > 0; --n) {
            std::function<void()> work;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (queue_.empty()) return;
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            if (work) work();
        }
    }

    // Until something is pending or the real time has passed.
    template <class Rep, class Period>
    void WaitFor(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        posted_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
    }

    size_t Size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace orvane::platform
