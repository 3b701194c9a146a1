#include "stop_signal.h"

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tramelo {

StopSignal::StopSignal()
    : m_descriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

StopSignal::~StopSignal()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

void StopSignal::requestStop()
{
    m_requested.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_descriptor, &one, sizeof one);
}

void StopSignal::clear()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_descriptor, &count, sizeof count);
    m_requested.store(false);
}

} // namespace tramelo
