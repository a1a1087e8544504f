#ifndef INIT_MMB_FILE_H
#define INIT_MMB_FILE_H

#include <cstdio>
#include <sys/types.h>

/// File helper of the library: builds the paths of files the library opens
/// itself (under the MMB_DEBUG_PATH prefix), opens them in one of five fixed
/// modes and writes formatted text.
class InitMMBFile {
public:
    /// Bytes of a path, with the NUL.
    static constexpr int PATH_SIZE = 256;
    /// Number of open modes (openMode).
    static constexpr int MODE_COUNT = 5;
    static const char* const openMode[MODE_COUNT];  ///< "r", "w+", "a+b", "rb", "a"

    InitMMBFile() = default;
    InitMMBFile(const InitMMBFile&) = delete;
    InitMMBFile& operator=(const InitMMBFile&) = delete;
    virtual ~InitMMBFile();

    /// out (PATH_SIZE characters) receives $MMB_DEBUG_PATH followed by name.
    /// A result that does not fit leaves out empty, so no wrong file is opened.
    /// The prefix reaches shell commands, so one with any character outside
    /// letters, digits and "/._+,:@-" is ignored.
    static void makePath(const char* name, char* out);
    /// True when MMB_DEBUG_PATH is set and ignored for that reason.
    static bool isDebugPathIgnored();
    /// open(2) for a file the library opens itself: never blocking on a
    /// FIFO, and only a regular file. In a folder that others than this
    /// process's user may write (/tmp), never through a link and only a
    /// file of this user with one link; in a folder only this user writes
    /// (/mnt/fsN, /etc, /var/mmb), links are followed as fopen would.
    /// O_TRUNC is done once the file is known. Uses system calls only, so
    /// signal handlers may trace.
    /// @return the descriptor, or -1 (errno EPERM for a refused file).
    static int openRegular(const char* path, int flags, mode_t createMode);
    /// openRegular, tracing a refused file ("open(%s) refused").
    static int openTraced(const char* path, int flags, mode_t createMode);
    /// 1 when stat of path succeeds, else 0.
    static int isFileExist(const char* path);
    /// Puts what was written through fd, and the file's entry in its
    /// folder, on the storage (fsync of both), so that a power cut after it
    /// keeps the file whole. @return 0, or -1 with errno set.
    static int syncToStorage(int fd, const char* path);
    /// syncToStorage for a file written by another program (a shell tool).
    static int syncToStorage(const char* path);

    /// Throws InitErrorLog* for a mode number above 4.
    void setMode(int modeNumber);
    /// setMode, then opens path as fopen(path, mode) would, through
    /// openTraced, into fp (null on failure).
    void open(int modeNumber);
    /// Writes formatted text to the open file.
    /// @return the byte count, or -1 when no file is open.
    int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    /// The open file, or null.
    FILE* fp = nullptr;
    /// The mode open() uses, from openMode.
    const char* mode = nullptr;
    /// The file's path, set by the caller (usually with makePath).
    char path[PATH_SIZE] = {};
};

#endif
