// The board trace service, simulated: receives the trace lines board
// programs send to its socket and prints one line each,
//   level=<service level> id=<trace id> <text>
// Usage: mmb-trace-service [COUNT]  (stop after COUNT lines; default never)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* SOCKET_PATH = "/var/mmb/sock/ipcsock04";
constexpr size_t HEADER_SIZE = 5;  // service level, then 1, 0 and the 16-bit id

int fail(const char* call, const char* path)
{
    fprintf(stderr, "mmb-trace-service: %s(%s) failed: %s\n", call, path, strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    long remaining = argc > 1 ? strtol(argv[1], nullptr, 10) : -1;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const char* prefix = getenv("MMB_DEBUG_PATH");
    int length = snprintf(address.sun_path, sizeof address.sun_path, "%s%s", prefix ? prefix : "", SOCKET_PATH);
    if (length < 0 || static_cast<size_t>(length) >= sizeof address.sun_path) {
        fprintf(stderr, "mmb-trace-service: socket path too long\n");
        return 1;
    }
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail("socket", address.sun_path);
    unlink(address.sun_path);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return fail("bind", address.sun_path);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    unsigned char message[HEADER_SIZE + 512];
    for (; remaining != 0; remaining -= remaining > 0 ? 1 : 0) {
        ssize_t got = recv(fd, message, sizeof message - 1, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail("recv", address.sun_path);
        if (static_cast<size_t>(got) < HEADER_SIZE)
            continue;
        message[got] = '\0';
        printf("level=%u id=%u %s\n", message[0], message[3] << 8 | message[4],
               reinterpret_cast<char*>(message + HEADER_SIZE));
    }
    unlink(address.sun_path);
    return 0;
}
