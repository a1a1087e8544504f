// A simulated NVRAM partition: an image file and the driver's checksum of
// it (a 32-bit byte sum, stored big-endian beside the image). Writes through
// the driver keep the checksum current; a partition whose stored checksum
// does not match its bytes answers reads with EIO until the checksum is
// regenerated or the partition initialised.
#ifndef SIM_MRAM_PARTITION_H
#define SIM_MRAM_PARTITION_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

namespace sim {

class MramPartition {
public:
    static constexpr size_t SIZE = 4096;  // bytes in each partition

    MramPartition(const char* board, int number) : board_(board), number_(number) {}

    // Checksum stored matches the bytes.
    bool checksumValid() const;
    // Writes through the driver at offset; only the first `keep` bytes reach
    // the image when keep < length (the power went while writing): the
    // driver had not finished, so the stored checksum no longer matches
    // once any byte was written, even one that equals the old. Returns the
    // bytes written or -errno. (The offset's type is the same for the
    // device shim, which is built with the C library's 32-bit file offsets.)
    ssize_t write(long long offset, const void* data, size_t length, size_t keep = SIZE);
    // Driver requests: 0 or an errno value.
    int initialize() const;
    int regenerateChecksum() const;
    // Stores a checksum that does not match the bytes.
    int spoilChecksum() const;
    // Creates a zeroed image with a valid checksum.
    int create() const;

private:
    bool imagePath(char* out, size_t size) const;
    bool sumPath(char* out, size_t size) const;
    int readSum(uint32_t& sum) const;
    int writeSum(uint32_t sum) const;
    int computeSum(uint32_t& sum) const;

    const char* board_;
    int number_;
};

} // namespace sim

#endif
