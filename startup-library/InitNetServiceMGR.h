// The board's network services: a fixed, ordered list of init scripts that
// are started and stopped in list order, the two generated configuration
// files, and switching one service on or off by its script path.
#ifndef INIT_NET_SERVICE_MGR_H
#define INIT_NET_SERVICE_MGR_H

#include <vector>

class InitNetService;
class InitTraceHandler;

class InitNetServiceMGR {
public:
    // The services-setup script, after which a change to Active is reported.
    static constexpr unsigned char SERVICES_SETUP_NO = 3;

    static InitNetServiceMGR* getInstance();

    InitNetServiceMGR(const InitNetServiceMGR&) = delete;
    InitNetServiceMGR& operator=(const InitNetServiceMGR&) = delete;
    // Frees the list, not the services (they live as long as the process).
    virtual ~InitNetServiceMGR() = default;  // GCOVR_EXCL_LINE: the single instance is never destroyed

    // Builds the service list, once.
    void initialize();
    // Generates the MMB ID and configuration files, then starts (or restarts)
    // every service in list order. Throws InitErrorLog* at the first failure.
    void start();
    // Stops every started service in list order. Throws InitErrorLog* at the first failure.
    void stop();
    // Stops the service with this script path when started, otherwise starts
    // it whatever its judge says. A path not in the list changes nothing.
    void toggleStatus(const char* path);

    std::vector<InitNetService*> services;  // start and stop order
    InitTraceHandler* traceHandler = nullptr;
    bool tableBuilt = false;   // initialize has built the list
    bool activating = false;   // set by the owner: start reports the change to Active

private:
    InitNetServiceMGR() = default;
    static InitNetServiceMGR* instance;
};

#endif
