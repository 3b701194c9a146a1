#include "background_sync.h"

#include <unistd.h>

#include <cerrno>

namespace tramelo {

BackgroundSync::~BackgroundSync()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BackgroundSync::start(int descriptor)
{
    wait();
    {
        const std::lock_guard lock(m_mutex);
        m_descriptor = descriptor;
        m_error = 0;
        m_pending = true;
    }
    if (!m_thread.joinable())
        m_thread = std::thread(&BackgroundSync::work, this);
    m_changed.notify_all();
}

bool BackgroundSync::isFinished()
{
    const std::lock_guard lock(m_mutex);
    return m_descriptor < 0 && !m_running;
}

std::optional<int> BackgroundSync::wait()
{
    if (!m_pending)
        return std::nullopt;
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_descriptor < 0 && !m_running; });
    m_pending = false;
    return m_error != 0 ? std::optional<int>(m_error) : std::nullopt;
}

void BackgroundSync::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || m_descriptor >= 0; });
        if (m_descriptor < 0)
            return; // asked to quit with nothing left to sync
        const int descriptor = std::exchange(m_descriptor, -1);
        m_running = true;
        lock.unlock();
        const int error = ::fdatasync(descriptor) == 0 ? 0 : errno;
        lock.lock();
        m_running = false;
        m_error = error;
        m_changed.notify_all();
    }
}

} // namespace tramelo
