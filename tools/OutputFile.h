// A file the field tools write for a person (a bundle, a page), opened so
// that nothing planted at its name is followed or taken over: never through
// a link, and an existing file only when it may be replaced and is a
// regular file of this user no more open than the mode it would be made with.
#ifndef OUTPUT_FILE_H
#define OUTPUT_FILE_H

#include <string>
#include <sys/types.h>

// The open, emptied file, or -1 with the problem; when replace is false an
// existing file is the problem "exists", completed by existsHint.
int openOutputFile(const std::string& path, bool replace, mode_t mode, const char* existsHint, std::string& problem);

#endif
