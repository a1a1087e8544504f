#ifndef INIT_MISC_SERVICE_H
#define INIT_MISC_SERVICE_H

#include "InitNetService.h"

/// An init script that runs on both boards.
class InitMISCService : public InitNetService {
public:
    using InitNetService::InitNetService;

    int execJudge() override;
};

#endif
