#include "InitMMBID.h"

#include "CpldAccess.h"

namespace {

constexpr uint32_t REG_MMB_NUMBER = 0x72;
constexpr int MMB_NUMBER_SHIFT = 8;

} // namespace

int InitMMBID::getID()
{
    uint16_t value = 0;
    if (!readCpldRegister(REG_MMB_NUMBER, value))
        return 0;
    return (value >> MMB_NUMBER_SHIFT) & 1;
}
