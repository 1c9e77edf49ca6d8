// A fixed set of worker threads. Each task learns which worker runs it, so
// that it can use that worker's own records, caches and histories.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace huecl::pages {

class ThreadPool {
public:
    explicit ThreadPool(unsigned threads) {
        for (unsigned worker = 0; worker < threads; ++worker) threads_.emplace_back([this, worker] { run(worker); });
    }

    // Unstarted tasks are dropped (their futures report a broken promise);
    // running ones finish first.
    ~ThreadPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            tasks_.clear();
        }
        wake_.notify_all();
        for (auto& thread : threads_) thread.join();
    }

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    template <typename Task>
    auto submit(Task task) -> std::future<decltype(task(0u))> {
        using Result = decltype(task(0u));
        auto packaged = std::make_shared<std::packaged_task<Result(unsigned)>>(std::move(task));
        auto future = packaged->get_future();
        {
            std::lock_guard lock(mutex_);
            tasks_.emplace_back([packaged](unsigned worker) { (*packaged)(worker); });
        }
        wake_.notify_one();
        return future;
    }

private:
    void run(unsigned worker) {
        for (;;) {
            std::function<void(unsigned)> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
                if (stopping_) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task(worker);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void(unsigned)>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace huecl::pages
