#ifndef INIT_MMB_GPIO_H
#define INIT_MMB_GPIO_H

/// The board's GPIO access; no operations are needed beyond its lifetime.
class InitMMBGPIO {
public:
    InitMMBGPIO() = default;
    virtual ~InitMMBGPIO() = default;
};

#endif
