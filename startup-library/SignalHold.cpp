#include "SignalHold.h"

sigset_t SignalHold::programMask;
volatile sig_atomic_t SignalHold::held = 0;

SignalHold::SignalHold(int sig)
{
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, sig);
    sigprocmask(SIG_BLOCK, &blocked, &programMask);
    held = 1;
}

SignalHold::~SignalHold()
{
    release();
}

void SignalHold::release()
{
    if (!held)
        return;
    held = 0;
    sigprocmask(SIG_SETMASK, &programMask, nullptr);
}
