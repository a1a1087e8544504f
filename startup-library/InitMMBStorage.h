#ifndef INIT_MMB_STORAGE_H
#define INIT_MMB_STORAGE_H

#include <ctime>

/// What supervision leaves on the board's storage from one start to the
/// next: the kernel's core files of the daemons, their down-info files and
/// backtraces, and the error log records. Without care they pile up: the
/// start-up program calls tidy() once at its start, before anything of
/// this boot is written.
class InitMMBStorage {
public:
    /// Records of each kind (error log files, down-info files, backtraces)
    /// that tidy() keeps by default.
    static constexpr int KEEP_DEFAULT = 100;
    /// Kept traces of earlier boots (InitMMBHistory::keepTrace) that tidy()
    /// leaves, beside this boot's.
    static constexpr int KEPT_TRACES = 3;
    /// The core pattern tidy() gives the kernel: one core per module, which
    /// the next crash of the module replaces. The kernel names it by the
    /// first 15 characters of the module name.
    static constexpr const char* CORE_PATTERN = "/var/mmb/core/core.%e";

    /// setCorePattern(), clearStrayCores(), then pruneRecords(keep).
    static void tidy(int keep = KEEP_DEFAULT);
    /// Writes CORE_PATTERN to /proc/sys/kernel/core_pattern and 0 to
    /// /proc/sys/kernel/core_uses_pid (both under MMB_DEBUG_PATH); a
    /// failure is traced.
    static void setCorePattern();
    /// Removes the raw cores left in /var/mmb/core from an earlier start
    /// (a daemon that died in a start wait, a board that rebooted before
    /// its core was saved), with the work files of a save cut short.
    static void clearStrayCores();
    /// Keeps the newest keep (by modification time) of each kind of record
    /// and the newest KEPT_TRACES kept traces, and removes the older ones;
    /// a file written since this process started is never removed. keep
    /// below 0 counts as 0.
    static void pruneRecords(int keep);
    /// When a process that started startTicks clock ticks after boot
    /// started (ticksPerSecond ticks a second, above 0), on the real-time
    /// clock that reads now while the boot-time clock reads sinceBoot.
    /// Computed to the nanosecond: whole seconds taken apart put the start
    /// up to a second late, past the files the process had just written.
    static timespec startOnRealClock(const timespec& now, const timespec& sinceBoot, unsigned long long startTicks,
                                     long ticksPerSecond);

    /// Before the save of module's core in coreDir, whose shell pattern
    /// "core.<module>*" must name one file: removes the module's older
    /// cores ("core.<module>" or "core.<module>.<digits>") and moves the
    /// cores of other modules whose names begin with module aside.
    static void holdOtherCores(const char* coreDir, const char* module);
    /// After the save: the cores held aside come back, unless their module
    /// has meanwhile left a newer one.
    static void returnHeldCores(const char* coreDir);
};

#endif
