// Writes the timeline page of a night on a pair of boards to the file named
// by its argument, for the check in a browser: boots, role changes, daemons
// dying young, a reboot asked for, records, and a daemon whose name is
// markup and control bytes (escaped, as the timeline gives it). Prints each
// event's text, one a line, for the check to look for.
#include "TimelinePage.h"

#include <cstdio>
#include <vector>

namespace {

using Kind = TimelineEvent::Kind;
using Role = TimelineEvent::Role;

constexpr uint32_t EVENING = 1796075232;  // 2026-11-30 21:47:12 UTC
constexpr uint32_t HOUR = 3600;

std::vector<TimelineEvent> night()
{
    const char* dying = "a supervised daemon ended; several deaths in a short time point to its configuration";
    return {
        {EVENING, 0, Kind::Boot, Role::Active, "boot POWER_ON, HCP 1 (A0123456789), Active",
         "the board started after power came on"},
        {EVENING + 4, 1, Kind::Boot, Role::Standby, "boot POWER_ON, HCP 1 (A0123456789), Standby",
         "the board started after power came on"},
        {EVENING + 3 * HOUR, 0, Kind::DaemonDeath, Role::Unknown,
         "daemon <img src=x>&\"'\\x01\\xFF\\x5C (pid 812) died: signal 11, core", dying},
        {EVENING + 3 * HOUR + 1, 0, Kind::DaemonRestart, Role::Unknown, "daemon mmbd restarted (pid 907)",
         "supervision started it again"},
        {EVENING + 3 * HOUR + 9, 0, Kind::DaemonDeath, Role::Unknown, "daemon mmbd (pid 907) died: exit code 2",
         dying},
        {EVENING + 3 * HOUR + 10, 0, Kind::RebootAsked, Role::Unknown, "reboot asked: daemon mmbd died 3 times",
         "the board restarts itself to recover"},
        {EVENING + 3 * HOUR + 12, 1, Kind::RoleChange, Role::Active, "role Active (ordered change)",
         "the other board took over"},
        {EVENING + 3 * HOUR + 70, 0, Kind::Boot, Role::Standby, "boot REBOOT, HCP 2 (A0123456790), Standby",
         "the board started after it asked for its reboot"},
        {EVENING + 3 * HOUR + 75, 0, Kind::ErrorRecord, Role::Unknown,
         "firmware update rolled back to A0123456789", "the new firmware did not start; the old one runs"},
        {EVENING + 5 * HOUR, 0, Kind::DownLog, Role::Unknown, "down log: daemon mmbd, signal 11",
         "the NVRAM keeps why the board went down"},
        {EVENING + 6 * HOUR, 1, Kind::StartupRecord, Role::Unknown, "start-up record: step 4 failed",
         "the start-up stopped at this step"},
    };
}

} // namespace

int main(int argc, char** argv)
{
    std::FILE* page = argc == 2 ? std::fopen(argv[1], "w") : nullptr;
    std::vector<TimelineEvent> events = night();
    bool written = page && TimelinePage(events).write(page);
    if (!page || std::fclose(page) != 0 || !written) {
        std::perror("timeline-page-sample PAGE");
        return 1;
    }
    for (const TimelineEvent& event : events)
        std::printf("%s\n", event.text.c_str());
    return 0;
}
