#include "data/background_sync.h"

#include <unistd.h>

#include <cerrno>

namespace lx9 {

BackgroundSync::BackgroundSync(int fd) : fd_(fd), thread_([this] { run(); }) {}

BackgroundSync::~BackgroundSync() {
    finish();
}

int BackgroundSync::finish() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> g(lock_);
    return failure_;
}

void BackgroundSync::written() {
    {
        std::lock_guard<std::mutex> g(lock_);
        due_ = true;
    }
    changed_.notify_all();
}

int BackgroundSync::syncs() const {
    std::lock_guard<std::mutex> g(lock_);
    return syncs_;
}

void BackgroundSync::run() {
    std::unique_lock<std::mutex> g(lock_);
    for (;;) {
        changed_.wait(g, [&] { return due_ || stop_; });
        if (stop_) return;
        // Whatever is written while this sync runs is covered by the next.
        due_ = false;
        ++syncs_;
        g.unlock();
        const int result = ::fdatasync(fd_) == 0 ? 0 : errno;
        g.lock();
        if (result != 0 && failure_ == 0) failure_ = result;
    }
}

}  // namespace lx9
