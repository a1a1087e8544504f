#ifndef INIT_MMB_ID_SERVICE_H
#define INIT_MMB_ID_SERVICE_H

#include "InitNetService.h"

/// Generates the MMB ID file: the board's MMB number and its Active (A) or
/// Standby (S) mode, one "NAME=value" line each. Runs on every start.
class InitMMBIDService : public InitNetService {
public:
    using InitNetService::InitNetService;

    void start() override;
    int execJudge() override;
};

#endif
