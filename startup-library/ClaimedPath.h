// Fixed paths in a world-writable folder (/tmp) that fixed shell commands
// write through. The library runs as root; before such a command runs, the
// path is made ours, so that a link, FIFO or folder another user planted
// there is never written through. In a sticky folder nobody else can then
// replace what we made.
#ifndef CLAIMED_PATH_H
#define CLAIMED_PATH_H

// Leaves path a regular file of this process's user with one link: kept
// when it is one, otherwise whatever is there is removed and an empty file
// made afresh. False when that failed; the command must not run then.
bool claimFile(const char* path);
// The same for a directory, made with mode 0700 when it is not already ours.
bool claimDirectory(const char* path);
// For a work file that is to hold only what this run writes into it:
// whatever is at path is removed and an empty file made afresh, that only
// this process's user may read or write. False when that failed; the file
// must not be used then.
bool claimNewFile(const char* path);

#endif
