#include "PeerWatch.h"

#include "FaultTable.h"
#include "SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr uint32_t PEER_BEAT = 3;
constexpr long DEFAULT_BEAT_MS = 500;
constexpr long DEFAULT_MISSED_BEATS = 6;

long positiveSetting(const std::string& board, const char* key, long fallback)
{
    long value = sim::getNumberSetting(board.c_str(), sim::DUAL_FILE, key, fallback);
    return value > 0 ? value : fallback;
}

bool linkCutOn(const std::string& board)
{
    sim::FaultTable faults;
    faults.load(board.c_str());
    return faults.find("peer-link") >= 0;
}

// True when the message went out, or could not for a full queue.
bool deliver(int fd, const sockaddr_un& address, const unsigned char (&message)[8])
{
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return errno == EAGAIN;
    return send(fd, message, sizeof message, MSG_NOSIGNAL) == sizeof message || errno == EAGAIN;
}

} // namespace

int PeerWatch::beatMs() const
{
    return static_cast<int>(positiveSetting(board_, "heartbeat-ms", DEFAULT_BEAT_MS));
}

PeerWatch::Event PeerWatch::beat()
{
    std::string peer = peerOf(board_);
    if (peer.empty())
        return QUIET;
    bool down = linkDown(peer);
    if (down != linkWasDown_) {
        linkWasDown_ = down;
        misses_ = 0;
        answering_ = false;  // unknown until a beat is answered again
        return down ? LINK_DOWN : LINK_UP;
    }
    if (down)
        return QUIET;
    if (sendToPeer(board_, PEER_BEAT, false)) {
        misses_ = 0;
        heard_ = true;
        bool back = !answering_;
        answering_ = true;
        return back ? PEER_UP : QUIET;
    }
    // Only a peer heard can be lost: one never heard keeps the roles libdual gave.
    if (!heard_ || ++misses_ < positiveSetting(board_, "missed-beats", DEFAULT_MISSED_BEATS))
        return QUIET;
    heard_ = false;
    answering_ = false;
    misses_ = 0;
    return PEER_LOST;
}

bool PeerWatch::linkDown(const std::string& peer) const
{
    return linkCutOn(board_) || linkCutOn(peer);
}

std::string PeerWatch::peerOf(const std::string& board)
{
    char peer[4096];
    return sim::getSetting(board.c_str(), sim::DUAL_FILE, "peer", peer, sizeof peer) ? peer : "";
}

// The other board's socket is reached through its run folder's descriptor:
// its full path may be longer than a socket address holds.
bool PeerWatch::sendToPeer(const std::string& board, uint32_t code, bool wait)
{
    std::string peer = peerOf(board);
    if (peer.empty() || linkCutOn(board) || linkCutOn(peer))
        return false;
    int folder = open((peer + "/root/var/run").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    int length = std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/dualprocess.sock", folder);
    const unsigned char message[8] = {static_cast<unsigned char>(code >> 24), static_cast<unsigned char>(code >> 16),
                                      static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code)};
    bool delivered = folder >= 0 && fd >= 0 && length > 0 && static_cast<size_t>(length) < sizeof address.sun_path &&
                     deliver(fd, address, message);
    if (fd >= 0)
        close(fd);
    if (folder >= 0)
        close(folder);
    return delivered;
}
