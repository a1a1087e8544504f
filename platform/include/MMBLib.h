// The board library (closed): board access over the I2C bus and its
// exception type.
#ifndef MMBLIB_H
#define MMBLIB_H

namespace MMBLib {

// What the board library throws when a call fails.
class PException {
public:
    PException(int actionCode, int detail) : actionCode_(actionCode), detail_(detail) {}
    virtual ~PException() = default;

    int getActionCode() const { return actionCode_; }
    int getExceptionDetail() const { return detail_; }

private:
    int actionCode_;
    int detail_;
};

namespace ii2c {

typedef unsigned long BOARD_INSTALL_DATA;  // one bit per board position
typedef int BOARD_INSTALL_BIT;             // 25 is the other MMB

class MMB {
public:
    // The board object; 0 selects this board.
    static MMB* getInstance(int board);

    // Stores the boot ROM bank for the next start in the board's EEPROM.
    // Throws PException on failure.
    void selectBootROM(unsigned char bank);

    // Which boards are installed; throws PException on failure.
    BOARD_INSTALL_DATA getBoardInstall();
    // Non-zero when the board at bit is installed according to data.
    int checkBoardInstall(BOARD_INSTALL_BIT bit, BOARD_INSTALL_DATA data);

private:
    MMB() = default;
};

} // namespace ii2c

namespace MMBIpc {

// One connection to a board daemon; requests are sent over it.
class IPCConnection {
public:
    explicit IPCConnection(int socket) : socket_(socket) {}
    IPCConnection(const IPCConnection&) = delete;
    IPCConnection& operator=(const IPCConnection&) = delete;
    ~IPCConnection();

    // Sends one request; throws PException on failure.
    void sendRequest(long code, const void* data, long length);

private:
    int socket_;
};

class IPCClient {
public:
    // A new connection on the heap (the caller deletes it); throws PException.
    static IPCConnection* getNewConnection(int service, int mode);
};

} // namespace MMBIpc
} // namespace MMBLib

#endif
