#include "Timeline.h"

#include <algorithm>
#include <map>

namespace {

using Role = TimelineEvent::Role;

constexpr int BOARDS = 2;

// Two boards make a pair: one whose files tell no number is the other one.
void numberPair(std::vector<std::vector<TimelineEvent>>& boards)
{
    if (boards.size() != 2 || boards[0].empty() || boards[1].empty())
        return;
    for (int unknown = 0; unknown < 2; ++unknown) {
        int known = boards[1 - unknown].front().board;
        if (boards[unknown].front().board < 0 && known >= 0)
            for (TimelineEvent& event : boards[unknown])
                event.board = BOARDS - 1 - known;
    }
}

void carryRoles(std::vector<TimelineEvent>& events)
{
    std::map<int, Role> roles;
    for (TimelineEvent& event : events) {
        if (event.kind == TimelineEvent::Kind::Boot || event.kind == TimelineEvent::Kind::RoleChange)
            roles[event.board] = event.role;
        else if (event.role == Role::Unknown && roles.count(event.board) != 0)
            event.role = roles[event.board];
    }
}

} // namespace

void Timeline::addBoard(const TimelineBoard& board)
{
    boards_.push_back(board.events());
}

std::vector<TimelineEvent> Timeline::events() const
{
    std::vector<std::vector<TimelineEvent>> boards = boards_;
    numberPair(boards);
    std::vector<TimelineEvent> events;
    for (const std::vector<TimelineEvent>& board : boards)
        events.insert(events.end(), board.begin(), board.end());
    std::stable_sort(events.begin(), events.end(), [](const TimelineEvent& left, const TimelineEvent& right) {
        return left.seconds != right.seconds ? left.seconds < right.seconds : left.board < right.board;
    });
    carryRoles(events);
    return events;
}
