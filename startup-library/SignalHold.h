#ifndef SIGNAL_HOLD_H
#define SIGNAL_HOLD_H

#include <csignal>

/// Keeps a signal blocked from before a child is forked until the handler
/// that is to receive the child's signal is installed: a signal sent early
/// stays pending and is then delivered into the handler, instead of meeting
/// the disposition it found (default: fatal; ignored: lost). Children exec
/// with the mask the program had before the hold.
class SignalHold {
public:
    /// Blocks sig and keeps the mask the program had before it.
    explicit SignalHold(int sig);
    /// Releases the hold (see release()).
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

    /// Puts the program's mask back; nothing when no signal is held. A
    /// forked child calls it before exec, the holder once its handler is in.
    static void release();

private:
    static sigset_t programMask;
    static volatile sig_atomic_t held;
};

#endif
