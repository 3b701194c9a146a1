#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tramelo {

// fdatasync of a file on a thread of its own, so that the disk's latency
// overlaps the caller's work: start() asks for it, wait() blocks until it
// has finished. One at a time; the thread is made by the first start() and
// joined when the object goes.
class BackgroundSync
{
public:
    BackgroundSync() = default;
    ~BackgroundSync();
    BackgroundSync(const BackgroundSync &) = delete;
    BackgroundSync &operator=(const BackgroundSync &) = delete;

    // Makes the file's data durable: everything written to it before this call.
    void start(int descriptor);
    bool isPending() const { return m_pending; }
    // Whether the last one asked for has finished (without waiting).
    bool isFinished();
    // Waits for the last one asked for; the error number when it failed.
    // Nothing to wait for gives no error.
    std::optional<int> wait();

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_descriptor = -1; // the file of the sync asked for, -1 once taken
    bool m_running = false;
    int m_error = 0;
    bool m_quit = false;
    bool m_pending = false; // asked for and not yet waited for
    std::thread m_thread;
};

} // namespace tramelo
