// Host stand-in for the board library's IPC: one sequenced-packet
// connection per request to the daemon's socket
// ($MMB_DEBUG_PATH/var/run/dualprocess.sock). A request is sent as the
// code and the data length (32 bits each, big-endian), then the data; the
// daemon answers one byte once it has taken the request, and a request
// counts as sent only then, so whoever stops the daemon after a send finds
// the request recorded.
// Faults "ipc-connect ERRNO" and "ipc-send ERRNO" make the calls throw.
// Each connection is logged with the service and mode asked for.
#include "MMBLib.h"

#include "BoardPaths.h"
#include "EventLog.h"
#include "FaultTable.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace MMBLib {
namespace MMBIpc {

namespace {

constexpr const char* DAEMON_SOCKET = "/var/run/dualprocess.sock";
constexpr long MAX_DATA = 256;
constexpr int ACTION_IPC = 3;

bool faulted(const char* kind)
{
    const char* board = sim::boardFromEnvironment();
    return board != nullptr && sim::FaultTable::consume(board, nullptr, kind);
}

void putBig32(unsigned char* out, unsigned long value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

// Waits for the daemon's answer; a signal to the caller does not end the wait.
bool delivered(int fd)
{
    unsigned char answer = 0;
    ssize_t got = 0;
    do
        got = recv(fd, &answer, sizeof answer, 0);
    while (got < 0 && errno == EINTR);
    return got == sizeof answer;
}

} // namespace

IPCConnection* IPCClient::getNewConnection(int service, int mode)
{
    if (const char* board = sim::boardFromEnvironment())
        sim::logEvent(board, "ipc connect service %d mode %d", service, mode);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const char* prefix = std::getenv("MMB_DEBUG_PATH");
    int length = std::snprintf(address.sun_path, sizeof address.sun_path, "%s%s", prefix ? prefix : "", DAEMON_SOCKET);
    if (length < 0 || static_cast<size_t>(length) >= sizeof address.sun_path || faulted("ipc-connect"))
        throw PException(ACTION_IPC, 1);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw PException(ACTION_IPC, 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        throw PException(ACTION_IPC, 1);
    }
    return new IPCConnection(fd);
}

IPCConnection::~IPCConnection()
{
    close(socket_);
}

void IPCConnection::sendRequest(long code, const void* data, long length)
{
    if (length < 0 || length > MAX_DATA || faulted("ipc-send"))
        throw PException(ACTION_IPC, 2);
    unsigned char message[8 + MAX_DATA];
    putBig32(message, static_cast<unsigned long>(code));
    putBig32(message + 4, static_cast<unsigned long>(length));
    std::memcpy(message + 8, data, static_cast<size_t>(length));
    if (send(socket_, message, 8 + static_cast<size_t>(length), MSG_NOSIGNAL) != 8 + length || !delivered(socket_))
        throw PException(ACTION_IPC, 2);
}

} // namespace MMBIpc
} // namespace MMBLib
