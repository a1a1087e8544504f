#include "MMBLib.h"

namespace MMBLib {
namespace ii2c {

MMB* MMB::getInstance(int)
{
    return nullptr;
}

void MMB::selectBootROM(unsigned char) {}

BOARD_INSTALL_DATA MMB::getBoardInstall()
{
    return 0;
}

int MMB::checkBoardInstall(BOARD_INSTALL_BIT, BOARD_INSTALL_DATA)
{
    return 0;
}

} // namespace ii2c

namespace MMBIpc {

IPCConnection::~IPCConnection() = default;

void IPCConnection::sendRequest(long, const void*, long) {}

IPCConnection* IPCClient::getNewConnection(int, int)
{
    return nullptr;
}

} // namespace MMBIpc
} // namespace MMBLib
