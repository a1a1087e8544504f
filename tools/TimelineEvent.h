// One event of a board's timeline: when, on which board, what happened in
// one line, and what it means. The timeline prints these oldest first, as
// text or JSON; the page draws them on the boards' lanes.
#ifndef TIMELINE_EVENT_H
#define TIMELINE_EVENT_H

#include <cstdint>
#include <string>

struct TimelineEvent {
    enum class Kind {
        Boot,           // the board started: cause, firmware, role
        RoleChange,     // Active or Standby decided or changed
        DaemonDeath,    // a supervised daemon died: name, pid, exit code or signal, core
        DaemonRestart,  // supervision started it again
        RebootAsked,    // the board asked for its own reboot, and why
        ErrorRecord,    // an error log record, in words
        DownLog,        // the NVRAM down log
        StartupRecord,  // the start-up record of a failed start
    };
    enum class Role { Unknown, Active, Standby };

    uint32_t seconds = 0;  // UTC seconds since 1970, as the board stores them (unsigned)
    int board = -1;        // MMB number 0 or 1; -1 when no file tells it
    Kind kind = Kind::ErrorRecord;
    Role role = Role::Unknown;  // the role from this event on (Boot, RoleChange)
    // Both printable ASCII: bytes read from the board are escaped (\xNN) once, as the event is made.
    std::string text;     // the line after time and board: "boot REBOOT, HCP 1 (A0123456789), Active"
    std::string meaning;  // what it means and what to do, for hover and JSON
};

#endif
