#include "TimelineLine.h"

#include "DecodedRecord.h"
#include "RecordDecoder.h"

std::string timelineTime(uint32_t seconds)
{
    std::string text = utcText(seconds);
    return text.substr(0, text.size() - std::string(" UTC").size());
}

std::string boardName(int board)
{
    return board < 0 ? "MMB ?" : "MMB " + std::to_string(board);
}

const char* kindName(TimelineEvent::Kind kind)
{
    using Kind = TimelineEvent::Kind;
    switch (kind) {
    case Kind::Boot:
        return "boot";
    case Kind::RoleChange:
        return "role-change";
    case Kind::DaemonDeath:
        return "daemon-death";
    case Kind::DaemonRestart:
        return "daemon-restart";
    case Kind::RebootAsked:
        return "reboot-asked";
    case Kind::DownLog:
        return "down-log";
    case Kind::StartupRecord:
        return "startup-record";
    case Kind::ErrorRecord:
        break;
    }
    return "error-record";
}

const char* roleName(TimelineEvent::Role role)
{
    switch (role) {
    case TimelineEvent::Role::Active:
        return "Active";
    case TimelineEvent::Role::Standby:
        return "Standby";
    case TimelineEvent::Role::Unknown:
        break;
    }
    return "";
}

std::string timelineText(const TimelineEvent& event)
{
    return timelineTime(event.seconds) + " " + boardName(event.board) + " " + event.text + "\n";
}

std::string timelineJson(const TimelineEvent& event)
{
    std::string role = event.role == TimelineEvent::Role::Unknown ? "null" : jsonString(roleName(event.role));
    std::string board = event.board < 0 ? "null" : std::to_string(event.board);
    return "{\"time\":" + jsonString(timelineTime(event.seconds)) + ",\"seconds\":" + std::to_string(event.seconds) +
           ",\"board\":" + board + ",\"kind\":" + jsonString(kindName(event.kind)) + ",\"role\":" + role +
           ",\"text\":" + jsonString(event.text) + ",\"meaning\":" + jsonString(event.meaning) + "}\n";
}
