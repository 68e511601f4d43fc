#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

// A socket on a free port of 127.0.0.1. Listening, it takes connections but
// never greets, so a mail transfer hangs until it is aborted.
struct LoopbackSocket {
    int fd = -1;
    int port = 0;
    explicit LoopbackSocket(bool listen)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        if (listen) ::listen(fd, 4);
    }
    ~LoopbackSocket() { ::close(fd); }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;
};

// A port where nobody listens.
inline int freePort()
{
    return LoopbackSocket(false).port;
}

} // namespace testing_support
