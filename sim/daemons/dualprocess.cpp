// The dual-board process, simulated: one runs on each board of a pair, as
// on the real pair, and the two talk through each other's sockets. It takes
// IPC requests on $MMB_DEBUG_PATH/var/run/dualprocess.sock, recording each
// in the board's event log as
//   dualprocess request 0x<code> data <hex bytes>
// and answering the sender one byte once it is recorded and acted on. It
// keeps its pid in $MMB_DEBUG_PATH/var/run/dualprocess.pid. Started
// with arguments (the process manager gives every daemon three), it stays
// in the foreground under its supervisor, the start-up program; started
// alone, it goes to the background once ready. SIGTERM ends it.
//
// A mode change, ordered with SIGUSR1 to either board's dualprocess:
//   1. the roles that libdual reports (hw/dual) are swapped on both boards,
//      the board leaving Active with own status bit 0x80000000;
//   2. each dualprocess sends its supervisor SIGHUP (the change request);
//   3. when the board becoming Active answers with the change-start
//      response, both send SIGHUP again (the switch), once a second until
//      their board answers with the change-complete response.
// Each SIGHUP is logged as "dualprocess hangup request|switch".
//
// The two dualprocesses watch each other with a heartbeat (PeerWatch.h).
// When the peer, heard before, misses its beats and this board is Standby,
// it takes over: this board's words in hw/dual become Active, the lost
// board's Standby (so that it comes back Standby), and the change runs as
// an ordered one, the switch following the change-start response. While
// the link is cut (fault "peer-link") neither board changes role: a board
// that hears nothing cannot tell a dead peer from a silent one. A
// dualprocess started under a supervisor that runs Active (its second
// argument, "1") on a board whose words say Standby (the peer took over
// while it was gone) asks its supervisor to leave Active.
// Logged: "heartbeat peer up|lost", "heartbeat link down|up", "dualprocess
// take over", "dualprocess leave active".
#include "BoardPaths.h"
#include "BoardPrograms.h"
#include "EventLog.h"
#include "PeerWatch.h"
#include "SettingsFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr unsigned long ACTIVE = 0x40000000;
constexpr unsigned long LEAVING_ACTIVE = 0x80000000;
constexpr uint32_t CHANGE_START = 0x80020031;
constexpr uint32_t CHANGE_COMPLETE = 0x80020041;
// Between the two boards' dualprocesses.
constexpr uint32_t PEER_SWITCH = 1;    // roles swapped: request the change
constexpr uint32_t PEER_SWITCHED = 2;  // the new Active board has begun: signal the switch
constexpr uint32_t PEER_BEAT = 3;      // the heartbeat: nothing to do
constexpr long SWITCH_REPEAT_MS = 1000;
constexpr int SWITCH_SIGNALS = 10;     // a switch SIGHUP that found the change not yet ordered is repeated

volatile sig_atomic_t switchRequested = 0;
volatile sig_atomic_t stopRequested = 0;

const char* board()
{
    return sim::boardFromEnvironment();
}

std::string runFile(const char* name)
{
    const char* prefix = std::getenv("MMB_DEBUG_PATH");
    return std::string(prefix != nullptr ? prefix : "") + "/var/run/" + name;
}

int fail(const char* call, const std::string& path)
{
    std::fprintf(stderr, "dualprocess: %s(%s) failed: %s\n", call, path.c_str(), std::strerror(errno));
    return 1;
}

bool socketAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

uint32_t big32(const unsigned char* in)
{
    return static_cast<uint32_t>(in[0]) << 24 | in[1] << 16 | in[2] << 8 | in[3];
}

void record(const unsigned char* message, ssize_t length)
{
    std::string data;
    for (ssize_t i = 8; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", message[i]);
        data += byte;
    }
    sim::logEvent(board(), "dualprocess request 0x%08lx data %s", static_cast<unsigned long>(big32(message)),
                  data.c_str());
}

std::string peerBoard()
{
    return board() != nullptr ? PeerWatch::peerOf(board()) : "";
}

// A message between the dualprocesses, waited for; lost with the peer.
void tellPeer(uint32_t code)
{
    if (board() != nullptr)
        PeerWatch::sendToPeer(board(), code, true);
}

bool isActive(const char* boardDirectory)
{
    return sim::getNumberSetting(boardDirectory, sim::DUAL_FILE, "active", ACTIVE) & ACTIVE;
}

void setWord(const char* boardDirectory, const char* key, unsigned long word)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", word);
    sim::putSetting(boardDirectory, sim::DUAL_FILE, key, text);
}

// A board leaving Active in an ordered change gets own status bit
// 0x80000000; a lost board is plainly Standby when it comes back.
void setRole(const char* boardDirectory, bool active, unsigned long standbyOwn = LEAVING_ACTIVE)
{
    setWord(boardDirectory, "active", active ? ACTIVE : 0);
    setWord(boardDirectory, "init-active", active ? ACTIVE : 0);
    setWord(boardDirectory, "own", active ? ACTIVE : standbyOwn);
}

// Step 1 of a mode change, for one board.
void swapRole(const char* boardDirectory)
{
    setRole(boardDirectory, !isActive(boardDirectory));
}

void swapRoles()
{
    sim::logEvent(board(), "dualprocess switch");
    swapRole(board());
    std::string peer = peerBoard();
    if (!peer.empty())
        swapRole(peer.c_str());
}

class Supervisor {
public:
    explicit Supervisor(pid_t pid) : pid_(pid) {}

    void requestChange() { hangUp("request"); }

    void signalSwitch()
    {
        hangUp("switch");
        switchSignalsLeft_ = SWITCH_SIGNALS;
    }

