// Uses the installed headers (the library's and the platform's) and links
// the library's record packing and its trace, which calls the closed
// libraries: prints "consumer: ok" when a record comes back from its saved
// form unchanged.
#include "InitErrorLog.h"
#include "InitMMBFirm.h"
#include "InitTraceHandler.h"
#include "board_devices.h"

#include <cstdio>
#include <cstring>

int main()
{
    InitErrorLog made(2, 1, 4, 1, 0, 0, 0, 0);
    uint8_t saved[InitErrorLog::SAVED_SIZE];
    made.pack(saved);

    struct InitMMBFirm::initError startup = {};
    memcpy(startup.downLog, saved, sizeof saved);
    uint8_t packed[InitMMBFirm::initError::SIZE];
    startup.pack(packed);

    InitErrorLog back(0, 0, 0, 0, 0, 0, 0, 0);
    back.unpack(packed + 72);
    bool same = back.time.seconds == made.time.seconds && back.unitCode == 0xF1 && back.code[0] == 4 &&
                MRAM_PARTITIONS == 4;
    InitTraceHandler::getInstance()->output(20001, 0, "consumer");  // formatted, then dropped
    std::puts(same ? "consumer: ok" : "consumer: record changed");
    return same ? 0 : 1;
}
