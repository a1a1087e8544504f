#ifndef INIT_MMB_FILE_H
#define INIT_MMB_FILE_H

#include <cstdio>

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
    static void makePath(const char* name, char* out);
    /// 1 when stat of path succeeds, else 0.
    static int isFileExist(const char* path);

    /// Throws InitErrorLog* for a mode number above 4.
    void setMode(int modeNumber);
    /// setMode, then fopen(path, mode) into fp (null on failure).
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
