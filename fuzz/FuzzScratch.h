// A private scratch folder for the fuzz targets that read files: made once
// under $TMPDIR (or /tmp) and removed when the run ends.
#ifndef FUZZ_SCRATCH_H
#define FUZZ_SCRATCH_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// The folder, or an empty text when it cannot be made. Never destroyed:
// the removal at exit still needs its name.
inline const std::string& fuzzScratchFolder()
{
    static const std::string& folder = *new std::string([] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/mmb-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            return std::string();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(fuzzScratchFolder(), ignored);
        });
        return pattern;
    }());
    return folder;
}

// Writes one input as a whole file.
inline bool writeFuzzInput(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

#endif
