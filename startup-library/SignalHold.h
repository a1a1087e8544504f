// Keeps a signal blocked from before a child is forked until the handler
// that is to receive the child's signal is installed: a signal sent early
// stays pending and is then delivered into the handler, instead of meeting
// the disposition it found (default: fatal; ignored: lost). Children exec
// with the mask the program had before the hold.
#ifndef SIGNAL_HOLD_H
#define SIGNAL_HOLD_H

#include <csignal>

class SignalHold {
public:
    explicit SignalHold(int sig);
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

    // Puts the program's mask back; nothing when no signal is held.
    static void release();

private:
    static sigset_t programMask;
    static volatile sig_atomic_t held;
};

#endif
