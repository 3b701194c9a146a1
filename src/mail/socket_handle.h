#pragma once

#include <unistd.h>

namespace tramelo {

// A socket descriptor of the operating system, closed when the handle goes.
class SocketHandle
{
public:
    explicit SocketHandle(int descriptor) : m_descriptor(descriptor) {}
    ~SocketHandle()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    SocketHandle(const SocketHandle &) = delete;
    SocketHandle &operator=(const SocketHandle &) = delete;
    int get() const { return m_descriptor; }
    bool isValid() const { return m_descriptor >= 0; }

private:
    int m_descriptor;
};

} // namespace tramelo
