#include "InitMMBID.h"

#include "BoardRegisters.h"
#include "CpldAccess.h"

int InitMMBID::getID()
{
    uint16_t value = 0;
    if (!readCpldRegister(reg::MMB_NUMBER, value))
        return 0;
    return (value >> reg::MMB_NUMBER_SHIFT) & 1;
}
