// Fuzzes the nvram command line. The input, split at NUL bytes, gives the
// words after "nvram"; parseCmdLine must return a record that names a row
// of the dispatch table with an argument that row accepts.
#include "FuzzCheck.h"
#include "InitMMBFirm.h"
#include "NVRAMHandler.h"
#include "NVRCmd.h"
#include "nvrctl.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t MAX_WORDS = 64;

std::vector<std::string> wordsOf(const uint8_t* data, size_t size)
{
    std::vector<std::string> words{"nvram"};
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i < size && words.size() < MAX_WORDS; ++i) {
        if (data[i] == 0) {
            words.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    if (start < size && words.size() < MAX_WORDS)
        words.emplace_back(text + start, size - start);
    return words;
}

// The largest number a row carries: an HCP or bank number, a partition, or none.
int32_t largestParam(int32_t cmdNo)
{
    switch (cmdNo) {
    case NVRAMHandler::CMD_SELECT_HCP:
    case NVRAMHandler::CMD_REVISION_TEXT:
    case NVRAMHandler::CMD_SELECT_BOOT:
    case NVRAMHandler::CMD_UPDATE_MODE:
        return 1;
    case NVRAMHandler::CMD_CHECKSUM:
    case NVRAMHandler::CMD_INIT_PARTITION:
        return 3;
    default:
        return 0;
    }
}

void checkWord(const NVRCmd& cmd)
{
    fuzzCheck(memchr(cmd.strParam, '\0', sizeof cmd.strParam) != nullptr, "strParam is NUL-terminated");
    if (cmd.cmdNo == NVRAMHandler::CMD_UPDATE_MODE) {
        fuzzCheck(strcmp(cmd.strParam, "updating") == 0 || strcmp(cmd.strParam, "normal") == 0,
                  "-u carries updating or normal");
    } else if (cmd.cmdNo == NVRAMHandler::CMD_REVISION_TEXT) {
        // The device-free part of writeHCPRevsion: the word as an 11-byte revision field.
        char field[InitMMBFirm::REV_SIZE];
        char expected[InitMMBFirm::REV_SIZE];
        InitMMBFirm::setRevision(field, cmd.strParam);
        strncpy(expected, cmd.strParam, sizeof expected);
        fuzzCheck(memcmp(field, expected, sizeof field) == 0, "revision field is the word, cut or NUL-padded");
    } else {
        fuzzCheck(cmd.strParam[0] == '\0', "only -m and -u carry a word");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    opterr = 0;  // getopt's complaints about unknown options
    return freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;  // "Invalid parameter specified."
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> words = wordsOf(data, size);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    optind = 0;  // glibc: a full reset of getopt, including its position inside a word
    NVRCmd* cmd = parseCmdLine(static_cast<int>(words.size()), argv.data());
    fuzzCheck(cmd != nullptr, "a record is always returned");
    fuzzCheck(cmd->cmdNo >= 0 && cmd->cmdNo < NVRAMHandler::COMMAND_COUNT, "cmdNo is a row of the table");
    fuzzCheck(cmd->intParam >= 0 && cmd->intParam <= largestParam(cmd->cmdNo), "intParam within the row's range");
    checkWord(*cmd);
    delete cmd;
    return 0;
}
