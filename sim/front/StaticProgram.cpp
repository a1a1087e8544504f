#include "StaticProgram.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace sim {

namespace {

constexpr unsigned ELF_CLASS_64 = 2;
constexpr unsigned ELF_BIG_ENDIAN = 2;
constexpr unsigned ET_EXEC_TYPE = 2;
constexpr unsigned ET_DYN_TYPE = 3;
constexpr unsigned PT_INTERP_TYPE = 3;

// An ELF file read whole enough to walk its program headers.
class ElfReader {
public:
    explicit ElfReader(const std::vector<uint8_t>& bytes)
        : bytes_(bytes), wide_(bytes[4] == ELF_CLASS_64), big_(bytes[5] == ELF_BIG_ENDIAN)
    {
    }

    // Offsets come from the file as 64-bit numbers, also on a 32-bit host.
    uint64_t number(uint64_t offset, std::size_t size) const
    {
        if (offset > bytes_.size() || size > bytes_.size() - offset)
            return 0;
        auto at = static_cast<std::size_t>(offset);
        uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= uint64_t{bytes_[at + (big_ ? size - 1 - i : i)]} << (8 * i);
        return value;
    }

    bool hasInterpreter() const
    {
        uint64_t table = wide_ ? number(32, 8) : number(28, 4);
        uint64_t entrySize = number(wide_ ? 54 : 42, 2);
        uint64_t entries = number(wide_ ? 56 : 44, 2);
        for (uint64_t i = 0; i < entries; ++i)
            if (number(table + i * entrySize, 4) == PT_INTERP_TYPE)
                return true;
        return false;
    }

    unsigned type() const { return static_cast<unsigned>(number(16, 2)); }

private:
    const std::vector<uint8_t>& bytes_;
    bool wide_;
    bool big_;
};

} // namespace

bool linkedStatically(const std::string& path)
{
    // The ELF header and the program headers lie in the first pages.
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes(64 * 1024);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    if (bytes.size() < 64 || bytes[0] != 0x7F || bytes[1] != 'E' || bytes[2] != 'L' || bytes[3] != 'F')
        return false;
    ElfReader elf(bytes);
    return (elf.type() == ET_EXEC_TYPE || elf.type() == ET_DYN_TYPE) && !elf.hasInterpreter();
}

} // namespace sim
