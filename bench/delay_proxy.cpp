// A delaying proxy on loopback, for latency benchmarks: what a client and a
// server on this machine say to each other arrives as if the link between
// them took DELAY_MS each way.
//
// Usage: delay_proxy TARGET_PORT [DELAY_MS=10]
//
// Listens on 127.0.0.1 at a port the system chooses and prints "READY
// <port>"; every connection it accepts gets a connection of its own to
// 127.0.0.1:TARGET_PORT, and every byte read from either side is written to
// the other DELAY_MS (milliseconds, fractions allowed) after it was read, in
// the order it came. Each direction of a connection holds at most 4 MiB in
// flight: past that the proxy stops reading that side until some of it is
// delivered. A side that closes is closed on the other side once what it
// sent has been delivered. The proxy ends when its standard input closes.
// One thread, one poll loop: nothing here waits but ppoll.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t maxInFlightBytes = 4 * 1024 * 1024;
constexpr std::size_t readBytes = 64 * 1024;
constexpr std::size_t maxConnections = 64;

struct Chunk {
    Clock::time_point due;
    std::string bytes;
    std::size_t written = 0;
};

// One direction: read from one socket, delivered to the other.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Chunk> queue;
    std::size_t held = 0;
    bool sourceEnded = false;
    bool shutDown = false;

    bool canRead() const { return !sourceEnded && held < maxInFlightBytes; }
    bool dueNow(Clock::time_point now) const { return !queue.empty() && queue.front().due <= now; }
    bool finished() const { return sourceEnded && queue.empty(); }
};

struct Pair {
    Direction up;   // client to server
    Direction down; // server to client
    bool broken = false;
};

int listenOnLoopback(unsigned short &port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (descriptor < 0 || ::bind(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(descriptor, 64) != 0 || ::getsockname(descriptor, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    port = ntohs(address.sin_port);
    return descriptor;
}

int connectToTarget(unsigned short port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (descriptor < 0 || ::connect(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (descriptor >= 0)
            ::close(descriptor);
        return -1;
    }
    return descriptor;
}

void tune(int descriptor)
{
    const int on = 1;
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(descriptor, F_SETFL, O_NONBLOCK);
}

// Reads what is there into the direction's queue.
void readInto(Direction &direction, Clock::duration delay, bool &broken)
{
    std::string bytes(readBytes, '\0');
    const ssize_t got = ::recv(direction.from, bytes.data(), bytes.size(), 0);
    if (got > 0) {
        bytes.resize(std::size_t(got));
        direction.held += bytes.size();
        direction.queue.push_back({Clock::now() + delay, std::move(bytes)});
    } else if (got == 0) {
        direction.sourceEnded = true;
    } else if (errno != EAGAIN && errno != EINTR) {
        broken = true;
    }
}

// Writes what is due, in order.
void deliver(Direction &direction, Clock::time_point now, bool &broken)
{
    while (direction.dueNow(now)) {
        Chunk &chunk = direction.queue.front();
        const ssize_t sent = ::send(direction.to, chunk.bytes.data() + chunk.written, chunk.bytes.size() - chunk.written,
                                    MSG_NOSIGNAL);
        if (sent < 0) {
            broken = errno != EAGAIN && errno != EINTR;
            return;
        }
        chunk.written += std::size_t(sent);
        if (chunk.written < chunk.bytes.size())
            return;
        direction.held -= chunk.bytes.size();
        direction.queue.pop_front();
    }
    if (direction.finished() && !direction.shutDown) {
        ::shutdown(direction.to, SHUT_WR);
        direction.shutDown = true;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: delay_proxy TARGET_PORT [DELAY_MS=10]\n");
        return 2;
    }
    const auto targetPort = static_cast<unsigned short>(std::atoi(argv[1]));
    const double delayMs = argc == 3 ? std::atof(argv[2]) : 10.0;
    const auto delay = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(delayMs));
    unsigned short port = 0;
    const int listener = listenOnLoopback(port);
    if (listener < 0 || targetPort == 0) {
        std::fprintf(stderr, "delay_proxy: cannot listen\n");
        return 1;
    }
    std::printf("READY %u\n", unsigned(port));
    std::fflush(stdout);

    std::vector<std::unique_ptr<Pair>> pairs;
    for (;;) {
        const Clock::time_point now = Clock::now();
        std::vector<pollfd> descriptors = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        Clock::time_point wake = now + std::chrono::seconds(1);
        for (const auto &pair : pairs) {
            for (Direction *direction : {&pair->up, &pair->down}) {
                short toEvents = 0;
                if (direction->dueNow(now))
                    toEvents = POLLOUT;
                else if (!direction->queue.empty())
                    wake = std::min(wake, direction->queue.front().due);
                // A descriptor polled for nothing is left out: its hang-up
                // would wake the loop over and over.
                descriptors.push_back({direction->canRead() ? direction->from : -1, POLLIN, 0});
                descriptors.push_back({toEvents ? direction->to : -1, toEvents, 0});
            }
        }
        const auto left = std::max(Clock::duration::zero(), wake - now);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec timeout{seconds.count(), long(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
        if (::ppoll(descriptors.data(), descriptors.size(), &timeout, nullptr) < 0 && errno != EINTR)
            return 1;
        if (descriptors[1].revents & (POLLIN | POLLHUP)) {
            char byte;
            if (::read(STDIN_FILENO, &byte, 1) <= 0)
                return 0;
        }
        const Clock::time_point after = Clock::now();
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            Pair &pair = *pairs[i];
            const std::size_t base = 2 + 4 * i;
            Direction *directions[] = {&pair.up, &pair.down};
            for (int d = 0; d < 2; ++d) {
                if (directions[d]->canRead() && (descriptors[base + 2 * d].revents & (POLLIN | POLLHUP | POLLERR)))
                    readInto(*directions[d], delay, pair.broken);
                deliver(*directions[d], after, pair.broken);
            }
        }
        // Pairs done with, or broken, are closed.
        std::erase_if(pairs, [](const std::unique_ptr<Pair> &pair) {
            const bool done = pair->broken || (pair->up.finished() && pair->down.finished());
            if (done) {
                ::close(pair->up.from);
                ::close(pair->down.from);
            }
            return done;
        });
        if (descriptors[0].revents & POLLIN) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 && pairs.size() < maxConnections ? connectToTarget(targetPort) : -1;
            if (server < 0) {
                if (client >= 0)
                    ::close(client);
                continue;
            }
            tune(client);
            tune(server);
            auto pair = std::make_unique<Pair>();
            pair->up.from = pair->down.to = client;
            pair->up.to = pair->down.from = server;
            pairs.push_back(std::move(pair));
        }
    }
}
