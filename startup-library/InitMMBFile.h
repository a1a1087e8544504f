// File helper of the library: builds the paths of files the library opens
// itself (under the MMB_DEBUG_PATH prefix), opens them in one of five fixed
// modes and writes formatted text.
#ifndef INIT_MMB_FILE_H
#define INIT_MMB_FILE_H

#include <cstdio>
#include <sys/types.h>

class InitMMBFile {
public:
    static constexpr int PATH_SIZE = 256;
    static constexpr int MODE_COUNT = 5;
    static const char* const openMode[MODE_COUNT];  // "r", "w+", "a+b", "rb", "a"

    InitMMBFile() = default;
    InitMMBFile(const InitMMBFile&) = delete;
    InitMMBFile& operator=(const InitMMBFile&) = delete;
    virtual ~InitMMBFile();

    // out (PATH_SIZE characters) receives $MMB_DEBUG_PATH followed by name.
    // A result that does not fit leaves out empty, so no wrong file is opened.
    // The prefix reaches shell commands, so one with any character outside
    // letters, digits and "/._+,:@-" is ignored.
    static void makePath(const char* name, char* out);
    // True when MMB_DEBUG_PATH is set and ignored for that reason.
    static bool isDebugPathIgnored();
    // open(2) for a file the library opens itself in a folder others may
    // write to: never through a link, never blocking on a FIFO, and only
    // a regular file with one link; O_TRUNC is done once that is known.
    // -1 otherwise. Uses system calls only, so signal handlers may trace.
    static int openRegular(const char* path, int flags, mode_t createMode);
    // 1 when stat of path succeeds, else 0.
    static int isFileExist(const char* path);

    // Throws InitErrorLog* for a mode number above 4.
    void setMode(int modeNumber);
    // setMode, then opens path as fopen(path, mode) would, through
    // openRegular, into fp (null on failure).
    void open(int modeNumber);
    int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    FILE* fp = nullptr;
    const char* mode = nullptr;
    char path[PATH_SIZE] = {};
};

#endif
