/// @file
/// Runs external commands through the shell. The command text is formatted
/// into 256 bytes; a command that does not fit is refused, never cut, so a
/// shortened command line can never run.
#ifndef SHELL_COMMAND_H
#define SHELL_COMMAND_H

/// Exit status given for a command that could not be run (as when the
/// shell cannot be started).
constexpr int COMMAND_NOT_RUN = 255;

/// Ends the process with status 1 when the command fails; otherwise returns
/// the raw result of system().
int execCommand(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Runs the command; a failure is the caller's to judge.
/// @return the exit status 0..255 (COMMAND_NOT_RUN when it could not run).
int execCommandNoDown(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// As execCommandNoDown; the name says the caller wants the exit status.
/// @return the exit status 0..255 (COMMAND_NOT_RUN when it could not run).
int execCommand_retExitCode(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// As execCommandNoDown, for a command that writes the fixed path claimed
/// in a folder others may write: the command runs only once claimFile has
/// made the path ours. A failed claim keeps the command's trace and is
/// traced itself ("claim(%s) failed errno=%d").
/// @return the exit status 0..255 (COMMAND_NOT_RUN when it did not run).
int execClaimedCommand(const char* claimed, const char* format, ...) __attribute__((format(printf, 2, 3)));
/// As execClaimedCommand, for a work file that must hold only what this
/// command writes: claimNewFile makes it afresh, for root alone.
/// @return the exit status 0..255 (COMMAND_NOT_RUN when it did not run).
int execWorkFileCommand(const char* workFile, const char* format, ...) __attribute__((format(printf, 2, 3)));

#endif
