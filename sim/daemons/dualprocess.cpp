// The dual-board process, simulated. Started, it goes to the background
// once it is ready: its pid is in $MMB_DEBUG_PATH/var/run/dualprocess.pid
// and it takes IPC requests on $MMB_DEBUG_PATH/var/run/dualprocess.sock,
// recording each in the board's event log as
//   dualprocess request 0x<code> data <hex bytes>
// On SIGUSR1 it sends SIGHUP to the pid written in
// $MMB_DEBUG_PATH/var/run/dualprocess.hup, as it does to order a mode
// change. SIGTERM ends it.
#include "BoardPaths.h"
#include "EventLog.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t hupRequested = 0;
volatile sig_atomic_t stopRequested = 0;

std::string boardFile(const char* name)
{
    const char* prefix = std::getenv("MMB_DEBUG_PATH");
    return std::string(prefix != nullptr ? prefix : "") + "/var/run/" + name;
}

int fail(const char* call, const std::string& path)
{
    std::fprintf(stderr, "dualprocess: %s(%s) failed: %s\n", call, path.c_str(), std::strerror(errno));
    return 1;
}

void sendHangUp()
{
    FILE* file = std::fopen(boardFile("dualprocess.hup").c_str(), "r");
    int pid = 0;
    if (file != nullptr) {
        if (std::fscanf(file, "%d", &pid) != 1)
            pid = 0;
        std::fclose(file);
    }
    if (pid > 0)
        kill(pid, SIGHUP);
}

void record(const unsigned char* message, ssize_t length)
{
    if (length < 8)
        return;
    unsigned long code = static_cast<unsigned long>(message[0]) << 24 | message[1] << 16 | message[2] << 8 | message[3];
    std::string data;
    for (ssize_t i = 8; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", message[i]);
        data += byte;
    }
    sim::logEvent(sim::boardFromEnvironment(), "dualprocess request 0x%08lx data %s", code, data.c_str());
}

void serve(int listener)
{
    while (!stopRequested) {
        if (hupRequested) {
            hupRequested = 0;
            sendHangUp();
        }
        int connection = accept(listener, nullptr, nullptr);
        if (connection < 0)
            continue;  // interrupted by a signal
        unsigned char message[512];
        ssize_t got = recv(connection, message, sizeof message, 0);
        record(message, got);
        close(connection);
    }
}

} // namespace

int main()
{
    std::string socketPath = boardFile("dualprocess.sock");
    std::string pidPath = boardFile("dualprocess.pid");
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return fail("bind", socketPath);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    unlink(socketPath.c_str());
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0)
        return fail("bind", socketPath);

    // Handlers first, so the daemon is ready for a signal once it is reported ready.
    struct sigaction action = {};
    action.sa_handler = [](int signal) { (signal == SIGUSR1 ? hupRequested : stopRequested) = 1; };
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    pid_t child = fork();
    if (child < 0)
        return fail("fork", socketPath);
    if (child > 0) {
        FILE* pidFile = std::fopen(pidPath.c_str(), "w");
        if (pidFile == nullptr)
            return fail("fopen", pidPath);
        std::fprintf(pidFile, "%d\n", child);
        std::fclose(pidFile);
        return 0;  // ready: the socket listens and the pid file is written
    }
    serve(listener);
    unlink(socketPath.c_str());
    unlink(pidPath.c_str());
    return 0;
}
