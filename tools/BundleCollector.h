// Collects what a board keeps into one archive, reading only: the NVRAM
// partitions through their devices, and the files of the board's folders,
// bounded in size and number, never through a link, never opening what is
// not a regular file. What is missing or not taken is named in the
// manifest, so a board in any state still gives a bundle.
#ifndef BUNDLE_COLLECTOR_H
#define BUNDLE_COLLECTOR_H

#include "UstarWriter.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class BundleCollector {
public:
    // The largest file taken (a core file too) and the most bytes in all.
    static constexpr std::size_t FILE_MAX_SIZE = 4 * 1024 * 1024;
    static constexpr std::size_t BUNDLE_MAX_SIZE = 64 * 1024 * 1024;
    static constexpr std::size_t FOLDER_MAX_ENTRIES = 10000;
    static constexpr const char* MANIFEST = "mmb-collect.txt";

    // The archive's own file, never taken into it.
    BundleCollector(UstarWriter& writer, dev_t ownDevice, ino_t ownInode)
        : writer_(writer), ownDevice_(ownDevice), ownInode_(ownInode) {}

    // False when the archive could not be written.
    bool collect();

private:
    void collectPartitions();
    int openBoardFolder(int rootFd, const std::string& path);
    void collectFolder(int fd, const std::string& boardPath, int depth);
    void collectEntry(int folderFd, const std::string& boardPath, const std::string& name, int depth);
    void collectFile(int folderFd, const std::string& boardPath, const std::string& name, const struct stat& status);
    void addFile(const std::string& boardPath, const std::vector<uint8_t>& bytes, uint32_t mtime);
    std::vector<std::string> manifest() const;
    void note(const std::string& boardPath, const std::string& problem);

    UstarWriter& writer_;
    dev_t ownDevice_;
    ino_t ownInode_;
    std::size_t taken_ = 0;  // bytes of the files in the archive
    std::vector<std::string> notes_;
    bool written_ = true;
};

#endif
