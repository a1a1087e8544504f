// The trivial daemon that every supervisor of the restart benchmark keeps
// running: it does nothing until a signal ends it.
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

int main()
{
    // Never outlive the supervisor when the benchmark stops it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (;;)
        pause();
}
