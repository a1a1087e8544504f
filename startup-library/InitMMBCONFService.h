#ifndef INIT_MMB_CONF_SERVICE_H
#define INIT_MMB_CONF_SERVICE_H

#include "InitNetService.h"

/// Generates the configuration file from what /opt/mmb/bin/dspmmbconfig
/// prints. Runs on every start.
class InitMMBCONFService : public InitNetService {
public:
    using InitNetService::InitNetService;

    void start() override;
    int execJudge() override;
};

#endif
