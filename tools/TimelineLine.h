// A timeline event as the decoder prints it: one line of text, or one JSON
// object a line.
#ifndef TIMELINE_LINE_H
#define TIMELINE_LINE_H

#include "TimelineEvent.h"

#include <cstdint>
#include <string>

// "YYYY-MM-DD HH:MM:SS" in UTC of stored seconds, read unsigned.
std::string timelineTime(uint32_t seconds);
// "MMB 0", "MMB 1", or "MMB ?" when no file told the board.
std::string boardName(int board);
// "boot", "role-change", "daemon-death", ...
const char* kindName(TimelineEvent::Kind kind);
// "Active", "Standby", or empty when unknown.
const char* roleName(TimelineEvent::Role role);

// "2026-12-07 02:00:00 MMB 0 boot AC-ON, ...\n"; the text as the event
// holds it, the stored bytes in it already escaped (\xNN) where told.
std::string timelineText(const TimelineEvent& event);
// {"time":"2026-12-07 02:00:00","seconds":...,"board":0,"kind":"boot","role":"Active","text":...,"meaning":...}
std::string timelineJson(const TimelineEvent& event);

#endif
