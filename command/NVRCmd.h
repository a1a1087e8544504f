// One parsed nvram command: which handler, and its arguments.
#ifndef NVR_CMD_H
#define NVR_CMD_H

#include <cstdint>

struct NVRCmd {
    static constexpr int STR_PARAM_SIZE = 16;

    int32_t cmdNo = 0;     // row of the dispatch table, 0..11
    int32_t intParam = 0;  // HCP number, boot ROM bank or NVRAM partition; 0 when none
    char strParam[STR_PARAM_SIZE] = {};  // the word after -m or -u, NUL-terminated
};

#endif
