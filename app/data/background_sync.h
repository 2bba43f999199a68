// Syncs a file from a thread of its own while it is still being written. A disk that caches
// writes (a virtual machine's, or one with a write cache) may take most of a save's time in the
// final sync of a quarter gigabyte; syncing as the pieces go out lets it write while the next
// pieces are built, and the final sync waits only for the last of them.
//
// Nothing here replaces the final fdatasync: the caller still syncs once it has written all. A
// failed sync is kept for the caller, which may not see it again on its own fdatasync.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace lx9 {

class BackgroundSync {
  public:
    // Starts the thread; throws std::system_error when there is none to start. The file must
    // stay open until this is destroyed.
    explicit BackgroundSync(int fd);
    // Ends the thread once a sync in progress is over.
    ~BackgroundSync();
    BackgroundSync(const BackgroundSync&) = delete;
    BackgroundSync& operator=(const BackgroundSync&) = delete;

    // More has been written: sync again once the sync in progress (if any) is over.
    void written();
    // Ends the thread once a sync in progress is over and returns the errno of the first failed
    // sync, 0 when none failed. Nothing is synced after this.
    int finish();
    // Syncs started so far.
    int syncs() const;

  private:
    void run();

    int fd_;
    mutable std::mutex lock_;  // guards everything below
    std::condition_variable changed_;
    bool due_ = false;
    bool stop_ = false;
    int failure_ = 0;
    int syncs_ = 0;
    std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace lx9