    // Called once a second.
    void repeatSwitch()
    {
        if (switchSignalsLeft_ > 0 && pid_ > 0) {
            --switchSignalsLeft_;
            kill(pid_, SIGHUP);
        }
    }

    // The change is complete: a board that left Active is plainly Standby.
    void changeComplete()
    {
        switchSignalsLeft_ = 0;
        if (!isActive(board()))
            setWord(board(), "own", 0);
    }

private:
    void hangUp(const char* what)
    {
        if (pid_ <= 0)
            return;
        sim::logEvent(board(), "dualprocess hangup %s", what);
        kill(pid_, SIGHUP);
    }

    pid_t pid_;
    int switchSignalsLeft_ = 0;
};

// The peer is lost while this board is Standby.
void takeOver(Supervisor& supervisor)
{
    sim::logEvent(board(), "dualprocess take over");
    setRole(board(), true);
    std::string peer = peerBoard();
    if (!peer.empty())
        setRole(peer.c_str(), false, 0);
    supervisor.requestChange();
}

// The peer took over while this board's dualprocess was gone and its
// supervisor, still Active, started this one: the supervisor leaves Active,
// and no new Active board will send the switch, so it is signalled here.
void leaveActiveIfTakenOver(Supervisor& supervisor, bool supervisorActive)
{
    if (!supervisorActive || isActive(board()))
        return;
    sim::logEvent(board(), "dualprocess leave active");
    setWord(board(), "own", LEAVING_ACTIVE);
    supervisor.requestChange();
    supervisor.signalSwitch();
}

void react(PeerWatch::Event event, Supervisor& supervisor)
{
    static const char* const LOGGED[] = {nullptr, "link down", "link up", "peer up", "peer lost"};
    if (event == PeerWatch::QUIET)
        return;
    sim::logEvent(board(), "heartbeat %s", LOGGED[event]);
    if (event == PeerWatch::PEER_LOST && !isActive(board()))
        takeOver(supervisor);
}

long long nowMs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

void handle(Supervisor& supervisor, const unsigned char* message, ssize_t length)
{
    if (length < 8)
        return;
    uint32_t code = big32(message);
    if (code == PEER_SWITCH) {
        supervisor.requestChange();
        return;
    }
    if (code == PEER_SWITCHED) {
        supervisor.signalSwitch();
        return;
    }
    if (code == PEER_BEAT)
        return;
    record(message, length);
    if (code == CHANGE_START) {
        supervisor.signalSwitch();
        tellPeer(PEER_SWITCHED);
    } else if (code == CHANGE_COMPLETE) {
        supervisor.changeComplete();
    }
}

void serve(int listener, Supervisor& supervisor)
{
    PeerWatch watch(board() != nullptr ? board() : "");
    long long nextBeat = nowMs();
    long long nextRepeat = nextBeat + SWITCH_REPEAT_MS;
    while (!stopRequested) {
        if (switchRequested) {
            switchRequested = 0;
            swapRoles();
            supervisor.requestChange();
            tellPeer(PEER_SWITCH);
        }
        long long now = nowMs();
        if (now >= nextBeat) {
            react(watch.beat(), supervisor);
            nextBeat = now + watch.beatMs();
        }
        if (now >= nextRepeat) {
            supervisor.repeatSwitch();
            nextRepeat = now + SWITCH_REPEAT_MS;
        }
        pollfd pending = {listener, POLLIN, 0};
        if (poll(&pending, 1, static_cast<int>(std::max(0LL, std::min(nextBeat, nextRepeat) - nowMs()))) <= 0)
            continue;  // a beat or a repeat is due, or a signal came
        int connection = accept(listener, nullptr, nullptr);
        if (connection < 0)
            continue;
        unsigned char message[512];
        ssize_t got = recv(connection, message, sizeof message, 0);
        handle(supervisor, message, got);
        // The answer tells the sender its request was taken (a peer's
        // dualprocess does not wait for it).
        const unsigned char taken = 1;
        send(connection, &taken, sizeof taken, MSG_NOSIGNAL);
        close(connection);
    }
}

bool writePidFile(const std::string& path, pid_t pid)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    std::fprintf(file, "%d\n", static_cast<int>(pid));
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool supervised = argc > 1;
    if (supervised)
        sim::endWithSupervisor(getppid());
    std::string socketPath = runFile("dualprocess.sock");
    std::string pidPath = runFile("dualprocess.pid");
    sockaddr_un address;
    if (!socketAddress(socketPath, address))
        return fail("bind", socketPath);
    int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    unlink(socketPath.c_str());
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0)
        return fail("bind", socketPath);

    // Handlers first, so the daemon is ready for a signal once it is reported ready.
    struct sigaction action = {};
    action.sa_handler = [](int signal) { (signal == SIGUSR1 ? switchRequested : stopRequested) = 1; };
    sigaction(SIGUSR1, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (supervised) {
        if (!writePidFile(pidPath, getpid()))
            return fail("fopen", pidPath);
    } else {
        pid_t child = fork();
        if (child < 0)
            return fail("fork", socketPath);
        if (child > 0)  // ready: the socket listens and the pid file is written
            return writePidFile(pidPath, child) ? 0 : fail("fopen", pidPath);
    }
    Supervisor supervisor(supervised ? getppid() : 0);
    // The supervisor's start arguments: boot cause, Active ("1"), second board.
    if (board() != nullptr)
        leaveActiveIfTakenOver(supervisor, argc > 2 && std::strcmp(argv[2], "1") == 0);
    serve(listener, supervisor);
    unlink(socketPath.c_str());
    unlink(pidPath.c_str());
    return 0;
}
