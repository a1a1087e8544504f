// Host stand-in for the board library's install check, backed by the
// simulated board's settings (hw/dual): "install 1" when the other MMB is
// installed, "install-throws 1" to make the check fail.
#include "MMBLib.h"

#include "BoardPaths.h"
#include "DeviceFailure.h"
#include "SettingsFile.h"

namespace MMBLib {
namespace ii2c {

namespace {

constexpr BOARD_INSTALL_BIT OTHER_MMB = 25;

long setting(const char* key)
{
    return sim::getNumberSetting(sim::boardFromEnvironment(), sim::DUAL_FILE, key, 0);
}

} // namespace

BOARD_INSTALL_DATA MMB::getBoardInstall()
{
    if (setting("install-throws") != 0)
        throw PException(ACTION_DEVICE, DETAIL_NO_RESPONSE);
    return setting("install") != 0 ? 1UL << OTHER_MMB : 0;
}

int MMB::checkBoardInstall(BOARD_INSTALL_BIT bit, BOARD_INSTALL_DATA data)
{
    return static_cast<int>((data >> bit) & 1);
}

} // namespace ii2c
} // namespace MMBLib
