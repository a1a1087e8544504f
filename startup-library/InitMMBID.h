#ifndef INIT_MMB_ID_H
#define INIT_MMB_ID_H

/// Which of the two management boards this is.
class InitMMBID {
public:
    InitMMBID() = default;
    virtual ~InitMMBID() = default;

    /// The MMB number 0 or 1 from register 0x72; 0 when it cannot be read.
    int getID();
};

#endif
