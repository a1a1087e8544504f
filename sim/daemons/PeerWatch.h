// One end of the heartbeat of a pair: each beat goes over the simulated
// peer link to the other board's dualprocess socket. A beat is answered
// when the other board's kernel takes it, that is while a dualprocess
// listens there: a board that is off, rebooting or without its dualprocess
// misses it, a slow one (emulation, load) does not.
//
// Settings of the board (hw/dual, read at every beat): "heartbeat-ms N",
// the milliseconds between beats (500 unless set), and "missed-beats N",
// how many beats in a row go unanswered before the peer counts as lost (6
// unless set): 3 seconds. Misses are counted in beats sent, not in time
// passed, so a dualprocess that runs slow is slow to judge, never quick.
//
// The fault "peer-link", armed on either board, cuts the link: no beat
// goes either way, and each end knows its link is down.
#ifndef SIM_PEER_WATCH_H
#define SIM_PEER_WATCH_H

#include <cstdint>
#include <string>
#include <utility>

class PeerWatch {
public:
    enum Event {
        QUIET,      // nothing changed
        LINK_DOWN,  // the link was cut: nothing is judged until it is back
        LINK_UP,    // the link is back
        PEER_UP,    // a beat answered, the first since this dualprocess started, the link came back or the peer was lost
        PEER_LOST,  // the peer, heard before, missed its beats
    };

    explicit PeerWatch(std::string board) : board_(std::move(board)) {}

    // Milliseconds until the next beat is due.
    int beatMs() const;
    // Sends one beat and judges the answer.
    Event beat();

    // The other board's directory, empty on a single board.
    static std::string peerOf(const std::string& board);
    // Sends one message (code, no data) to the other board's dualprocess;
    // waits for room in its queue unless told not to. True when delivered,
    // or when the queue was full (someone listens).
    static bool sendToPeer(const std::string& board, uint32_t code, bool wait);

private:
    bool linkDown(const std::string& peer) const;

    std::string board_;
    int misses_ = 0;
    bool heard_ = false;      // answered since this dualprocess started or the peer was lost: it can be lost
    bool answering_ = false;  // the last beat judged was answered
    bool linkWasDown_ = false;
};

#endif
