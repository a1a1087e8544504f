// Writes a POSIX ustar archive, the plainest form every tar and libarchive
// read: a 512-byte header per member, its bytes padded to 512, two empty
// blocks at the end. mmb-collect writes its bundle with it, so the board
// needs no archive library.
#ifndef USTAR_WRITER_H
#define USTAR_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

class UstarWriter {
public:
    enum class Type : char { File = '0', SymbolicLink = '2', Directory = '5' };

    // fd is open for writing; the writer does not close it.
    explicit UstarWriter(int fd) : fd_(fd) {}

    // True when path fits a ustar header (a name of at most 100 bytes after
    // a folder prefix of at most 155).
    static bool fits(const std::string& path);

    // False when the archive cannot be written (errno tells why).
    bool add(const std::string& path, Type type, const std::vector<uint8_t>& bytes, uint32_t mtime,
             const std::string& linkTarget = "");
    // The two empty blocks that end the archive.
    bool finish();

private:
    bool writeAll(const void* data, std::size_t size);

    int fd_;
};

#endif
