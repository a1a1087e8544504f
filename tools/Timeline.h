// One timeline of one or two boards: the events of each board's tree,
// merged oldest first (by time, then board, then as each board gives them).
// Each event carries the role its board had from its last boot or role
// change on, where the history tells it.
#ifndef TIMELINE_H
#define TIMELINE_H

#include "TimelineBoard.h"
#include "TimelineEvent.h"

#include <vector>

class Timeline {
public:
    // The events of a board whose files were all added to board. A board
    // no file names takes the other number when the other board's is known.
    void addBoard(const TimelineBoard& board);
    std::vector<TimelineEvent> events() const;

private:
    std::vector<std::vector<TimelineEvent>> boards_;
};

#endif
