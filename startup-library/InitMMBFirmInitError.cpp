// The start-up error record's packed forms: the 380-byte record and the two
// NVRAM areas it holds. Apart from the firmware state object, so that a
// program reading stored records links without the board's devices.
#include "InitMMBFirm.h"

#include "ByteOrder.h"

#include <cstring>

void InitMMBFirm::initError::pack(uint8_t out[SIZE]) const
{
    memset(out, 0, SIZE);
    out[0] = flag;
    memcpy(out + 1, unused1, sizeof unused1);
    packDownLogArea(out + 68);
    packLogArea(out + 88);
    out[348] = firmUpModeAtStart;
    out[349] = bootRomChangeResult;
    out[350] = prevFirmChange;
    out[351] = prevCurrentBootRom;
    out[352] = prevNextBootRom;
    out[353] = prevCurrentHcpNo;
    out[354] = prevNextHcpNo;
    memcpy(out + 355, prevCurrentHcpRev, REV_SIZE);
    memcpy(out + 366, prevNextHcpRev, REV_SIZE);
    memcpy(out + 377, unused2, sizeof unused2);
}

void InitMMBFirm::initError::unpack(const uint8_t in[SIZE])
{
    flag = in[0];
    memcpy(unused1, in + 1, sizeof unused1);
    unpackDownLogArea(in + 68);
    unpackLogArea(in + 88);
    firmUpModeAtStart = in[348];
    bootRomChangeResult = in[349];
    prevFirmChange = in[350];
    prevCurrentBootRom = in[351];
    prevNextBootRom = in[352];
    prevCurrentHcpNo = in[353];
    prevNextHcpNo = in[354];
    memcpy(prevCurrentHcpRev, in + 355, REV_SIZE);
    memcpy(prevNextHcpRev, in + 366, REV_SIZE);
    memcpy(unused2, in + 377, sizeof unused2);
}

void InitMMBFirm::initError::packDownLogArea(uint8_t out[nvram::DOWN_LOG_AREA_SIZE]) const
{
    putBig32(out, downLogFlag);
    memcpy(out + 4, downLog, sizeof downLog);
}

void InitMMBFirm::initError::unpackDownLogArea(const uint8_t in[nvram::DOWN_LOG_AREA_SIZE])
{
    downLogFlag = getBig32(in);
    memcpy(downLog, in + 4, sizeof downLog);
}

void InitMMBFirm::initError::packLogArea(uint8_t out[nvram::LOG_AREA_SIZE]) const
{
    putBig32(out, static_cast<uint32_t>(logCount));
    memcpy(out + 4, logEntries, sizeof logEntries);
}

void InitMMBFirm::initError::unpackLogArea(const uint8_t in[nvram::LOG_AREA_SIZE])
{
    logCount = static_cast<int32_t>(getBig32(in));
    memcpy(logEntries, in + 4, sizeof logEntries);
}
