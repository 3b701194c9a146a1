#pragma once

#include <atomic>

namespace tramelo {

// A stop asked for from any thread (a window's "Aturar", a signal handler's
// flag read by a loop) that ends every wait of the mail core at once: each
// wait polls this descriptor beside the socket's.
class StopSignal
{
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal &) = delete;
    StopSignal &operator=(const StopSignal &) = delete;

    void requestStop();
    bool stopRequested() const { return m_requested.load(); }
    // Ready for the next operation: a stop asked for before is forgotten.
    void clear();
    // Readable while a stop is requested.
    int descriptor() const { return m_descriptor; }

private:
    int m_descriptor = -1;
    std::atomic<bool> m_requested{false};
};

} // namespace tramelo
