#ifndef INIT_SERVICE_H
#define INIT_SERVICE_H

#include "InitNetService.h"

/// An init script that runs only while this board is Active.
class InitService : public InitNetService {
public:
    using InitNetService::InitNetService;

    /// Non-zero only on the Active board.
    int execJudge() override;
};

#endif
