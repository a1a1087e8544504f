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
// Leaves path a directory to mount on, for a command (mkdir -p) that acts
// on what root itself left there as it always did: an entry this user made
// is kept as it is. Another user's entry is removed, a folder that is not
// empty renamed aside to path.XXXXXX (its owner keeps it), and a directory
// made with mode 0700. False when that failed.
bool claimDirectory(const char* path);
// For a work file that is to hold only what this run writes into it:
// whatever is at path is removed and an empty file made afresh, that only
// this process's user may read or write. False when that failed; the file
// must not be used then.
bool claimNewFile(const char* path);
// Traces a failed claim with its errno: "claim(%s) failed errno=%d".
void traceClaimFailure(const char* path);

#endif
