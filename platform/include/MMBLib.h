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

class MMB {
public:
    // The board object; 0 selects this board.
    static MMB* getInstance(int board);

    // Stores the boot ROM bank for the next start in the board's EEPROM.
    // Throws PException on failure.
    void selectBootROM(unsigned char bank);

private:
    MMB() = default;
};

} // namespace ii2c
} // namespace MMBLib

#endif
