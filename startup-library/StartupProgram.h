/// @file
/// The ends of a board's start-up program, shared by every program that
/// drives the library: it never leaves the board without a supervisor. A
/// fatal error record reboots the board; a reboot that fails is retried,
/// then forced with reboot(2), and when even that returns, supervision goes
/// on. Every step is traced.
#ifndef STARTUP_PROGRAM_H
#define STARTUP_PROGRAM_H

class InitErrorLog;

/// Times /sbin/reboot is run before the program reboots the board itself.
constexpr int REBOOT_ATTEMPTS = 3;
/// Seconds between two failed runs of /sbin/reboot (a fork that failed for
/// want of memory or processes may succeed a moment later).
constexpr unsigned REBOOT_RETRY_PAUSE = 1;
/// Seconds the board has to go down after /sbin/reboot succeeded.
constexpr unsigned REBOOT_GRACE = 60;

/// Checks that the process lists hold a daemon: with none, the monitoring
/// loop's wait fails at once and the loop would take a whole processor.
/// Call it once the lists are read.
/// @throw InitErrorLog* (new, the catcher deletes it; kind 3, codes 0x1C
/// and five zeros) when both lists are empty, after the trace "RUN# 20010
/// requireDaemons no daemon to supervise.".
void requireDaemons();

/// Reboots the board: runs /sbin/reboot (REBOOT_ATTEMPTS times, pausing
/// REBOOT_RETRY_PAUSE seconds after each failure) and, after one that
/// succeeded, waits REBOOT_GRACE seconds for the board to go down; then
/// syncs the file systems and calls reboot(2). Returns only when all of it
/// failed, traced as "reboot failed, supervision goes on": the caller must
/// not exit but go on supervising.
void rebootBoard();

/// Ends the board's run because of a fatal record: a pending firmware update
/// is rolled back (InitMMBFirm::setFirmUpRecovery), the record becomes the
/// NVRAM down log (InitMMBFirm::setDownLog, which deletes it), the trace so
/// far is kept (InitMMBHistory::keepTrace) and the board reboots
/// (rebootBoard). Returns only when the reboot failed.
void rebootForRecord(InitErrorLog* record);

/// Supervises the daemons for good: InitMMBProcessMGR::startMonitoring
/// again and again. A mode-change order goes to carryOut; an InitErrorLog*
/// thrown by supervision or by carryOut reboots the board
/// (rebootForRecord), and when that fails supervision goes on. When no
/// child is left to wait for, it waits without using the processor (traced
/// once): the board's watchdog, no longer fed, or a person must act. Never
/// returns.
[[noreturn]] void superviseForever(void (*carryOut)(const char* order));

#endif
