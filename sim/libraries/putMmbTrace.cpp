// Host stand-in for the board trace service client: each line goes as one
// datagram to the service's socket, which the simulator's trace service (or
// a test) reads. Datagram: service level, the 4 header bytes, the text.
#include "mmbtrace.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* SOCKET_PATH = "/var/mmb/sock/ipcsock04";
constexpr size_t HEADER_SIZE = 4;
constexpr size_t TEXT_SIZE = 256;

// One socket for the life of the process, opened on first use.
int traceSocket()
{
    static int fd = -1;
    if (fd < 0)
        fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd;
}

} // namespace

extern "C" int putMmbTrace(unsigned char serviceLevel, const void* header, const char* text)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const char* prefix = getenv("MMB_DEBUG_PATH");
    int length = snprintf(address.sun_path, sizeof address.sun_path, "%s%s", prefix ? prefix : "", SOCKET_PATH);
    if (length < 0 || static_cast<size_t>(length) >= sizeof address.sun_path)
        return -1;

    unsigned char message[1 + HEADER_SIZE + TEXT_SIZE];
    message[0] = serviceLevel;
    memcpy(message + 1, header, HEADER_SIZE);
    size_t textLength = strnlen(text, TEXT_SIZE - 1);
    memcpy(message + 1 + HEADER_SIZE, text, textLength);
    message[1 + HEADER_SIZE + textLength] = '\0';
    // Never wait for a slow service: a trace must not stall the board (or a signal handler).
    ssize_t sent = sendto(traceSocket(), message, 1 + HEADER_SIZE + textLength + 1, MSG_DONTWAIT,
                          reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent < 0 ? -1 : 0;
}
