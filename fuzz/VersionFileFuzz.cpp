// Fuzzes the revision-file parsing of the running-partition detection. The
// input becomes version.dat of both firmware file systems under a private
// MMB_DEBUG_PATH; getCurrentPartitionNo must store what the first line
// names after its "=", or leave the field alone.
#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "InitMMBFirm.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr size_t LINE_LIMIT = 127;  // the detection reads at most this much of the first line
constexpr char UNTOUCHED = '\x5a';

std::string versionFile(int partition)
{
    return fuzzScratchFolder() + "/mnt/fs" + std::to_string(partition) + "/opt/mmb/version.dat";
}

// What the first line says after its "=", as the C text fgets gives; false without "=".
bool revisionOf(const uint8_t* data, size_t size, std::string& revision)
{
    std::string line(reinterpret_cast<const char*>(data), size < LINE_LIMIT ? size : LINE_LIMIT);
    size_t end = line.find_first_of(std::string("\n\0", 2));  // the C text also ends at a NUL
    if (end != std::string::npos)
        line.resize(end);
    size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    revision = line.substr(equals + 1);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (fuzzScratchFolder().empty())
        return 1;
    for (int partition = 0; partition < 2; ++partition)
        std::filesystem::create_directories(std::filesystem::path(versionFile(partition)).parent_path());
    return setenv("MMB_DEBUG_PATH", fuzzScratchFolder().c_str(), 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Either partition may be chosen: the host's /mnt/mmb decides.
    fuzzCheck(writeFuzzInput(versionFile(0), data, size) && writeFuzzInput(versionFile(1), data, size),
              "version.dat written");

    uint8_t partNo = 0xff;
    char rev[InitMMBFirm::REV_SIZE];
    memset(rev, UNTOUCHED, sizeof rev);
    InitMMBFirm::getInstance()->getCurrentPartitionNo(partNo, rev);
    fuzzCheck(partNo == 0 || partNo == 1, "partition 0 or 1");

    char expected[InitMMBFirm::REV_SIZE];
    std::string revision;
    if (revisionOf(data, size, revision))
        strncpy(expected, revision.c_str(), sizeof expected);
    else
        memset(expected, UNTOUCHED, sizeof expected);
    fuzzCheck(memcmp(rev, expected, sizeof rev) == 0, "revision field as the first line names it");
    return 0;
}
