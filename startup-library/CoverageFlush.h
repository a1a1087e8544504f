#pragma once

// Coverage builds only: counters die with exec, _exit and a process killed
// (a reboot, a board stopped), so such a process writes them out first. Reset after the write, so that a
// second flush on the way out (exec failed) counts only what ran since.
#ifdef MMB_COVERAGE
extern "C" void __gcov_dump(void);
extern "C" void __gcov_reset(void);
inline void flushCoverage()
{
    __gcov_dump();
    __gcov_reset();
}
#else
inline void flushCoverage() {}
#endif
