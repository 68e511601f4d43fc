#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace testing_support {

// Forwards connections from a port of 127.0.0.1 to another (the database
// server), and can cut them all and take new ones again on the same port: a
// server that goes away and comes back, without touching the server. It counts
// round trips: each time the server answers what a client sent since the
// server last spoke on that connection.
class TcpProxy {
public:
    explicit TcpProxy(int targetPort) : target_(targetPort)
    {
        (void)::pipe(wake_);
        listen(0);
        thread_ = std::thread([this] { run(); });
    }
    ~TcpProxy()
    {
        command(Command::Stop);
        thread_.join();
        ::close(wake_[0]);
        ::close(wake_[1]);
    }
    TcpProxy(const TcpProxy&) = delete;
    TcpProxy& operator=(const TcpProxy&) = delete;

    int port() const { return port_; }
    // Closes every forwarded connection and stops listening.
    void cut() { command(Command::Cut); }
    // Listens again on the same port.
    void restore() { command(Command::Restore); }
    // Round trips on every connection since the start or the last reset.
    long roundTrips() const { return roundTrips_.load(); }
    void resetRoundTrips() { roundTrips_ = 0; }

private:
    enum class Command { None, Cut, Restore, Stop };

    void listen(int port)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(port));
        socklen_t len = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), len);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::listen(listener_, 8);
    }

    void closeAll()
    {
        for (const Pair& p : pairs_) {
            ::shutdown(p.client, SHUT_RDWR);
            ::shutdown(p.server, SHUT_RDWR);
            ::close(p.client);
            ::close(p.server);
        }
        pairs_.clear();
        if (listener_ >= 0) ::close(listener_);
        listener_ = -1;
    }

    void command(Command c)
    {
        std::unique_lock lock(mutex_);
        pending_ = c;
        const char x = 1;
        (void)::write(wake_[1], &x, 1);
        done_.wait(lock, [this] { return pending_ == Command::None; });
    }

    // The server listens on whichever loopback address "localhost" gave it first.
    int connectTarget() const
    {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(target_));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
        ::close(fd);
        fd = ::socket(AF_INET6, SOCK_STREAM, 0);
        sockaddr_in6 a6{};
        a6.sin6_family = AF_INET6;
        a6.sin6_addr = in6addr_loopback;
        a6.sin6_port = htons(uint16_t(target_));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6) == 0) return fd;
        ::close(fd);
        return -1;
    }

    void run()
    {
        for (;;) {
            std::vector<pollfd> fds{{wake_[0], POLLIN, 0}};
            if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
            for (const Pair& p : pairs_) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, POLLIN, 0});
            }
            ::poll(fds.data(), nfds_t(fds.size()), -1);
            if (fds[0].revents) {
                char buf[16];
                (void)::read(wake_[0], buf, sizeof buf);
                std::unique_lock lock(mutex_);
                const Command c = pending_;
                if (c == Command::Cut || c == Command::Stop) closeAll();
                if (c == Command::Restore && listener_ < 0) listen(port_);
                pending_ = Command::None;
                done_.notify_all();
                if (c == Command::Stop) return;
                continue;
            }
            size_t i = 1;
            if (listener_ >= 0) {
                if (fds[1].revents & POLLIN) {
                    const int client = ::accept(listener_, nullptr, nullptr);
                    const int server = client >= 0 ? connectTarget() : -1;
                    if (server >= 0) pairs_.push_back({client, server, false});
                    else if (client >= 0) ::close(client);
                    continue;
                }
                i = 2;
            }
            // One pass forwards what is there; a closed pair ends the pass (the
            // poll set no longer matches the pairs).
            bool dropped = false;
            for (size_t p = 0; p < pairs_.size() && !dropped; ++p, i += 2) {
                for (int side = 0; side < 2 && !dropped; ++side) {
                    if (!fds[i + size_t(side)].revents) continue;
                    Pair& pair = pairs_[p];
                    const int from = side == 0 ? pair.client : pair.server;
                    const int to = side == 0 ? pair.server : pair.client;
                    char buf[65536];
                    const ssize_t n = ::read(from, buf, sizeof buf);
                    // Counted before the answer goes on, so the client sees it counted.
                    if (n > 0 && side == 1 && pair.asked) ++roundTrips_;
                    if (n > 0) pair.asked = side == 0;
                    if (n <= 0 || ::send(to, buf, size_t(n), MSG_NOSIGNAL) != n) {
                        ::close(pair.client);
                        ::close(pair.server);
                        pairs_.erase(pairs_.begin() + std::ptrdiff_t(p));
                        dropped = true;
                    }
                }
            }
        }
    }

    int target_;
    int port_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    struct Pair {
        int client, server;
        bool asked;   // the client has sent since the server last answered
    };
    std::vector<Pair> pairs_;
    std::atomic<long> roundTrips_{0};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable done_;
    Command pending_ = Command::None;
};

} // namespace testing_support
