// Runs external commands through the shell. The command text is formatted
// into 256 bytes; a command that does not fit is refused, never cut, so a
// shortened command line can never run.
#ifndef SHELL_COMMAND_H
#define SHELL_COMMAND_H

// Exit status given for a command that could not be run (as when the
// shell cannot be started).
constexpr int COMMAND_NOT_RUN = 255;

// Ends the process with status 1 when the command fails; otherwise returns
// the raw result of system().
int execCommand(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Both return the exit status 0..255; they differ only in what the caller means.
int execCommandNoDown(const char* format, ...) __attribute__((format(printf, 1, 2)));
int execCommand_retExitCode(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
