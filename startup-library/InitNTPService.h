#ifndef INIT_NTP_SERVICE_H
#define INIT_NTP_SERVICE_H

#include "InitNetService.h"

/// The time service's init script: runs on both boards.
class InitNTPService : public InitNetService {
public:
    using InitNetService::InitNetService;

    int execJudge() override;
};

#endif
